#!/usr/bin/env bash
# Builds the exporter and exports the bundled sample level into out/.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
jobs=$(nproc)
cmake --preset mingw-i686 >/dev/null
cmake --build --preset mingw-i686 -j "$jobs" --target Pallix
echo "Pallix.dll exports:"
i686-w64-mingw32-objdump -p build/mingw-i686/Pallix.dll | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p'
