#!/usr/bin/env bash
# Installs what is missing, builds Pennaro and runs the whole test suite headless.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${PENNARO_BUILD_DIR:-$top/build}"
"$top/scripts/install-deps.sh"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
