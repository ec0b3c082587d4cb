#!/usr/bin/env bash
# Installs what is missing and builds Pennaro into $PENNARO_BUILD_DIR (default build/).
# PENNARO_EXTRAS=ON (or OFF) also builds (or stops building) the benchmarks and tools; left
# unset, the build folder keeps its earlier choice. Prints the build folder on its last line.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${PENNARO_BUILD_DIR:-$top/build}"
"$top/scripts/install-deps.sh" >&2
# ccache makes rebuilds after a branch switch or a fresh clone of the same sources cheap.
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
extras=()
if [ -n "${PENNARO_EXTRAS:-}" ]; then
    extras=(-DPENNARO_EXTRAS="$PENNARO_EXTRAS")
fi
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "${extras[@]}" >&2
cmake --build "$build" -j"$(nproc)" >&2
echo "$build"
