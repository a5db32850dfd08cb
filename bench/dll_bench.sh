#!/usr/bin/env bash
# The plug-in's export inside an editor against pallix-export, measured in the same run: each
# generated level is exported through Pallix.dll under Wine (the stand-in editor presses OK at
# once; timed from OK to the return of PluginExecute) and with pallix-export (wall time of the
# process), best of five, and the two outputs must be byte-identical.
#
#   bench/dll_bench.sh [--sizes 20,100] [--mode auto|32|64] [--dll-build DIR] [--largest]
#
# --mode: 32 runs the 32-bit DLL under 32-bit Wine, 64 the 64-bit build under 64-bit Wine; auto
# (default) takes 32 where it runs. --dll-build: another mingw build folder of that mode (with
# Pallix.dll and tests/pallix-testhost.exe), to measure another version. --largest (32-bit
# only): also exports ever larger levels through the 32-bit DLL and reports the largest
# document that still exports.
#
# Opening and closing the windows costs the DLL a fixed time that pallix-export does not pay;
# it is measured on a tiny level, and the ratio compares what each larger level costs beyond it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
sizes=20,100
mode=auto
largest=0
dllbuild=""
while [ $# -gt 0 ]; do
  case "$1" in
  --sizes) sizes=$2; shift 2 ;;
  --mode) mode=$2; shift 2 ;;
  --largest) largest=1; shift ;;
  --dll-build) dllbuild=$(cd "$2" && pwd); shift 2 ;;
  *) echo "usage: bench/dll_bench.sh [--sizes 20,100] [--mode auto|32|64] [--dll-build DIR] [--largest]" >&2; exit 2 ;;
  esac
done

runs() { timeout 60 "$1" --version >/dev/null 2>&1; }
if [ "$mode" = auto ]; then
  if runs /usr/lib/wine/wine; then mode=32; elif runs /usr/lib/wine/wine64; then mode=64; else mode=none; fi
fi
if [ "$mode" = none ]; then
  echo "dll_bench: not measured: no Wine runs here"
  exit 0
fi
case "$mode" in
32) preset=mingw-i686 arch=win32 ;;
64) preset=mingw-x86_64 arch=win64 ;;
*) echo "dll_bench: --mode must be auto, 32 or 64" >&2; exit 2 ;;
esac

cmake --preset native-release >/dev/null
cmake --build --preset native-release -j 2 --target pallix-export pallix-scenegen >/dev/null
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j 2 >/dev/null
native=$root/build/native-release
winbuild=${dllbuild:-$root/build/$preset}
work=$root/build/dll-bench
rm -rf "$work"
mkdir -p "$work"

export PALLIX_WINE_ARCH=$arch
export PALLIX_WINE_TIMEOUT=900
runwine=$root/tests/win32/run-wine.sh
state=$work/wineprefix.path
"$runwine" setup "$state" >/dev/null
trap '"$runwine" cleanup "$state"' EXIT
# Without a window manager on the virtual display, Wine waits up to 2 s for every window it
# hides or destroys to be withdrawn; no editor on a desktop pays that. Unmanaged windows don't.
case "$arch" in win32) wine=wine ;; *) wine=/usr/lib/wine/wine64 ;; esac
WINEPREFIX=$(cat "$state") WINEDEBUG=-all timeout 60 "$wine" reg add 'HKCU\Software\Wine\X11 Driver' \
  /v Managed /t REG_SZ /d N /f >/dev/null
WINEPREFIX=$(cat "$state") timeout 20 wineserver -w

winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }
now() { date +%s.%N; }

# make_level NAME MB: a generated level with its textures, and an editor install naming them.
make_level() {
  local dir=$work/$1
  mkdir -p "$dir/in" "$dir/host"
  "$native/pallix-scenegen" --seed 7 --size "$2" --plain --known-materials --textures "$dir/in" \
    --out "$dir/in/scene.xml" >/dev/null
  printf '[Dirs]\r\ntexturefiles=%s\\\r\n' "$(winpath "$dir/in")" >"$dir/host/Korvel.ini"
}

# dll_export NAME: seconds of one export through the DLL, or "failed: MESSAGE".
dll_export() {
  local dir=$work/$1 out
  rm -rf "$dir/dll"
  mkdir -p "$dir/dll"
  out=$("$runwine" run "$state" "$winbuild" "$dir/wine" -- timed-export --scene "$(winpath "$dir/in/scene.xml")" \
    --install "$(winpath "$dir/host")" --file "$(winpath "$dir/dll/level.mesh")" 2>&1) || true
  out=${out//$'\r'/}
  if grep -q '^export seconds: ' <<<"$out"; then
    sed -n 's/^export seconds: //p' <<<"$out"
  else
    echo "failed: $(grep -m1 -E 'export failed|timed out|FAIL' <<<"$out" || echo "no result")"
  fi
}

cli_export() {
  local dir=$work/$1 start
  rm -rf "$dir/cli"
  mkdir -p "$dir/cli"
  start=$(now)
  "$native/pallix-export" --quiet --textures-from "$dir/in" "$dir/in/scene.xml" "$dir/cli/level.mesh"
  echo "$(now) - $start" | bc -l
}

best() { sort -g | head -1; }
mb_of() { echo "$(stat -c %s "$work/$1/in/scene.xml") / 1048576" | bc -l | xargs printf '%.1f'; }

# measure NAME: "CLI DLL" seconds, best of five each, taken in turns so that both see the same
# load on a shared machine; the two outputs must be identical.
measure() {
  local cli_times="" dll_times="" cli
  for _ in 1 2 3 4 5; do
    cli_times+="$(cli_export "$1")"$'\n'
    dll_times+="$(dll_export "$1")"$'\n'
  done
  cli=$(grep . <<<"$cli_times" | best)
  dll_times=$(grep . <<<"$dll_times")
  if grep -q failed <<<"$dll_times"; then
    echo "dll_bench: $1: $(grep -m1 failed <<<"$dll_times")" >&2
    exit 1
  fi
  if ! diff -r -q "$work/$1/cli" "$work/$1/dll" >/dev/null; then
    echo "dll_bench: the DLL's files differ from pallix-export's for $1" >&2
    exit 1
  fi
  echo "$cli $(best <<<"$dll_times")"
}

echo "Wine mode $mode ($arch), $(nproc) cores; wall time, best of 5 runs"
make_level tiny 0.05
result=$(measure tiny)
read -r tiny_cli tiny_dll <<<"$result"
printf 'Tiny level (%s MB): pallix-export %.3f s, DLL %.3f s\n\n' "$(mb_of tiny)" "$tiny_cli" "$tiny_dll"
echo "| level | pallix-export | DLL under Wine | DLL beyond the tiny level | ratio (target <= 1.3) |"
echo "|---|---|---|---|---|"
for mb in ${sizes//,/ }; do
  name=level$mb
  make_level "$name" "$mb"
  result=$(measure "$name")
  read -r cli dll <<<"$result"
  beyond=$(echo "$dll - $tiny_dll" | bc -l)
  printf '| %s MB | %.3f s | %.3f s | %.3f s | %.2f |\n' "$(mb_of "$name")" "$cli" "$dll" "$beyond" \
    "$(echo "$beyond / $cli" | bc -l)"
  rm -rf "${work:?}/$name"
done

if [ "$largest" = 1 ]; then
  echo
  if [ "$mode" != 32 ]; then
    echo "Largest level in a 32-bit editor: not measured (no 32-bit Wine here; run with --mode 32 where it runs)"
    exit 0
  fi
  # The 32-bit editor holds its own copy of the document; the plug-in needs the rest of the
  # 2 GB address space for its copy, the scene and the mesh.
  fits=""
  for mb in 100 200 300 400 500 600 700 800; do
    name=big$mb
    make_level "$name" "$mb"
    result=$(dll_export "$name")
    size=$(mb_of "$name")
    rm -rf "${work:?}/$name"
    if [[ $result == failed* ]]; then
      echo "$size MB: $result"
      break
    fi
    fits="$size MB ($result s)"
  done
  echo "Largest level a 32-bit editor exports: ${fits:-none of the sizes tried}"
fi
