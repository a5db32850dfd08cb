#!/usr/bin/env bash
# Keeps the manual pages and the bash completion in step with the tools: each manual page
# describes exactly the options its tool's --help lists, the completion offers exactly
# pallix-export's long options, -h prints what --help prints, and --version answers.
set -euo pipefail
bin=${1:?usage: check-docs.sh BIN_DIR SOURCE_DIR}
src=${2:?usage: check-docs.sh BIN_DIR SOURCE_DIR}
fail=0
bad() { echo "FAIL: $*"; fail=1; }
# Option names standing at the start of a line or after a blank or comma.
options() { grep -oE -- '(^|[ ,])(-h|--[a-z0-9][a-z0-9-]*)' | sed 's/^[ ,]*//' | sort -u; }
same() {  # what, expected, actual
  [ "$2" = "$3" ] && return
  bad "$1"
  diff <(echo "$2") <(echo "$3") || true
}

for tool in pallix-export pallix-scenegen; do
  help=$("$bin/$tool" --help) || bad "$tool --help failed"
  same "$tool -h differs from --help" "$help" "$("$bin/$tool" -h)"
  "$bin/$tool" --version | grep -qx "$tool [0-9][0-9.]*" || bad "$tool --version"
  # The items of the manual page's OPTIONS section.
  man=$(sed -e 's/\\-/-/g' -n -e '/^\.SH OPTIONS/,/^\.SH /p' "$src/docs/man/$tool.1" |
    grep -E '^\.(B|BI|BR) ' | options)
  same "$tool.1 and $tool --help name other options" "$(options <<<"$help")" "$man"
  [ "$tool" = pallix-export ] || continue
  offered=$(bash -c 'source "$1"; COMP_WORDS=(pallix-export --); COMP_CWORD=1; _pallix_export
                     printf "%s\n" "${COMPREPLY[@]}"' _ "$src/tools/pallix-export/completion.bash" | sort -u)
  same "the completion and $tool --help name other options" "$(options <<<"$help" | grep -v '^-h$')" "$offered"
done
exit $fail
