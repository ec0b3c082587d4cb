#!/usr/bin/env bash
# Installs what is missing, builds Pennaro and starts it.
set -euo pipefail
build="$("$(dirname "$0")/build.sh" | tail -n 1)"
exec "$build/app/pennaro"
