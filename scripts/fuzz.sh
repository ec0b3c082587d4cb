#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang into their own build folder
# ($PENNARO_FUZZ_BUILD_DIR, default build-fuzz/) and runs each for SECONDS (default 30),
# starting from a copy of its seed corpus in fuzz/corpus/<target>/. Fails when a target
# does not build or finds a crash; the input that crashed is kept in
# <build>/fuzz-runs/<target>/ and the end of the target's log is printed.
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-30}"
build="${PENNARO_FUZZ_BUILD_DIR:-$top/build-fuzz}"

# clang and its sanitizer and libFuzzer runtimes are needed by this script only.
"$top/scripts/install-deps.sh" clang libclang-rt-14-dev >&2

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
CC=clang CXX=clang++ cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPENNARO_FUZZ=ON \
    -DBUILD_TESTING=OFF "${launcher[@]}" >&2
cmake --build "$build" --target fuzzers -j"$(nproc)" >&2

failed=()
while read -r target; do
    [ -n "$target" ] || continue
    work="$build/fuzz-runs/$target"
    rm -rf "$work"
    mkdir -p "$work/corpus"
    cp -R "$top/fuzz/corpus/$target/." "$work/corpus/"
    echo "== $target: ${seconds} s" >&2
    if "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
        -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" >"$work/log" 2>&1; then
        grep -E '^stat::number_of_executed_units' "$work/log" | sed "s/^/$target /" >&2 || true
    else
        failed+=("$target")
        tail -n 60 "$work/log" >&2
    fi
done <"$build/fuzzers.txt"

if [ ${#failed[@]} -gt 0 ]; then
    echo "Fallos encontrados por: ${failed[*]}" >&2
    exit 1
fi
echo "Sin fallos en $(grep -c . "$build/fuzzers.txt") objetivos." >&2
