#!/usr/bin/env bash
# `cmake --install` into a throw-away prefix: the layout, the menu entry and
# AppStream record pass their validators, and the installed program, started
# through PREFIX/bin, finds its engine and plug-ins beside its own file. With
# Xvfb and xdotool present it also opens a track there and plays it.
#   install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 source=$2
work=$(mktemp -d)
. "$(dirname "$0")/session.sh"
trap 'kill_program; stop_bus; rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in lib/klangdeck/klangdeck lib/klangdeck/bass/bass.so lib/klangdeck/bass/bassflac.so \
    lib/klangdeck/bass/bassopus.so share/applications/klangdeck.desktop \
    share/metainfo/klangdeck.metainfo.xml share/icons/hicolor/scalable/apps/klangdeck.svg \
    share/man/man1/klangdeck.1.gz share/doc/klangdeck/copyright; do
    [ -f "$prefix/$f" ] || fail "not installed: $f"
done
[ "$(readlink "$prefix/bin/klangdeck")" = ../lib/klangdeck/klangdeck ] || fail "bin/klangdeck is not the relative link"
for size in 16 22 24 32 48 64 128 256; do
    png=$prefix/share/icons/hicolor/${size}x${size}/apps/klangdeck.png
    [ -f "$png" ] || fail "no ${size}px icon"
    file "$png" | grep -q "PNG image data, $size x $size, 8-bit/color RGBA" || fail "the ${size}px icon is $(file -b "$png")"
done
desktop-file-validate "$prefix/share/applications/klangdeck.desktop" || fail "desktop-file-validate"
# Warnings are allowed (the id is not a reverse domain name); errors are not.
appstreamcli validate --no-net "$prefix/share/metainfo/klangdeck.metainfo.xml" >"$work/appstream.log" 2>&1 || true
grep -q '^E:' "$work/appstream.log" && { cat "$work/appstream.log" >&2; fail "appstreamcli reports errors"; }
grep -qE 'Validation was successful|Validation failed: warnings' "$work/appstream.log" ||
    { cat "$work/appstream.log" >&2; fail "appstreamcli did not validate"; }

# The program refuses to start without its engine, so the service showing up
# means bass/ was found beside the real file; the plug-ins must be mapped from there.
export QT_QPA_PLATFORM=offscreen
start_bus
start_program "$prefix/bin/klangdeck"
await_service
has_mapped "$prefix/lib/klangdeck/bass/bass.so" || fail "the engine is not the installed one"
has_mapped "$prefix/lib/klangdeck/bass/bassflac.so" || fail "the FLAC plug-in was not loaded from bass/"
has_mapped "$prefix/lib/klangdeck/bass/bassopus.so" || fail "the Opus plug-in was not loaded from bass/"
quit_program

if command -v Xvfb >/dev/null && command -v xdotool >/dev/null && [ -n "${KLANG_FIXTURE:-}" ]; then
    # On a virtual display, through "Öffnen...", as a user would.
    cat >"$work/play.sh" <<PLAY
#!/usr/bin/env bash
set -euo pipefail
. "$(dirname "$0")/session.sh"
work=$work
unset QT_QPA_PLATFORM
start_program "$prefix/bin/klangdeck"
trap kill_program EXIT
await_service
"$source/scripts/open-track" "\$prog_pid" "$KLANG_FIXTURE"
await_status Playing || fail "the opened track does not play"
mpris_get Player Metadata | grep -qF "$(basename "$KLANG_FIXTURE")" || fail "the metadata does not name the track"
quit_program
PLAY
    chmod +x "$work/play.sh"
    "$source/scripts/lib/with-display" --screen 1024x768x24 "$work/play.sh" || fail "playing from the installed program"
fi
echo "ok"
