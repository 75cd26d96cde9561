#!/usr/bin/env bash
# Makes the comma locale de_DE.UTF-8 available to the GUI tests: nothing to do when the system
# has it, otherwise it is compiled into the folder given (read through LOCPATH, so nothing of
# the system changes and no root is needed). A failure is reported, not fatal: the tests that
# need the locale then skip themselves with a message.
set -u
dir="$1"
if locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
    exit 0
fi
mkdir -p "$dir"
# -c: the definition's harmless warnings would otherwise make localedef give up.
if localedef -c -i de_DE -f UTF-8 "$dir/de_DE.UTF-8" && [ -e "$dir/de_DE.UTF-8/LC_NUMERIC" ]; then
    exit 0
fi
echo "could not generate de_DE.UTF-8 with localedef (is the locales package installed?);" \
     "the GUI tests in a comma locale will be skipped"
exit 0
