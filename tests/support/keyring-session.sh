#!/usr/bin/env bash
# Runs a command on a bus of its own that starts no service on demand, so that nothing
# stands in for the keyring unless asked: with --keyring, a gnome-keyring-daemon holding
# only the Secret Service, its login keyring unlocked with a test password; without it,
# no keyring at all. Meant to run inside private-session.sh (temporary HOME and XDG
# folders); the bus and the keyring end with the command, whose exit status is returned.
# Usage: keyring-session.sh [--keyring] COMMAND [ARG...]
set -euo pipefail
keyring=0
if [ "${1:-}" = "--keyring" ]; then
    keyring=1
    shift
fi
dir="$(mktemp -d "${XDG_RUNTIME_DIR:-/tmp}/bus.XXXXXX")"
cat >"$dir/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$dir</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$dir"
}
trap cleanup EXIT
exec 3< <(dbus-daemon --config-file="$dir/bus.conf" --nofork --print-address=1 --print-pid=1)
read -r address <&3
read -r bus_pid <&3
pids+=("$bus_pid")
export DBUS_SESSION_BUS_ADDRESS="$address"
if [ "$keyring" = 1 ]; then
    # The daemon reads the login keyring's password from standard input.
    printf 'prueba-llavero' | gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null &
    pids+=("$!")
    for _ in $(seq 100); do
        if dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
            org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q 'true'; then
            break
        fi
        sleep 0.1
    done
fi
"$@"
