#!/usr/bin/env bash
# Regenerates the icons, the logo and the chime in resources/ from tools/resgen.
# The program's build uses the committed files; run this only to change them.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${RESGEN_BUILD_DIR:-$(mktemp -d)}"

cmake -S "$root/tools/resgen" -B "$build" >/dev/null
cmake --build "$build" -j2 >/dev/null
QT_QPA_PLATFORM=offscreen "$build/resgen" "$root/resources"
