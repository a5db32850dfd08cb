#!/usr/bin/env bash
# Inspects the cross-built DLL the way a loader would see it: 32-bit PE, exactly the eight plain
# export names with their ordinals, and imports from Windows system DLLs only.
set -euo pipefail
dll=${1:?usage: check-dll.sh Pallix.dll}
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
[ -f "$dll" ] || { echo "missing $dll (run the mingw-i686 build first)"; exit 1; }
dump=$("$objdump" -p "$dll")
fail=0
bad() { echo "FAIL: $*"; fail=1; }

grep -q 'file format pei-i386' <<<"$dump" || bad "not a 32-bit PE (pei-i386)"
grep -qE '^Name[[:space:]].*[[:space:]]Pallix\.dll$' <<<"$dump" || bad "export directory does not name Pallix.dll"
base=$(sed -n 's/^Ordinal Base[[:space:]]*\([0-9]*\).*/\1/p' <<<"$dump")
[ "$base" = 1 ] || bad "ordinal base is '$base', not 1"

# "[Ordinal/Name Pointer] Table" lists "[index] name", index = ordinal - base.
actual=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" |
  sed -n 's/^[[:space:]]*\[[[:space:]]*\([0-9]*\)\][[:space:]]*\([^[:space:]]*\).*/\1 \2/p' |
  while read -r index name; do echo "$((index + base)) $name"; done | sort -n)
expected="1 PluginExecute
2 PluginSetCallback
3 PluginEmail
4 PluginAuthor
5 PluginVersion
6 PluginKorvelVersion
7 PluginDescription
8 PluginName"
if [ "$actual" != "$expected" ]; then
  bad "export table differs"
  diff <(echo "$expected") <(echo "$actual") || true
fi

allowed='^(kernel32|user32|gdi32|comctl32|comdlg32|shell32|ole32|oleaut32|advapi32|msvcrt|shlwapi|uxtheme|version|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$'
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump")
[ -n "$imports" ] || bad "no imports found"
for lib in $imports; do
  lower=$(tr 'A-Z' 'a-z' <<<"$lib")
  grep -qE "$allowed" <<<"$lower" || bad "imports non-system DLL $lib"
done

echo "exports:"; echo "$actual" | sed 's/^/  /'
echo "imports: $(echo $imports)"
[ $fail -eq 0 ] && echo "PASS"
exit $fail
