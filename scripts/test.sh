#!/usr/bin/env bash
# Installs what is missing, builds Pennaro and runs the whole test suite headless.
set -euo pipefail
build="$("$(dirname "$0")/build.sh" | tail -n 1)"
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
