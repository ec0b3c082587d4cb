#!/usr/bin/env bash
# Installs the Debian packages Pennaro needs to build, run and test, and any package
# named on its command line.
# Does nothing when everything is already present; uses sudo when not root.
set -euo pipefail

packages=(
    g++ cmake make pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-translations-l10n libqt6svg6
    libsqlite3-dev libjpeg-dev libsndfile1-dev libpulse-dev
    libgl-dev libxcb1-dev fonts-dejavu-core pulseaudio
    ccache ca-certificates libical-dev
    xvfb openbox trayer x11-utils
    qt6-wayland weston
    qtkeychain-qt6-dev
    dbus dbus-x11 python3-dbus python3-dbusmock
    haskell-status-notifier-item-utils gnome-keyring libsecret-tools
    dpkg-dev file lintian appstream desktop-file-utils
    locales
    "$@" # what a caller needs besides, such as the fuzz script's compiler
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi

if [ ${#missing[@]} -gt 0 ]; then
    echo "Instalando paquetes: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -qq
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The date tests run under these locales besides C, so that they check the rule rather
# than one locale's habits; a fresh Debian has none of them compiled.
for loc in es_ES sv_SE; do
    if ! locale -a 2>/dev/null | grep -qix "$loc.utf-\?8"; then
        echo "Generando la configuración regional $loc.UTF-8"
        "${sudo_cmd[@]}" localedef -i "$loc" -f UTF-8 "$loc.UTF-8"
    fi
done
