#!/usr/bin/env bash
# Runs the README's command examples (the lines "    $ pallix-..."), in order, in an empty
# folder with the built tools first on the PATH: every one must succeed, and pallix-scenegen
# must write its document into a file rather than onto the terminal.
set -euo pipefail
bin=${1:?usage: check-readme.sh BIN_DIR SOURCE_DIR}
src=${2:?usage: check-readme.sh BIN_DIR SOURCE_DIR}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export PATH="$bin:$PATH"
fail=0
count=0
while IFS= read -r command; do
  count=$((count + 1))
  echo "\$ $command"
  if ! eval "$command" >stdout 2>stderr; then
    echo "FAIL: $(cat stderr)"
    fail=1
  elif [[ $command == pallix-scenegen* && -s stdout ]]; then
    echo "FAIL: the document went to standard output"
    fail=1
  fi
done < <(sed -n 's/^    \$ \(pallix-[^#]*[^# ]\).*$/\1/p' "$src/README.md")
[ "$count" -gt 0 ] || { echo "FAIL: no examples in README.md"; fail=1; }
exit $fail
