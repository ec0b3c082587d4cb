#!/usr/bin/env bash
# Checks the Debian package as the archive's tools, apt and software centres read it.
# Usage: check-package.sh BUILD_DIR SOURCE_DIR [FIELD=PATH ...]
# Each FIELD=PATH names a file the program loads at run time without linking it: the
# package that holds PATH on this machine must be named in that control field.
# The package is made from BUILD_DIR with CPack, unless PENNARO_PACKAGE names one that
# scripts/package.sh made. Exits 77 (skipped) where the Debian tools are missing.
set -uo pipefail
build="$1"
source="$2"
shift 2

for tool in dpkg-deb dpkg-shlibdeps; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool no está instalado; sin las herramientas de Debian no se construye ni se lee un paquete .deb"
        exit 77
    fi
done
for tool in cpack lintian desktop-file-validate appstreamcli objdump file; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: falta $tool (scripts/install-deps.sh lo instala)"
        exit 77
    fi
done

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
work="$(mktemp -d "${TMPDIR:-/tmp}/pennaro-package.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# CPack's install, like `cmake --install`, writes the build folder's install manifest: the
# user's uninstall list is put back as it was when done.
manifest="$build/install_manifest.txt"
if [ -f "$manifest" ]; then
    cp -p "$manifest" "$work/install_manifest.txt"
    trap 'mv -f "$work/install_manifest.txt" "$manifest"; rm -rf "$work"' EXIT
else
    trap 'rm -f "$manifest"; rm -rf "$work"' EXIT
fi

# The package.
if [ -n "${PENNARO_PACKAGE:-}" ]; then
    deb="$PENNARO_PACKAGE"
else
    if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/cpack" >"$work/cpack.log" 2>&1; then
        cat "$work/cpack.log"
        echo "FAIL: CPack could not make the package"
        exit 1
    fi
    deb="$(find "$work/cpack" -maxdepth 1 -name '*.deb' | head -n 1)"
fi
[ -f "$deb" ] || { echo "FAIL: no package at '$deb'"; exit 1; }
echo "package: $deb"
field() { dpkg-deb -f "$deb" "$1"; }

# Name, version and architecture: Debian's pennaro_<version>_<arch>.deb, the project's
# version, this machine's architecture.
project_version="$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")"
[ "$(field Package)" = pennaro ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$project_version" ] || fail "Version '$(field Version)' is not the project's $project_version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is '$(field Architecture)'"
expected_name="pennaro_$(field Version)_$(field Architecture).deb"
[ "$(basename "$deb")" = "$expected_name" ] || fail "file name $(basename "$deb"), expected $expected_name"
for f in Section Priority Maintainer Homepage Description; do
    [ -n "$(field "$f")" ] || fail "control field $f is missing"
done
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^@\>]+\>$ ]] || fail "Maintainer '$(field Maintainer)' is not 'Name <address>'"
[[ "$(field Homepage)" =~ ^https:// ]] || fail "Homepage '$(field Homepage)' is not an https address"

# The files, next to what `cmake --install` puts below the same prefix.
dpkg-deb -x "$deb" "$work/root"
list() { (cd "$1" && find . \( -type f -o -type l \) | sed 's|^\./||' | sort); }
list "$work/root" >"$work/package.list"
if DESTDIR="$work/install" cmake --install "$build" --prefix /usr --component Unspecified >"$work/install.log" 2>&1; then
    list "$work/install" >"$work/install.list"
    diff -u "$work/install.list" "$work/package.list" >"$work/list.diff" ||
        { cat "$work/list.diff"; fail "the package and 'cmake --install' install different files"; }
else
    cat "$work/install.log"
    fail "cmake --install failed"
fi
rm -f "$build/install_manifest_Unspecified.txt"
changelog_version="$(gzip -dc "$work/root/usr/share/doc/pennaro/changelog.gz" 2>/dev/null | sed -n '1s/^pennaro (\([^)]*\)).*/\1/p')"
[ "$changelog_version" = "$(field Version)" ] || fail "the changelog's last entry is '$changelog_version', the package $(field Version)"
grep -v '^usr/' "$work/package.list" | sed 's/^/outside usr: /' | grep . && fail "files outside /usr"

# Every library the program links is in Depends through the package that holds it here
# (dpkg-shlibdeps' work), and each run-time file's package is in the field named for it.
depends_of() { field "$1" | tr ',|' '\n\n' | sed 's/(.*//; s/:.*//; s/[[:space:]]//g' | grep .; }
# The packages holding the files that dpkg -S finds for the pattern $1 whose path ends in $2.
owners() {
    dpkg -S "$1" 2>/dev/null | awk -v want="$2" '{
        i = index($0, ": /"); path = substr($0, i + 2)
        if (i == 0 || substr(path, length(path) - length(want) + 1) != want) next
        n = split(substr($0, 1, i - 1), holders, ", ")
        for (k = 1; k <= n; k++) { sub(/:.*/, "", holders[k]); print holders[k] }
    }' | sort -u
}
program="$work/root/usr/bin/pennaro"
[ -x "$program" ] || fail "no usr/bin/pennaro in the package"
depends="$(depends_of Depends)"
for soname in $(objdump -p "$program" | awk '$1 == "NEEDED" { print $2 }'); do
    holders="$(owners "*/$soname" "/$soname")"
    if [ -z "$holders" ]; then
        fail "no installed package holds $soname"
    elif ! grep -qxF -f <(echo "$holders") <(echo "$depends"); then
        fail "$soname ($(paste -sd " " <<<"$holders")) is not in Depends"
    fi
done
for arg in "$@"; do
    name="${arg%%=*}" path="${arg#*=}"
    holders="$(owners "$path" "$path")"
    if [ -z "$holders" ]; then
        echo "NOTE: $path is not installed here; its package is not checked"
    elif ! grep -qxF -f <(echo "$holders") <(depends_of "$name"); then
        fail "$path ($(paste -sd " " <<<"$holders")) is loaded at run time but not in $name"
    fi
done
# apt can satisfy every relation from the archives it knows.
if command -v apt-get >/dev/null; then
    apt-get install -s -q "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get cannot install the package"; }
fi

# The desktop entry, the metainfo and the icons share one id and name each other.
metainfo="$(ls "$work/root/usr/share/metainfo/"*.metainfo.xml 2>/dev/null | head -n 1)"
if [ -z "$metainfo" ]; then
    fail "no AppStream metainfo in usr/share/metainfo"
else
    id="$(sed -n 's|.*<id>\(.*\)</id>.*|\1|p' "$metainfo" | head -n 1)"
    [ "$(basename "$metainfo")" = "$id.metainfo.xml" ] || fail "metainfo $(basename "$metainfo") is not named by its id '$id'"
    [[ "$id" =~ ^[a-z]+\.[A-Za-z0-9_-]+\.[A-Za-z0-9_.-]+$ ]] || fail "id '$id' is not in reverse-DNS form"
    grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || fail "no launchable $id.desktop"
    for tag in metadata_license project_license content_rating screenshot; do
        grep -q "<$tag" "$metainfo" || fail "metainfo has no <$tag>"
    done
    for tag in summary p; do
        grep -q "<$tag xml:lang=\"es\">" "$metainfo" || fail "metainfo has no Spanish <$tag>"
        grep -q "<$tag>" "$metainfo" || fail "metainfo has no untranslated <$tag>"
    done
    desktop="$work/root/usr/share/applications/$id.desktop"
    if [ ! -f "$desktop" ]; then
        fail "no desktop entry usr/share/applications/$id.desktop"
    else
        exec_name="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")"
        [ -x "$work/root/usr/bin/$exec_name" ] || fail "Exec=$exec_name is not a program in usr/bin"
        icon="$(sed -n 's/^Icon=//p' "$desktop")"
        [ -f "$work/root/usr/share/icons/hicolor/48x48/apps/$icon.png" ] || fail "Icon=$icon has no 48x48 picture"
        desktop-file-validate "$desktop" || fail "desktop-file-validate reports errors"
    fi
    appstreamcli validate --no-net --explain "$metainfo" || fail "appstreamcli validate reports errors"
fi
for picture in "$source"/resources/hicolor/pennaro-*.png; do
    size="$(basename "$picture" .png)"
    size="${size#pennaro-}"
    installed="$work/root/usr/share/icons/hicolor/${size}x$size/apps/pennaro.png"
    file -b "$installed" 2>/dev/null | grep -q "PNG image data, $size x $size," ||
        fail "icon ${size}x$size: $(file -b "$installed" 2>&1)"
done
scalable="$work/root/usr/share/icons/hicolor/scalable/apps/pennaro.svg"
if [ -f "$source/resources/hicolor/pennaro.svg" ] && ! cmp -s "$source/resources/hicolor/pennaro.svg" "$scalable"; then
    fail "the scalable icon is not installed as hicolor/scalable/apps/pennaro.svg"
fi

# The manual pages name every option the program's --help shows, and groff reads them cleanly.
options="$("$build/app/pennaro" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u)"
[ -n "$options" ] || fail "pennaro --help shows no options"
for page in usr/share/man/man1/pennaro.1.gz usr/share/man/es/man1/pennaro.1.gz; do
    if ! text="$(gzip -dc "$work/root/$page" 2>/dev/null | sed 's/\\-/-/g')"; then
        fail "$page is missing or not gzip"
        continue
    fi
    for option in $options; do
        grep -qF -- "$option" <<<"$text" || fail "$page does not describe $option"
    done
    if command -v man >/dev/null; then
        warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$work/root/$page" 2>&1 >/dev/null)"
        [ -z "$warnings" ] || fail "$page: $warnings"
    fi
done

# The archive's own checker: no error (warnings and notes are shown for the reader).
lintian --fail-on error --tag-display-limit 0 "$deb" 2>&1 | grep -v 'running with root privileges'
[ "${PIPESTATUS[0]}" -eq 0 ] || fail "lintian reports errors"

if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "package checks passed"
