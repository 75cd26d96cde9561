#!/usr/bin/env bash
# The include check must pass on the tree as it is and fail on each kind of fault planted in a
# scratch copy of it, one at a time, naming the planted file.
# Usage: check-includes-test.sh SOURCE_DIR
set -euo pipefail
source_dir=$(cd "${1:-$(dirname "$0")/../..}" && pwd)
check="$source_dir/tests/architecture/check-includes.sh"
copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
# The tree without builds and history: what the check reads is all there.
tar -C "$source_dir" --exclude=./.git --exclude='./build*' -cf - . | tar -C "$copy" -xf -

bash "$check" "$copy" >"$copy/out.txt" || { echo "FAIL: the check rejects the clean tree:"; cat "$copy/out.txt"; exit 1; }

failures=0
# plant DESCRIPTION PATH LINE...: writes PATH (relative to the copy) with the lines, expects the
# check to fail and to name PATH, then removes PATH again (and any folder it made).
plant() {
    local description="$1" path="$2"
    shift 2
    # The outermost folder that the planting makes, removed with the file.
    local made="" folder
    folder=$(dirname "$path")
    while [ "$folder" != . ] && [ ! -d "$copy/$folder" ]; do
        made=$folder
        folder=$(dirname "$folder")
    done
    mkdir -p "$copy/$(dirname "$path")"
    printf '%s\n' "$@" >"$copy/$path"
    if bash "$check" "$copy" >"$copy/out.txt"; then
        echo "FAIL: $description ($path) passes the check"
        failures=$((failures + 1))
    elif ! grep -q "^$path: " "$copy/out.txt"; then
        echo "FAIL: $description: the check fails but does not name $path:"
        cat "$copy/out.txt"
        failures=$((failures + 1))
    else
        echo "ok: $description: $(grep "^$path: " "$copy/out.txt" | head -1)"
    fi
    rm -f "$copy/$path"
    [ -z "$made" ] || rm -rf "${copy:?}/$made"
}

plant "nlohmann-json in a job folder" heightproc/Settings.cpp '#include <nlohmann/json.hpp>'
plant "a Qt header in its module form in a job folder" banks/Tracing.h '#include <QtWidgets/QWidget>'
plant "a Qt header in its short form in the support library" support/Mask.h '#include <QtMath>'
plant "a page name outside the page folders" base/SettingsPage.h \
    '#pragma once' '#include "gui/PropertyPage.h"' '#include <QWidget>'
plant "a page file in a subfolder of a page folder" cliff/ui/CliffPage.h '#include "gui/PropertyPage.h"'
plant "a subfolder that includes up a layer" codec/detail/Tiles.h '#pragma once' '#include "heightproc/ProcessJob.h"'
plant "CLI11 in the height-file folder" codec/Options.cpp '#include <CLI/CLI.hpp>'
plant "GDAL in the height-file folder" codec/Georeference.cpp '#include "base/JobFiles.h"' '#include <gdal.h>'
plant "a GDAL header of the gdal/ form in a job folder" cliff/Srs.cpp '#include <gdal/ogr_srs_api.h>'
plant "the core including a layer above it" base/Sizes.h '#include "codec/HeightDat.h"'
plant "a relative include that climbs into another folder" support/Bits.cpp '#include "../cli/CliSupport.h"'
plant "a relative include that leaves the tree" base/Outside.cpp '#include "../../secret.h"'
plant "a job file including its own page" heightproc/Report.cpp '#include "ProcessPage.h"'
plant "CLI11 in the tools library" tools/Argument.cpp '#include <CLI/CLI.hpp>'
plant "a folder of code the table does not know" plugins/sub/Plugin.cpp '#include <vector>'

bash "$check" "$copy" >"$copy/out.txt" || { echo "FAIL: the copy is not clean after the plantings:"; cat "$copy/out.txt"; exit 1; }
[ "$failures" -eq 0 ] || { echo "$failures planted fault(s) not caught"; exit 1; }
echo "every planted fault is caught"
