#!/usr/bin/env bash
# Fails when a product file includes a folder that docs/ARCHITECTURE.md does not allow it to:
# the folders form layers, and a cycle between two of them starts with one such include.
# Usage: check-includes.sh [SOURCE_DIR]
set -euo pipefail
cd "${1:-$(dirname "$0")/../..}"

# What each folder may include besides itself (keep in step with docs/ARCHITECTURE.md).
declare -A allowed=(
    [base]=""
    [support]="base"
    [codec]="base support"
    [heightproc]="base support codec"
    [banks]="base support"
    [cliff]="base support codec"
    [tools]="base support codec heightproc banks cliff demo"
    [demo]="base support"
    [gui]="base"
    [app]="base support codec heightproc banks cliff gui tools demo"
    [cli]="base support codec heightproc banks cliff tools demo"
)
# The Qt pages live beside their subsystem's jobs but belong to the desktop layer.
pageFile() { [[ "$1" =~ (Page|BanksPreview)\.(h|cpp)$ ]]; }

faults=0
for folder in "${!allowed[@]}"; do
    for file in "$folder"/*.h "$folder"/*.cpp; do
        [ -e "$file" ] || continue
        may=" $folder ${allowed[$folder]} "
        pageFile "$file" && may+="gui "
        while IFS= read -r line; do
            target=${line#*\"}
            target=${target%%/*}
            if [[ "$may" != *" $target "* ]]; then
                echo "$file: includes $target/ (${folder}/ may include: ${allowed[$folder]:-nothing})"
                faults=$((faults + 1))
            fi
        done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"/]+/' "$file" || true)
        # The job layers stay free of the desktop's and the GIS library's headers.
        if [[ " base support codec heightproc banks cliff " == *" $folder "* ]] && ! pageFile "$file"; then
            if grep -qE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<(Q[A-Za-z]+|gdal[a-z_]*\.h|cpl_[a-z_]+\.h|ogr[a-z_]*\.h)>' "$file"; then
                echo "$file: a core file includes Qt or GDAL"
                faults=$((faults + 1))
            fi
        fi
    done
done
for folder in */; do
    folder=${folder%/}
    case "$folder" in bench | build | cmake | docs | packaging | scripts | tests | demo-out) continue ;; esac
    if compgen -G "$folder/*.cpp" >/dev/null || compgen -G "$folder/*.h" >/dev/null; then
        [ -n "${allowed[$folder]+set}" ] || { echo "$folder/: a folder of code that the layer table does not know"; faults=$((faults + 1)); }
    fi
done
if [ "$faults" -gt 0 ]; then
    echo "$faults include(s) against the layers"
    exit 1
fi
echo "includes follow the layers"
