#!/usr/bin/env bash
# Installs the Debian package on a clean Debian 12 system (a minimal chroot) and runs both
# programs there: apt resolves the package's Depends from the Debian mirror, so a missing or
# wrong dependency shows up as a failed install or a program that does not start.
#
#   sudo scripts/try-package.sh [DEB]     (default: build/release/altimo_*.deb, see `make package`)
#
# Needs root, debootstrap (installed with apt when missing) and the Debian mirror. The minimal
# system is bootstrapped once into $ALTIMO_CHROOT_BASE and copied afresh for every run, so each
# run starts from a system that has never seen the package. Not part of `make test`: it takes
# minutes and needs the network.
#
# Environment: ALTIMO_CHROOT_BASE (/tmp/altimo-chroot-base), ALTIMO_CHROOT (/tmp/altimo-chroot),
# DEBIAN_MIRROR (http://deb.debian.org/debian), KEEP_CHROOT=1 keeps the used copy for a look.
set -euo pipefail

cd "$(dirname "$0")/.."
deb="${1:-$(ls build/release/altimo_*.deb 2>/dev/null | head -n 1)}"
base="${ALTIMO_CHROOT_BASE:-/tmp/altimo-chroot-base}"
root="${ALTIMO_CHROOT:-/tmp/altimo-chroot}"
mirror="${DEBIAN_MIRROR:-http://deb.debian.org/debian}"

if [ -z "$deb" ] || [ ! -f "$deb" ]; then
    echo "try-package: no package found; run 'make package' first or name the .deb" >&2
    exit 2
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "try-package: needs root (chroot, mount); run it with sudo" >&2
    exit 2
fi
export DEBIAN_FRONTEND=noninteractive

if ! command -v debootstrap >/dev/null; then
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
fi

if [ ! -x "$base/usr/bin/apt-get" ]; then
    echo "== bootstrapping a minimal Debian 12 into $base (once)"
    rm -rf "$base"
    debootstrap --variant=minbase bookworm "$base" "$mirror" >/dev/null
    # The same suites as a Debian 12 installation, so the versions the package was built
    # against (point releases, security updates) are available.
    cat >"$base/etc/apt/sources.list" <<EOF
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb ${mirror%/debian}/debian-security bookworm-security main
EOF
fi

# Undo mounts even when a step fails, before the copy is removed.
cleanup() {
    mountpoint -q "$root/proc" && umount "$root/proc"
    if [ "${KEEP_CHROOT:-0}" != 1 ]; then rm -rf "$root"; fi
}
trap cleanup EXIT

echo "== fresh copy of the minimal system in $root"
rm -rf "$root"
cp -a "$base" "$root"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
cp "$deb" "$root/tmp/"
name="$(basename "$deb")"

in_root() {
    chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive "$@"
}

echo "== apt-get install ./$name (no recommended packages: Depends alone must suffice)"
in_root apt-get update -qq
in_root apt-get install -y -qq --no-install-recommends "/tmp/$name" >/dev/null
in_root dpkg-query -W -f='installed ${Package} ${Version}\n' altimo

echo "== every shared library resolves"
for program in /usr/bin/altimo-cli /usr/bin/altimo; do
    [ -e "$root$program" ] || continue
    if in_root ldd "$program" | grep 'not found'; then
        echo "try-package: $program misses libraries" >&2
        exit 1
    fi
done

echo "== altimo-cli demo --dir /tmp/d"
in_root altimo-cli -q demo --dir /tmp/d
in_root altimo-cli dat-info /tmp/d/terrain.dat
for file in terrain.dat terrain_w.dat terrain.sl terrain_cliff.bmp; do
    [ -s "$root/tmp/d/$file" ] || { echo "try-package: the demo left no $file" >&2; exit 1; }
done

if [ -e "$root/usr/bin/altimo" ]; then
    echo "== altimo starts (offscreen, stopped after 5 s)"
    status=0
    in_root QT_QPA_PLATFORM=offscreen timeout 5 altimo || status=$?
    # 124: still running when the time was up, which is what a started dialog does.
    if [ "$status" -ne 124 ]; then
        echo "try-package: altimo ended with status $status instead of running" >&2
        exit 1
    fi
fi

echo "== installed files"
in_root dpkg -L altimo | while read -r path; do
    [ -f "$root$path" ] && echo "  $path"
done | grep -v '/doc/altimo/docs/'
echo "try-package: $name installs and runs on a clean Debian 12"
