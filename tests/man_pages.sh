#!/usr/bin/env bash
# Checks that a program's manual page documents exactly the long options its --help lists.
#   tests/man_pages.sh PROGRAM MANUAL_PAGE
# --help starts each option's line with two spaces and its names: "  -h, --help  Display ...";
# a description running on to more lines goes on further in.
# The manual page gives each option the line after a .TP under OPTIONS, "\-" for each dash.
set -euo pipefail
program=$1
page=$2

from_help() {
    "$program" --help | sed -nE 's/^  (-[[:alnum:]], )?(--[[:alnum:]][[:alnum:]-]*).*/\2/p' |
        LC_ALL=C sort -u
}

from_page() {
    sed -n '/^\.SH OPTIONS/,/^\.SH /{/^\.TP/{n;p}}' "$page" | sed 's/\\-/-/g' |
        grep -oE -- '--[[:alnum:]][[:alnum:]-]*' | LC_ALL=C sort -u
}

help=$(from_help)
documented=$(from_page)
grep -qx -- --help <<<"$help" || {
    echo "$program --help lists no --help option: is its output as expected?" >&2
    exit 1
}
if [ "$help" != "$documented" ]; then
    echo "$(basename "$page") and $(basename "$program") --help list different options:" >&2
    diff <(echo "$documented") <(echo "$help") | sed -n 's/^</  only in the manual page:/p; s/^>/  only in --help:/p' >&2
    exit 1
fi
echo "$(basename "$page"): documents every option of --help: $(paste -sd ' ' <<<"$help")"
