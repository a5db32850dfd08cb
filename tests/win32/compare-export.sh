#!/usr/bin/env bash
# Exports one scene twice, natively with pallix-export and through Pallix.dll under Wine with the
# options typed into its window, and requires the two sets of output files to be byte-identical.
#
#   compare-export.sh NATIVE_BIN WINBUILD STATE WORK OUTNAME (--sample DIR | --generate "ARGS")
#                     [--shots DIR] [--host "HOST ARGS"] -- OPTIONS...
#
# OPTIONS are pallix-export's option flags; the test host types the same choices into the window.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ "${PALLIX_WINE_ARCH:-win32}" = none ]; then
  echo "compare-export: skipped: ${PALLIX_WINE_SKIP_REASON:-no Wine mode}"
  exit 77
fi
native=${1:?} winbuild=${2:?} state=${3:?} work=${4:?} outname=${5:?}
shift 5
sample="" generate="" shots=() hostargs=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do
  case "$1" in
  --sample) sample=$2; shift 2 ;;
  --generate) generate=$2; shift 2 ;;
  --shots) shots=(--shots "$2"); shift 2 ;;
  --host) read -r -a hostargs <<<"$2"; shift 2 ;;
  *) echo "compare-export: unknown argument $1" >&2; exit 2 ;;
  esac
done
[ "${1:-}" = -- ] && shift
options=("$@")

winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }

rm -rf "$work"
mkdir -p "$work/in" "$work/native" "$work/wine-out" "$work/host"
if [ -n "$sample" ]; then
  cp -r "$sample"/. "$work/in/"
else
  # Polygons naming no material end an export by design; this comparison wants whole runs.
  # shellcheck disable=SC2086  # the generator's arguments are split on purpose
  "$native/pallix-scenegen" $generate --known-materials --textures "$work/in" --out "$work/in/scene.xml" || exit 1
fi
[ -f "$work/in/scene.xml" ] || { echo "compare-export: no scene.xml" >&2; exit 1; }

"$native/pallix-export" --quiet --textures-from "$work/in" "${options[@]}" \
  "$work/in/scene.xml" "$work/native/$outname" || { echo "compare-export: pallix-export failed" >&2; exit 1; }

# The stand-in editor's install folder: its Korvel.ini names the texture folder.
printf '[Dirs]\r\ntexturefiles=%s\\\r\n' "$(winpath "$work/in")" >"$work/host/Korvel.ini"
"$here/run-wine.sh" run "$state" "$winbuild" "$work/wine" "${shots[@]}" -- export \
  --scene "$(winpath "$work/in/scene.xml")" --install "$(winpath "$work/host")" \
  --file "$(winpath "$work/wine-out/$outname")" "${hostargs[@]}" "${options[@]}" || exit 1

status=0
if ! diff -r -q "$work/native" "$work/wine-out"; then
  echo "compare-export: outputs differ" >&2
  status=1
fi
count=$(find "$work/native" -type f | wc -l)
[ "$count" -gt 0 ] || { echo "compare-export: nothing was written" >&2; status=1; }
echo "compare-export: $count file(s) compared"
(cd "$work/native" && find . -type f | sort | sed 's/^/  /')
exit $status
