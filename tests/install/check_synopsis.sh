#!/bin/sh
# The synopsis of `tavlo-engine --help` and that of its manual page say the same thing.
# usage: check_synopsis.sh TAVLO_ENGINE MANPAGE       (exit 77, skipped, without man)
set -eu
tool=$1
page=$2
command -v man >/dev/null || { echo "man is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$tool" --help | sed 's/^usage://; s/^[[:space:]]*//; s/[[:space:]]*$//' >"$work/help"
LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$page" | col -bx |
    sed -n '/^SYNOPSIS/,/^[^[:space:]]/{/^[[:space:]]/p}' |
    sed 's/^[[:space:]]*//; s/[[:space:]]*$//' | grep -v '^$' >"$work/man"
[ -s "$work/help" ] || { echo "tavlo-engine --help printed nothing"; exit 1; }
diff -u "$work/man" "$work/help"
