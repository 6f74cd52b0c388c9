#!/usr/bin/env bash
# The manual pages keep up with the programs: every option and environment
# variable that `--help` names is described in the page, and so is every
# exit status the help mentions.
#   tests/packaging/man_pages_test.sh <program> <manual page source>
set -euo pipefail

program=${1:?usage: man_pages_test.sh <program> <manual page source>}
page=${2:?usage: man_pages_test.sh <program> <manual page source>}

help=$("$program" --help)
# roff writes a hyphen in an option as \-.
text=$(sed 's/\\-/-/g' "$page")
missing=()
while IFS= read -r word; do
  grep -qF -- "$word" <<<"$text" || missing+=("$word")
done < <(grep -oE -- '(^|[[:space:],(])(--[a-z][a-z-]*|-h|[A-Z][A-Z_]*_[A-Z_]+|TMPDIR)' <<<"$help" |
  sed -E 's/^[[:space:],(]//' | sort -u)

# Exit statuses: lines of the help's status list start with the number.
while IFS= read -r status; do
  grep -qE "^\.B $status\$" <<<"$text" || missing+=("exit status $status")
done < <(sed -n '/^Коды завершения/,$p' <<<"$help" | grep -oE '^  [0-9]+' | tr -d ' ')

if ((${#missing[@]})); then
  echo "$page does not describe: ${missing[*]}" >&2
  exit 1
fi
echo "$page describes every option, variable and exit status of $(basename "$program") --help"
