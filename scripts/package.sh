#!/usr/bin/env bash
# Builds a Release package of Pennaro with CPack's DEB generator in $PENNARO_PACKAGE_DIR
# (default build-package/) and prints the path of pennaro_<version>_<arch>.deb on its last
# line. The build uses Debian's own compiler and linker flags (optimisation, hardening) and
# installs below /usr; the package holds what `cmake --install` installs.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${PENNARO_PACKAGE_DIR:-$top/build-package}"
"$top/scripts/install-deps.sh" >&2
cd "$top"

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
flag() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DBUILD_TESTING=OFF -DPENNARO_EXTRAS=OFF "${launcher[@]}" \
    -DCMAKE_C_FLAGS="$(flag CPPFLAGS) $(flag CFLAGS)" \
    -DCMAKE_CXX_FLAGS="$(flag CPPFLAGS) $(flag CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(flag LDFLAGS)" >&2
cmake --build "$build" -j"$(nproc)" >&2

# A package left from an earlier version must not be taken for this one.
rm -f "$build"/pennaro_*.deb
(cd "$build" && cpack -G DEB) >&2
debs=("$build"/pennaro_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    echo "CPack no produjo un paquete pennaro_*.deb en $build" >&2
    exit 1
fi
echo "${debs[0]}"
