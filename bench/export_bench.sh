#!/usr/bin/env bash
# Exports generated levels of 20, 100 and 400 MB and 100,000 tiny primitives with pallix-export
# and prints, measured in the same run, its time against pugixml's parse and against
# OgreXMLConverter, its peak memory (and the library's) against the document's size, and the
# cost of terminal progress. Arguments go to export_bench (e.g. --sizes 20,tiny).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j 2 --target pallix-export export_bench
converter=OgreXMLConverter
command -v "$converter" >/dev/null 2>&1 || converter=/nonexistent
exec build/native-release/bench/export_bench --exporter build/native-release/pallix-export \
  --converter "$converter" "$@"
