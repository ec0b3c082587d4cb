#!/usr/bin/env bash
# Runs a command on a private D-Bus session bus, with a temporary HOME and XDG folders,
# so that a desktop test never touches the user's own session, keyring or settings.
# The folders are removed when the command ends; its exit status is returned.
# Usage: private-session.sh COMMAND [ARG...]
set -euo pipefail
top="$(mktemp -d "${TMPDIR:-/tmp}/pennaro-session.XXXXXX")"
trap 'rm -rf "$top"' EXIT
mkdir -p "$top/home" "$top/runtime" "$top/config" "$top/data" "$top/cache"
chmod 700 "$top/runtime"
export HOME="$top/home"
export XDG_RUNTIME_DIR="$top/runtime"
export XDG_CONFIG_HOME="$top/config"
export XDG_DATA_HOME="$top/data"
export XDG_CACHE_HOME="$top/cache"
unset DBUS_SESSION_BUS_ADDRESS
# dbus-run-session ends the bus (and the services it started) when the command returns.
dbus-run-session -- "$@"
