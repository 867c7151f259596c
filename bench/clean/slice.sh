#!/bin/sh
# A small slice of the clean-text benchmark, for the test suite: a few
# hundred texts and mails generated with the benchmark's seed, converted by
# the built program; fails when one changes. Skipped (status 77) where
# python3 or fortunes-ru is missing.
# Usage: slice.sh KAMVO [COUNT]
set -e
kamvo="$1"
count="${2:-400}"
here="$(dirname "$0")"
command -v python3 >/dev/null 2>&1 || { echo "python3 missing: skipped"; exit 77; }
[ -d /usr/share/games/fortunes/ru ] || { echo "fortunes-ru missing: skipped"; exit 77; }
data="$(mktemp -d)"
trap 'rm -rf "$data"' EXIT
python3 "$here/generate.py" "$data" --count "$count" >/dev/null
python3 "$here/run.py" "$kamvo" "$data" --show 20
