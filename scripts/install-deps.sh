#!/usr/bin/env bash
# Installs with apt what building, testing and running Altimo needs, skipping what is there.
# Idempotent: a second run installs nothing and touches no package list.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev libpng-dev zlib1g-dev
    qt6-base-dev libgl-dev xvfb xauth fonts-dejavu-core locales
    clang libclang-rt-14-dev ccache nlohmann-json3-dev
)
# Optional: GDAL lets `altimo-cli import` read GeoTIFF and other GIS rasters and `export` write
# GeoTIFF. The build works without it (PNG only), so a failure to install it is not fatal.
optional=(libgdal-dev)
if [ "${1:-}" = "--bench" ]; then
    packages+=(gdal-bin time strace)
fi
# A one-node Slurm for scripts/slurm-array-check.sh.
if [ "${1:-}" = "--slurm" ]; then
    packages+=(slurm-wlm munge)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
missingOptional=()
for p in "${optional[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missingOptional+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && [ ${#missingOptional[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if [ ${#missingOptional[@]} -gt 0 ]; then
    echo "installing (optional): ${missingOptional[*]}"
    $SUDO apt-get install -y -qq --no-install-recommends "${missingOptional[@]}" >/dev/null ||
        echo "optional packages not installed (${missingOptional[*]}); building without them"
fi
