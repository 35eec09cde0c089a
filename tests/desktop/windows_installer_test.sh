#!/usr/bin/env bash
# The Windows installer under Wine, in a prefix of its own: a silent install
# (/S) puts the program with bass\ and its Qt under the Program Files folder
# of its architecture and registers its uninstaller under the system's
# uninstall key; the Start-menu link's target is the installed program, which
# starts from there (main window, Alt+F4, status 0); the silent uninstaller
# removes the program folder and the uninstall key.
#   windows_installer_test.sh WINE SETUP_EXE PREFIX_DIR win32|win64
# Exits 77 (skipped) without Xvfb or xdotool, without the installer, or where
# the kernel runs no 32-bit programs.
set -euo pipefail
wine=$1
setup=$2
export WINEPREFIX=$3
arch=$4
root=$(cd "$(dirname "$0")/../.." && pwd)
for tool in Xvfb xdotool xwininfo; do
    command -v "$tool" >/dev/null || { echo "windows_installer_test: no $tool, skipped"; exit 77; }
done
# The installer is made where the program was built (test
# windows_installer_package, skipped in the 32-bit test machine, which has
# no NSIS).
[ -e "$setup" ] || { echo "windows_installer_test: no installer $setup here; skipped"; exit 77; }
# The installer is a 32-bit program for either architecture; a kernel that
# runs no 32-bit programs cannot start it.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "windows_installer_test: this kernel runs no 32-bit programs, and the installer is one; skipped"
    exit 77
fi
# Without Wine's debugger a crash ends the program instead of waiting.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
work=$(mktemp -d)
xpid="" pid=""
source "$root/tests/support/wait-exit.bash"
source "$root/tests/desktop/wine-display.bash"
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; wineserver -k 2>/dev/null || true; stop_display; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

if [ ! -e "$WINEPREFIX/.klang-ready" ]; then
    DISPLAY= "$wine" wineboot -i >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.klang-ready"
fi
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Klangdeck'
if [ "$arch" = win64 ]; then
    folder="$WINEPREFIX/drive_c/Program Files/Klangdeck"
    view=/reg:64
else
    folder="$WINEPREFIX/drive_c/Program Files (x86)/Klangdeck"
    view=/reg:32
fi
# A 32-bit prefix has one Program Files folder only.
[ "$arch" = win32 ] && [ ! -d "$WINEPREFIX/drive_c/Program Files (x86)" ] &&
    folder="$WINEPREFIX/drive_c/Program Files/Klangdeck"
regvalue() { DISPLAY= "$wine" reg query "$key" /v "$1" $view 2>/dev/null | tr -d '\r' | awk -v v="$1" '$1 == v {sub(/^[^R]*REG_SZ[ \t]*/, ""); print}'; }

DISPLAY= "$wine" "$(winepath -w "$setup" 2>/dev/null || echo "$setup")" /S
wineserver -w
for f in klangdeck.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll qt.conf platforms/qwindows.dll \
    translations/qtbase_de.qm bass/bass.dll bass/bassflac.dll bass/bassopus.dll Uninstall.exe; do
    [ -f "$folder/$f" ] || fail "not installed: $folder/$f"
done
uninstaller=$(regvalue UninstallString | tr -d '"')
[ -n "$uninstaller" ] || fail "no UninstallString under $key"

# The link in the Start menu of all users (the installer runs as an
# administrator), its target read from the link's file.
link=$(find "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs" -name 'Klangdeck.lnk' | head -1)
[ -n "$link" ] || fail "no Start-menu link Klangdeck.lnk"
target=$(python3 - "$link" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
flags = struct.unpack_from("<I", data, 0x14)[0]
pos = 0x4C
if flags & 1:  # an item id list first
    pos += 2 + struct.unpack_from("<H", data, pos)[0]
if not flags & 2:
    sys.exit("no link info")
base = pos + struct.unpack_from("<I", data, pos + 16)[0]
print(data[base:data.index(b"\0", base)].decode("cp1252"))
PY
)
[ "$(winepath -u "$target" 2>/dev/null)" -ef "$folder/klangdeck.exe" ] ||
    fail "the Start-menu link points to $target, not to the installed program"

# The commands above ran without a display, and so did the desktop process
# (explorer.exe) that Wine's server started for them: a program started
# while that server still lingers would get its windows on that desktop,
# never on the X display. Both end first.
wineserver -w
start_display || fail "Xvfb did not start"
"$wine" "$target" >"$work/program.log" 2>&1 &
pid=$!
await_main_window || { cat "$work/program.log" >&2; fail "the installed program showed no main window"; }
close_with_alt_f4 || fail "the installed program did not end cleanly"
wineserver -w
stop_display

DISPLAY= "$wine" "$uninstaller" /S
wineserver -w
# The uninstaller runs from a copy of itself and may outlast its starter.
for _ in $(seq 1 300); do [ -d "$folder" ] || break; sleep 0.1; done
[ ! -d "$folder" ] || fail "the uninstaller left $folder: $(cd "$folder" && find . | head)"
[ -z "$(regvalue UninstallString)" ] || fail "the uninstaller left $key"
echo "ok"
