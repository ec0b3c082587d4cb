#!/usr/bin/env bash
# Installs a Pennaro package with apt-get as a user would, starts the program from /usr/bin
# and from its menu entry, removes the package with apt-get and checks that none of its
# files remain. For CI and throw-away machines (root, or sudo): the machine is left as it
# was found, since every package apt adds for it is purged again at the end.
# Usage: scripts/try-package.sh pennaro_<version>_<arch>.deb
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
deb="$(realpath "$1")"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
apt() { "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -q "$@"; }
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

if installed pennaro; then
    echo "pennaro ya está instalado en esta máquina; no se prueba encima de él" >&2
    exit 1
fi

# apt's own unprivileged user must be able to read the package it installs.
stage="$(mktemp -d)"
chmod 755 "$stage"
install -m 644 "$deb" "$stage/"
deb="$stage/$(basename "$deb")"

# Every package apt would add: pennaro and whatever of its dependencies is not here yet.
mapfile -t added < <(apt-get install -s "$deb" | awk '/^Inst / { print $2 }')
cleanup() {
    if installed pennaro; then
        apt remove -y pennaro >/dev/null || true
    fi
    local others=()
    for p in "${added[@]}"; do
        if [ "$p" != pennaro ] && installed "$p"; then
            others+=("$p")
        fi
    done
    if [ ${#others[@]} -gt 0 ]; then
        apt purge -y "${others[@]}" >/dev/null || true
    fi
    rm -rf "$stage"
}
trap cleanup EXIT
echo "apt-get instala: ${added[*]}"

apt install -y "$deb"
mapfile -t files < <(dpkg -L pennaro)

# From the command line, as installed.
help="$(/usr/bin/pennaro --help)"
grep -q -- '--import-ics' <<<"$help" || { echo "pennaro --help no muestra las opciones" >&2; exit 1; }

# From the menu entry: its command, found on the system's PATH, started on a private X
# display and session bus with empty home folders; it makes its tables and ends as soon as
# its event loop runs.
desktop="$(printf '%s\n' "${files[@]}" | grep '^/usr/share/applications/.*\.desktop$')"
command="$(sed -n 's/^Exec=//p' "$desktop" | sed 's/ *%[fFuUick]//g')"
echo "Entrada de menú $desktop: $command"
display=(env QT_QPA_PLATFORM=offscreen)
if command -v xvfb-run >/dev/null; then
    display=(xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" env QT_QPA_PLATFORM=xcb)
fi
PATH=/usr/sbin:/usr/bin:/sbin:/bin PENNARO_UNATTENDED=1 PENNARO_QUIT_AT_LOOP=1 \
    timeout 300 "$top/tests/support/private-session.sh" "${display[@]}" sh -c '
        unset PENNARO_HOME
        '"$command"' || exit $?
        tables="$XDG_DATA_HOME/Pennaro/$(id -un)/Pennaro"
        test -f "$tables/Reminder.DB" && test -f "$tables/Direcciones.DB" ||
            { echo "El programa no creó sus tablas en $tables" >&2; exit 1; }'
echo "El programa arrancó desde su entrada de menú"

# Removed: none of its files, and none of its own folders, remain.
apt remove -y pennaro
left=0
for f in "${files[@]}"; do
    if { [ -e "$f" ] || [ -L "$f" ]; } && { [ ! -d "$f" ] || [[ "$f" == *pennaro* ]]; }; then
        echo "Queda tras apt-get remove: $f" >&2
        left=1
    fi
done
[ "$left" -eq 0 ] || exit 1
echo "apt-get remove no dejó ningún archivo del paquete (${#files[@]} entradas comprobadas)"
