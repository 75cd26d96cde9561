#!/usr/bin/env bash
# Fails when a product file includes what docs/ARCHITECTURE.md does not allow it to: a folder
# outside its layer (a cycle between two folders starts with one such include) or the headers
# of a library its layer does not use.
# Usage: check-includes.sh [SOURCE_DIR]
#
# Every C and C++ file of every product folder and of all its subfolders is read. A file belongs
# to its top folder: heightproc/stages/Fill.cpp follows the rules of heightproc/. Each
# `#include "..."` or `#include <...>` names either a file of ours or a library's header:
#   - ours, when it names a file beside the including one ("Fill.h", "../Foo.h", resolved as the
#     compiler does) or starts with a folder of the tree ("codec/HeightDat.h", <codec/...>);
#     its top folder must be the includer's own or one of the includer's layer table below;
#   - else a library's header, which is checked against the library table: Qt (<QWidget>,
#     <QtMath>, <QtWidgets/QWidget>), GDAL (gdal*.h, ogr*.h, cpl_*.h, <gdal/...>), nlohmann-json
#     (<nlohmann/...>), CLI11 (<CLI/...>, CLI11.hpp), libpng (png.h, pngconf.h), zlib (zlib.h,
#     zconf.h). Headers of no listed library (the C++ and C libraries, POSIX) are always allowed.
set -euo pipefail
root="${1:-$(dirname "$0")/../..}"
cd "$root"

# What each folder may include besides itself: folders of ours | libraries (keep in step with
# docs/ARCHITECTURE.md). The core folders (base, support, codec and the job files of
# heightproc, banks and cliff) take no library but libpng and zlib.
declare -A rules=(
    [base]="| libpng zlib"
    [support]="base | libpng zlib"
    [codec]="base support | libpng zlib"
    [heightproc]="base support codec | libpng zlib"
    [banks]="base support | libpng zlib"
    [cliff]="base support codec | libpng zlib"
    [tools]="base support codec heightproc banks cliff demo | libpng zlib nlohmann-json GDAL"
    [demo]="base support | libpng zlib"
    [gui]="base | Qt"
    [app]="base support codec heightproc banks cliff gui tools demo | Qt"
    [cli]="base support codec heightproc banks cliff tools demo | CLI11 nlohmann-json"
)
declare -A allowed=() libraries=()
for folder in "${!rules[@]}"; do
    read -ra words <<<"${rules[$folder]%%|*}"
    allowed[$folder]="${words[*]}"
    read -ra words <<<"${rules[$folder]#*|}"
    libraries[$folder]="${words[*]}"
done
# The headers of each library: an extended regular expression for the whole included name.
declare -A headers=(
    [Qt]='Q[A-Za-z0-9_]*(/.*)?'
    [GDAL]='(gdal|ogr)[A-Za-z0-9_]*\.h|cpl_[A-Za-z0-9_]+\.h|gdal/.*'
    [nlohmann-json]='nlohmann/.*'
    [CLI11]='CLI/.*|CLI11\.hpp'
    [libpng]='(libpng[0-9]*/)?png(conf|libconf)?\.h'
    [zlib]='zlib\.h|zconf\.h'
)
# The page exemption: the desktop's page and preview files, which live beside their subsystem's
# jobs (directly in its folder) but belong to the desktop layer. They may also include gui/ and
# Qt; a file of ours that includes one of them needs gui/ itself. Nowhere else is a file a page.
declare -A pages=(
    [heightproc]="*Page.h *Page.cpp"
    [banks]="*Page.h *Page.cpp BanksPreview.h BanksPreview.cpp"
    [cliff]="*Page.h *Page.cpp"
)
pageLayers="gui"
pageLibraries="Qt"
# Top folders that hold no product code.
notProduct=" bench build cmake docs packaging scripts tests demo-out "

# isPage PATH: PATH (relative to the root) is a page file.
isPage() {
    local folder=${1%%/*} rest=${1#*/} glob
    [[ -n "${pages[$folder]+set}" && "$rest" != */* ]] || return 1
    for glob in ${pages[$folder]}; do
        # shellcheck disable=SC2053 # the table holds globs
        [[ "$rest" == $glob ]] && return 0
    done
    return 1
}

# normalise PATH: PATH without "." and ".." steps into `normal`; false when it leaves the root.
normalise() {
    local -a parts=() out=()
    local part
    IFS=/ read -ra parts <<<"$1"
    for part in "${parts[@]}"; do
        case "$part" in
        "" | .) ;;
        ..) [ ${#out[@]} -gt 0 ] || return 1; unset 'out[-1]' ;;
        *) out+=("$part") ;;
        esac
    done
    normal=$(IFS=/; echo "${out[*]}")
}

# What an include directive names, between its quotes or angle brackets.
includedName='^["<]([^">]+)[">]'

faults=0
fault() {
    echo "$1"
    faults=$((faults + 1))
}

# checkFile PATH: every include of one file against its folder's rules.
checkFile() {
    local file="$1" folder=${1%%/*} dir=${1%/*}
    local may=" $folder ${allowed[$folder]} " uses=" ${libraries[$folder]} "
    if isPage "$file"; then
        may+="$pageLayers "
        uses+="$pageLibraries "
    fi
    local line name target top library
    while IFS= read -r line; do
        name=${line#*include}
        name=${name#"${name%%[\"<]*}"}
        [[ "$name" =~ $includedName ]] || continue
        name=${BASH_REMATCH[1]}
        target=""
        if [[ "$name" == ../* || "$name" == ./* || ( "${line}" == *\"* && -e "$dir/$name" ) ]]; then
            normalise "$dir/$name" || { fault "$file: includes $name, outside the source tree"; continue; }
            target=$normal
        elif [[ "$name" == */* && ( -d "${name%%/*}" || -n "${allowed[${name%%/*}]+set}" ) ]]; then
            normalise "$name" || { fault "$file: includes $name, outside the source tree"; continue; }
            target=$normal
        fi
        if [ -n "$target" ]; then
            top=${target%%/*}
            if [[ "$may" != *" $top "* ]]; then
                fault "$file: includes $top/ (${folder}/ may include: ${allowed[$folder]:-nothing})"
            elif isPage "$target" && [[ "$may" != *" gui "* ]]; then
                fault "$file: includes the page $target, which belongs to the desktop layer (gui/)"
            fi
            continue
        fi
        for library in "${!headers[@]}"; do
            if [[ "$name" =~ ^(${headers[$library]})$ ]]; then
                [[ "$uses" == *" $library "* ]] ||
                    fault "$file: includes <$name>, a header of $library (${folder}/ may use: ${libraries[$folder]:-no library})"
                break
            fi
        done
    done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]' "$file" || true)
}

for folder in */; do
    folder=${folder%/}
    [[ "$notProduct" != *" $folder "* && "$folder" != build-* ]] || continue
    mapfile -t files < <(find "$folder" -type f \( -name '*.h' -o -name '*.hh' -o -name '*.hpp' -o -name '*.hxx' \
        -o -name '*.inl' -o -name '*.ipp' -o -name '*.c' -o -name '*.cc' -o -name '*.cpp' -o -name '*.cxx' \) | sort)
    [ ${#files[@]} -gt 0 ] || continue
    if [ -z "${rules[$folder]+set}" ]; then
        fault "${files[0]}: $folder/ is a folder of code that the layer table does not know"
        continue
    fi
    for file in "${files[@]}"; do
        checkFile "$file"
    done
done
if [ "$faults" -gt 0 ]; then
    echo "$faults include(s) against the layers"
    exit 1
fi
echo "includes follow the layers"
