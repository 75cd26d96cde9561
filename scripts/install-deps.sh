#!/usr/bin/env bash
# Installs with apt what building, testing and running Altimo needs, skipping what is there.
# Idempotent: a second run installs nothing and touches no package list.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev libpng-dev zlib1g-dev
    qt6-base-dev libgl-dev xvfb xauth
    clang libclang-rt-14-dev
)
if [ "${1:-}" = "--bench" ]; then
    packages+=(gdal-bin time)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
