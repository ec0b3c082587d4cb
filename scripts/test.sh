#!/usr/bin/env bash
# Installs what is missing, builds Pennaro and runs the whole test suite: most tests
# headless, those labelled "desktop" on a private X display (Xvfb) with a window manager
# (openbox), both started here and stopped on exit, and the Debian package test last. The
# benchmarks and tools are built too, so that a change that breaks them shows here.
set -euo pipefail
build="$(PENNARO_EXTRAS=ON "$(dirname "$0")/build.sh" | tail -n 1)"
cd "$build"

pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}
trap cleanup EXIT

# Xvfb picks a free display number itself and writes it to the given descriptor.
displayfile="$(mktemp)"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfile" 2>/dev/null &
pids+=($!)
for _ in $(seq 600); do
    [ -s "$displayfile" ] && break
    sleep 0.1
done
display=":$(head -n 1 "$displayfile")"
rm -f "$displayfile"
if [ "$display" = ":" ]; then
    echo "No se pudo arrancar Xvfb" >&2
    exit 1
fi
export DISPLAY="$display"
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
# The desktop tests need the window manager in charge before they start.
for _ in $(seq 600); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done

# Each test's own environment chooses the platform: offscreen, or xcb for "desktop".
# The package test comes last and alone: it makes a package from this build and runs
# lintian, which would only slow the others down.
status=0
ctest --output-on-failure -j"$(nproc)" -LE package || status=$?
ctest --output-on-failure -L package || status=$?
exit "$status"
