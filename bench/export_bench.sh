#!/usr/bin/env bash
# Exports generated levels of 1, 20 and 100 MB with pallix-export and prints, measured in the
# same run, its time against pugixml's parse and against OgreXMLConverter, and its peak memory
# against the document's size. Arguments go to export_bench (e.g. --sizes 1,20).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j 2 --target pallix-export export_bench
converter=OgreXMLConverter
command -v "$converter" >/dev/null 2>&1 || converter=/nonexistent
exec build/native-release/bench/export_bench --exporter build/native-release/pallix-export \
  --converter "$converter" "$@"
