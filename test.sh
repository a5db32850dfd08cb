#!/usr/bin/env bash
# Builds everything CI needs and runs every test (native, sanitized, and under Wine) through ctest.
#
# PALLIX_WINE_MODE=auto|32|64|none chooses how the Windows tests run (default auto: 32-bit Wine
# where it runs, else 64-bit Wine against the 64-bit test build, else skipped).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
jobs=$(nproc)
wine_mode=${PALLIX_WINE_MODE:-auto}

# The product (32-bit) and the 64-bit test build of the same Windows code.
for preset in mingw-i686 mingw-x86_64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done
cmake --preset native-release -DPALLIX_WINE_MODE="$wine_mode" >/dev/null
cmake --build --preset native-release -j "$jobs"
cmake --preset native-asan >/dev/null
cmake --build --preset native-asan -j "$jobs"

mode_line="Windows tests: Wine mode $(cat build/native-release/tests/win32/wine-mode.txt 2>/dev/null || echo "unknown (not configured)")"
echo "$mode_line"
status=0
ctest --preset native-release -j "$jobs" || status=1
ctest --preset native-asan -j "$jobs" || status=1
./package.sh || status=1
echo "$mode_line"
exit $status
