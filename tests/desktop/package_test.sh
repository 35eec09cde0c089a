#!/usr/bin/env bash
# The Debian package as CPack builds it from this build: its name, its
# control fields and dependency line, its files; unpacked into a throw-away
# root, the program runs from there; lintian, when present, finds no errors.
#   package_test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
. "$(dirname "$0")/session.sh"
trap 'kill_program; stop_bus; rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; fail "cpack"; }
deb=$work/out/klangdeck_0.2.2_amd64.deb
[ -f "$deb" ] || fail "no $(basename "$deb"): $(ls "$work/out")"

info=$(dpkg-deb --info "$deb")
field() { sed -n "s/^ $1: //p" <<<"$info"; }
[ "$(field Package)" = klangdeck ] || fail "Package: $(field Package)"
[ "$(field Version)" = 0.2.2 ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = amd64 ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = sound ] || fail "Section: $(field Section)"
depends=$(field Depends)
# From dpkg-shlibdeps: Qt's modules, the engine's and the plug-ins' codecs;
# named by hand: Qt's German translations, loaded at run time.
for dep in libc6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6 libqt6dbus6 libmpg123-0 libvorbisfile3 \
    libsndfile1 libsdl2-2.0-0 libsoxr0 libflac12 libopusfile0 qt6-translations-l10n; do
    grep -qE "(^|, )$dep( |,|$)" <<<"$depends" || fail "Depends lacks $dep: $depends"
done

contents=$(dpkg-deb --contents "$deb" | awk '{print $1, $6 ($7 ? " " $7 " " $8 : "")}')
for f in ./usr/lib/klangdeck/klangdeck ./usr/lib/klangdeck/bass/bass.so ./usr/lib/klangdeck/bass/bassflac.so \
    ./usr/lib/klangdeck/bass/bassopus.so ./usr/share/applications/klangdeck.desktop \
    ./usr/share/metainfo/klangdeck.metainfo.xml ./usr/share/icons/hicolor/scalable/apps/klangdeck.svg \
    ./usr/share/icons/hicolor/16x16/apps/klangdeck.png ./usr/share/icons/hicolor/256x256/apps/klangdeck.png \
    ./usr/share/doc/klangdeck/copyright ./usr/share/doc/klangdeck/changelog.gz; do
    grep -qE "^-rw[-x]r-[-x]r-[-x] $f$" <<<"$contents" || fail "not in the package as a file: $f"
done
grep -qF 'lrwxrwxrwx ./usr/bin/klangdeck -> ../lib/klangdeck/klangdeck' <<<"$contents" ||
    fail "no relative link ./usr/bin/klangdeck"
grep -qE '^-rwxr-xr-x ./usr/lib/klangdeck/klangdeck$' <<<"$contents" || fail "the program is not executable"
# Nothing outside /usr, nothing from the build tree.
grep -vE ' \./(usr(/.*)?)?/?$| \./usr/' <<<"$contents" && fail "files outside /usr"
grep -q '_CPack_Packages\|/build/' <<<"$contents" && fail "build paths in the package"

# Unpacked anywhere, the program still finds its engine beside it.
root=$work/root
dpkg-deb -x "$deb" "$root"
file "$root/usr/lib/klangdeck/klangdeck" | grep -q ', stripped' || fail "the program is not stripped"
export QT_QPA_PLATFORM=offscreen
start_bus
start_program "$root/usr/bin/klangdeck"
await_service
has_mapped "$root/usr/lib/klangdeck/bass/bassopus.so" || fail "the plug-ins were not loaded from bass/"
quit_program

if command -v lintian >/dev/null; then
    lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || true
    cat "$work/lintian.log"
    grep -q '^E:' "$work/lintian.log" && fail "lintian reports errors"
fi
echo "ok"
