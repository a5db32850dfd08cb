#!/usr/bin/env bash
# Builds everything CI needs and runs every test (native, sanitized, and under Wine) through ctest.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
jobs=$(nproc)

cmake --preset mingw-i686 >/dev/null
cmake --build --preset mingw-i686 -j "$jobs"
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j "$jobs"
cmake --preset native-asan >/dev/null
cmake --build --preset native-asan -j "$jobs"

status=0
ctest --preset native-release -j "$jobs" || status=1
ctest --preset native-asan -j "$jobs" || status=1
exit $status
