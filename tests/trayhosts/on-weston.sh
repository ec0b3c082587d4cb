#!/usr/bin/env bash
# Runs a command on a private headless Weston compositor with Qt's Wayland plugin: its own
# XDG_RUNTIME_DIR and WAYLAND_DISPLAY socket, no X display. Weston is stopped and its
# folder removed when the command ends; the command's exit status is returned.
# Usage: on-weston.sh COMMAND [ARG...]
set -euo pipefail
runtime="$(mktemp -d "${TMPDIR:-/tmp}/pennaro-weston.XXXXXX")"
chmod 700 "$runtime"
export XDG_RUNTIME_DIR="$runtime"
weston --backend=headless-backend.so --socket=pennaro-wayland --idle-time=0 >"$runtime/weston.log" 2>&1 &
weston_pid=$!
cleanup() {
    kill "$weston_pid" 2>/dev/null || true
    wait "$weston_pid" 2>/dev/null || true
    rm -rf "$runtime"
}
trap cleanup EXIT
for _ in $(seq 600); do
    [ -S "$runtime/pennaro-wayland" ] && break
    if ! kill -0 "$weston_pid" 2>/dev/null; then
        cat "$runtime/weston.log" >&2
        exit 1
    fi
    sleep 0.1
done
export WAYLAND_DISPLAY=pennaro-wayland QT_QPA_PLATFORM=wayland
unset DISPLAY
"$@"
