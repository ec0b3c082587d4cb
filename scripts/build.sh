#!/usr/bin/env bash
# Installs what is missing and builds Pennaro into $PENNARO_BUILD_DIR (default build/).
# Prints the build folder on its last line.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${PENNARO_BUILD_DIR:-$top/build}"
"$top/scripts/install-deps.sh" >&2
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2
cmake --build "$build" -j"$(nproc)" >&2
echo "$build"
