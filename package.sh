#!/usr/bin/env bash
# Builds the two packages and checks what is in them:
#   build/native-release/packages/pallix-tools_<version>_<arch>.deb  the command-line tools
#   build/mingw-i686/packages/Pallix-<version>-plugin-win32.zip      the plug-in for level designers
# Fails when a file is missing, a binary is not stripped, the DLL imports anything but Windows
# system DLLs or its version resource lacks a field.
set -euo pipefail
cd "$(dirname "$0")"
jobs=$(nproc)
fail=0
bad() { echo "FAIL: $*"; fail=1; }

cmake --preset mingw-i686 >/dev/null
cmake --build --preset mingw-i686 -j "$jobs" --target Pallix
rm -rf build/mingw-i686/packages
(cd build/mingw-i686 && cpack -G ZIP >/dev/null)
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j "$jobs" --target pallix-export pallix-scenegen
rm -rf build/native-release/packages
(cd build/native-release && cpack -G DEB >/dev/null)

version=$(build/native-release/pallix-export --version | sed 's/^pallix-export //')
deb=$(ls build/native-release/packages/pallix-tools_"$version"_*.deb)
zip=build/mingw-i686/packages/Pallix-$version-plugin-win32.zip
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The .deb: the tools, their manual pages, the completion and the documents.
dpkg-deb -x "$deb" "$work/deb"
for f in usr/bin/pallix-export usr/bin/pallix-scenegen \
         usr/share/man/man1/pallix-export.1 usr/share/man/man1/pallix-scenegen.1 \
         usr/share/bash-completion/completions/pallix-export \
         usr/share/doc/pallix-tools/README.md usr/share/doc/pallix-tools/export.md \
         usr/share/doc/pallix-tools/options-window.png usr/share/doc/pallix-tools/progress-window.png; do
  [ -f "$work/deb/$f" ] || bad "$deb lacks /$f"
done
for f in "$work"/deb/usr/bin/*; do
  file "$f" | grep -q ', stripped' || bad "$(basename "$f") is not stripped"
done
"$work/deb/usr/bin/pallix-export" --version >/dev/null || bad "the packaged pallix-export does not run"
dpkg-deb -f "$deb" Depends | grep -q libc6 || bad "$deb declares no dependencies"

# The .zip: the DLL, the README, the two pictures, in one folder.
unzip -q "$zip" -d "$work/zip"
dir=$work/zip/Pallix-$version-plugin-win32
for f in Pallix.dll README.txt options-window.png progress-window.png; do
  [ -f "$dir/$f" ] || bad "$zip lacks $f"
done
dll=$dir/Pallix.dll
if [ -f "$dll" ]; then
  i686-w64-mingw32-objdump -h "$dll" | grep -q '\.debug' && bad "Pallix.dll carries debug information"
  tests/win32/check-dll.sh "$dll" >/dev/null || bad "Pallix.dll fails check-dll.sh"
  resource=$(i686-w64-mingw32-windres -i "$dll" -O rc)
  for field in FileDescription FileVersion ProductName ProductVersion OriginalFilename InternalName \
               LegalCopyright; do
    grep -q "VALUE \"$field\", \"[^\"]" <<<"$resource" || bad "the version resource lacks $field"
  done
  grep -q "VALUE \"ProductVersion\", \"$version\"" <<<"$resource" ||
    bad "the version resource's ProductVersion is not $version"
fi

echo "$deb:"
dpkg-deb -c "$deb" | awk '{print "  " $3 "\t" $6}'
echo "$zip:"
unzip -l "$zip" | sed -n 's/^ *\([0-9][0-9]*\)  .* \(Pallix-.*[^/]\)$/  \1\t\2/p'
exit $fail
