#!/usr/bin/env bash
# Fails, naming the files, when a C++ source of the tree is not laid out as .clang-format
# says. Fix with: clang-format-14 -i FILE...
set -euo pipefail
cd "$(dirname "$0")/.."
"$(dirname "$0")/install-deps.sh" clang-format-14

mapfile -d '' files < <(find . \( -path ./build -o -path './build-*' -o -path ./.git \) -prune -o \
    \( -name '*.cpp' -o -name '*.h' \) -type f -print0 | sort -z)
report="$(clang-format-14 --style=file --dry-run "${files[@]}" 2>&1 >/dev/null || true)"
unformatted="$(grep -oE '^[^:]+\.(cpp|h):[0-9]+:[0-9]+: (warning|error)' <<<"$report" | cut -d: -f1 | sort -u || true)"
if [ -n "$unformatted" ]; then
    echo "Sin el formato de .clang-format ($(wc -l <<<"$unformatted") ficheros):" >&2
    sed 's|^\./|  |' <<<"$unformatted" >&2
    exit 1
fi
echo "Formato correcto: ${#files[@]} ficheros."
