#!/usr/bin/env bash
# Runs the Windows test host under Wine on a private virtual display, never without a time limit.
#
#   run-wine.sh setup   STATE                       create a private Wine prefix (once per ctest run)
#   run-wine.sh cleanup STATE                       stop its wineserver and remove it
#   run-wine.sh run     STATE WINBUILD WORKDIR [--shots DIR] -- ARGS...
#                                                   copy Pallix.dll and the host into WORKDIR and run
#                                                   "pallix-testhost.exe ARGS..." there
#
# PALLIX_WINE_ARCH picks the Wine mode (win32, win64, or none: every command exits 77, "skipped").
#
# STATE is a file holding the prefix's path. Tests sharing a prefix must not overlap (ctest
# RESOURCE_LOCK): each run ends by killing the prefix's wineserver.
#
# Screenshots: the host asks for one by creating WORKDIR/shot-NAME.request holding "x y w h"; this
# script dumps the virtual screen (xwd), crops it to that rectangle into DIR/NAME.png (ImageMagick),
# then creates WORKDIR/shot-NAME.done.
set -uo pipefail

WINE_TIMEOUT=${PALLIX_WINE_TIMEOUT:-120}
BOOT_TIMEOUT=${PALLIX_WINEBOOT_TIMEOUT:-240}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono/Gecko install prompts
# PALLIX_WINE_ARCH: win32 runs the 32-bit builds under 32-bit Wine; win64 runs the 64-bit test
# builds under 64-bit Wine, for machines whose kernel or packages refuse 32-bit programs.
export WINEARCH=${PALLIX_WINE_ARCH:-win32}
case "$WINEARCH" in
win32) export WINE="${WINE:-wine}" ;;
win64)
  # The 64-bit loader itself: Debian's wine script would take the 32-bit one where both exist.
  export WINE="${WINE:-/usr/lib/wine/wine64}"
  export WINELOADER="$WINE"
  ;;
none)
  # ctest reports exit 77 as skipped; the reason goes into the test's output.
  echo "run-wine: skipped: ${PALLIX_WINE_SKIP_REASON:-no Wine mode}"
  exit 77
  ;;
*) echo "run-wine: PALLIX_WINE_ARCH must be win32, win64 or none, not $WINEARCH" >&2; exit 1 ;;
esac

xvfb_pid=""
shots_pid=""

die() { echo "run-wine: $*" >&2; exit 1; }

start_xvfb() {
  local fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  local display
  if ! read -r -t 20 display <"$fifo"; then
    rm -f "$fifo"
    die "Xvfb did not start"
  fi
  rm -f "$fifo"
  export DISPLAY=":$display"
}

stop_all() {
  [ -n "$shots_pid" ] && kill "$shots_pid" 2>/dev/null && wait "$shots_pid" 2>/dev/null
  [ -n "${WINEPREFIX:-}" ] && timeout 20 wineserver -k >/dev/null 2>&1
  [ -n "${WINEPREFIX:-}" ] && timeout 20 wineserver -w >/dev/null 2>&1
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  shots_pid="" xvfb_pid=""
}
trap stop_all EXIT
trap 'exit 124' INT TERM

read_state() {
  [ -f "$1" ] || die "no Wine prefix set up ($1 missing)"
  WINEPREFIX=$(cat "$1")
  [ -d "$WINEPREFIX" ] || die "Wine prefix $WINEPREFIX is gone"
  export WINEPREFIX
}

# Serves screenshot requests until killed.
serve_shots() {
  local work=$1 out=$2 req name
  while :; do
    for req in "$work"/shot-*.request; do
      [ -e "$req" ] || continue
      name=$(basename "$req" .request)
      name=${name#shot-}
      local x y w h
      read -r x y w h <"$req" || true
      rm -f "$req"
      # No .done on failure: the host then reports the missing screenshot.
      if xwd -root -silent -display "$DISPLAY" |
        convert xwd:- -crop "${w}x${h}+${x}+${y}" +repage "$out/$name.png"; then
        echo "run-wine: screenshot $out/$name.png"
        : >"$work/shot-$name.done"
      else
        echo "run-wine: screenshot $name failed" >&2
      fi
    done
    sleep 0.2
  done
}

cmd=${1:-}
shift || true
case "$cmd" in
setup)
  state=${1:?state file}
  rm -f "$state"
  WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/pallix-wine.XXXXXX") || die "mktemp failed"
  export WINEPREFIX
  start_xvfb
  if ! timeout "$BOOT_TIMEOUT" "$WINE" wineboot -i >/dev/null 2>&1; then
    echo "run-wine: wineboot failed or timed out" >&2
    stop_all
    rm -rf "$WINEPREFIX"
    exit 1
  fi
  # Wine's own fonts (MS Sans Serif, Marlett for the frame buttons) when Debian ships them apart.
  if [ -d /usr/share/wine/fonts ]; then
    cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
  fi
  # No window manager on the virtual display: Wine draws the window frames itself.
  timeout 60 "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
  timeout 60 wineserver -w
  echo "$WINEPREFIX" >"$state"
  echo "run-wine: prefix $WINEPREFIX ready"
  ;;
cleanup)
  state=${1:?state file}
  [ -f "$state" ] || exit 0
  WINEPREFIX=$(cat "$state")
  export WINEPREFIX
  stop_all
  case "$WINEPREFIX" in */pallix-wine.*) rm -rf "$WINEPREFIX" ;; esac
  rm -f "$state"
  ;;
run)
  state=${1:?state file} winbuild=${2:?mingw build folder} work=${3:?work folder}
  shift 3
  shots=""
  if [ "${1:-}" = --shots ]; then shots=$2; shift 2; fi
  [ "${1:-}" = -- ] && shift
  read_state "$state"
  for f in "$winbuild/Pallix.dll" "$winbuild/tests/pallix-testhost.exe"; do
    [ -f "$f" ] || die "missing $f (run the mingw build of this Wine mode first)"
  done
  rm -rf "$work"
  mkdir -p "$work"
  cp "$winbuild/Pallix.dll" "$winbuild/tests/pallix-testhost.exe" "$work/"
  start_xvfb
  if [ -n "$shots" ]; then
    export PALLIX_SHOTS=1
    mkdir -p "$shots"
    serve_shots "$work" "$shots" &
    shots_pid=$!
  fi
  cd "$work" || die "cannot enter $work"
  timeout -k 10 "$WINE_TIMEOUT" "$WINE" ./pallix-testhost.exe "$@"
  rc=$?
  [ $rc -eq 124 ] && echo "run-wine: timed out after ${WINE_TIMEOUT}s" >&2
  exit $rc
  ;;
*)
  die "usage: run-wine.sh setup|cleanup|run ..."
  ;;
esac
