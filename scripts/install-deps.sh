#!/usr/bin/env bash
# Installs the Debian packages Pennaro needs to build, run and test, and any package
# named on its command line.
# Does nothing when everything is already present; uses sudo when not root.
set -euo pipefail

packages=(
    g++ cmake make pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-translations-l10n libqt6svg6
    libsqlite3-dev libjpeg-dev libsndfile1-dev libpulse-dev
    libgl-dev fonts-dejavu-core pulseaudio
    ccache ca-certificates libical-dev
    xvfb openbox trayer x11-utils
    "$@" # what a caller needs besides, such as the fuzz script's compiler
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Instalando paquetes: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
