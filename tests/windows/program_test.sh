#!/usr/bin/env bash
# The Windows packages as a player gets them, under Wine on an X server of their own: the zip
# unpacked into an empty folder and started from elsewhere, then the installer run silently and
# its uninstaller. Exit code 77 when Wine or Xvfb is missing.
#   TARV_LINUX_TARV=PATH program_test.sh CPACK BUILD_DIR VERSION
# TARV_LINUX_TARV is the program built for Linux from the same sources: the settings file it
# writes at its first start is what the Windows program must write too.
set -euo pipefail
cpack=$1 build=$2 version=$3 linux_tarv=${TARV_LINUX_TARV:-}
for tool in wine Xvfb xdotool unzip python3 import convert; do
    command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/test --windows installs it)"; exit 77; }
done
[ -x "$linux_tarv" ] || { echo "the Linux program is missing: $linux_tarv"; exit 1; }
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/common.sh"

dir=$(mktemp -d)
chmod 755 "$dir"
WINE_PIDS=()
cleanup() {
    for pid in "${WINE_PIDS[@]}"; do stop_process "$pid"; done
    WINEPREFIX=$dir/prefix wineserver -k 2>/dev/null || true
    stop_process "${XVFB_PID:-}"
    rm -rf "$dir"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

(cd "$build" && "$cpack" -B "$dir/packages" >"$dir/cpack.log" 2>&1) || { cat "$dir/cpack.log"; exit 1; }
zip=$dir/packages/tarv-$version-win64.zip
setup=$dir/packages/tarv-$version-setup.exe
[ -f "$zip" ] || { echo "no $zip"; ls "$dir/packages"; exit 1; }
[ -f "$setup" ] || fail "no installer tarv-$version-setup.exe"

# The zip alone, in a folder that holds nothing else.
unzip -q "$zip" -d "$dir/unpacked"
portable=$dir/unpacked/tarv-$version-win64
[ -f "$portable/tarv.exe" ] || { echo "the zip has no tarv-$version-win64/tarv.exe"; exit 1; }
[ -f "$portable/platforms/qwindows.dll" ] || fail "the zip lacks platforms/qwindows.dll"

mkdir -p "$dir/x"
start_xvfb "$dir/x"
export DISPLAY=$XVFB_DISPLAY WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=$dir/prefix
wineboot -i >/dev/null 2>&1
# No path of the build machine: only Windows' own folders are searched for DLLs.
unset WINEPATH QT_PLUGIN_PATH QT_QPA_PLATFORM

# run_tarv EXE [VAR=VALUE...]: starts the program from the root folder (so never from its
# own), sets TARV_PID and TARV_WINDOW (its main window on the X server).
run_tarv() {
    local exe=$1; shift
    (cd / && exec env "$@" wine "$exe" >"$dir/tarv.log" 2>&1) &
    TARV_PID=$!
    WINE_PIDS+=("$TARV_PID")
    TARV_WINDOW=""
    for _ in $(seq 1 300); do
        TARV_WINDOW=$(xdotool search --onlyvisible --name '^Ovelin Tarv' 2>/dev/null | head -n1 || true)
        [ -n "$TARV_WINDOW" ] && return 0
        sleep 0.1
    done
    return 1
}

# press WINDOW KEYS...: the keys through the X server into WINDOW, as the player types them (Wine
# takes no keys sent to a window directly).
press() {
    local window=$1; shift
    xdotool windowfocus --sync "$window" 2>/dev/null || true
    xdotool key "$@" 2>/dev/null
}

# wait_gone PID: waits up to 20 s for the program to end.
wait_gone() {
    for _ in $(seq 1 200); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
    return 1
}

# ini_keys FILE: the file's sections and keys with their values, one "section/key=value" a line.
ini_keys() {
    python3 - "$1" <<'EOF'
import sys
section = ""
for line in open(sys.argv[1], encoding="latin-1").read().splitlines():
    line = line.strip()
    if line.startswith("["):
        section = line[1:line.index("]")].lower()
    elif "=" in line and not line.startswith(";"):
        key, value = line.split("=", 1)
        print(f"{section}/{key.strip().lower()}={value.strip()}")
EOF
}

# pixel X Y: the colour of the screen's pixel as "#RRGGBB".
pixel() {
    import -display "$DISPLAY" -window root -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null \
        | tail -n1 | grep -o '#[0-9A-F]\{6\}'
}

# The Linux program's fresh settings file, for the comparison of the defaults.
mkdir -p "$dir/linux"
cp "$linux_tarv" "$dir/linux/tarv"
QT_QPA_PLATFORM=offscreen TARV_MIDI_API=loopback TARV_SOUNDFONT=none TARV_SCREENSHOT="$dir/linux/shot.png" \
    "$dir/linux/tarv" >/dev/null 2>&1 || fail "the Linux program did not run"

# 1. The portable program: its window, its settings file beside it with the Linux defaults.
if run_tarv "$portable/tarv.exe" TARV_MIDI_API=loopback; then
    settings=$portable/tarvParameter.ini
    for _ in $(seq 1 50); do [ -f "$settings" ] && break; sleep 0.1; done
    if [ -f "$settings" ]; then
        diff <(ini_keys "$dir/linux/tarvParameter.ini") <(ini_keys "$settings") >"$dir/defaults.diff" \
            || { fail "the fresh settings differ from Linux's:"; cat "$dir/defaults.diff"; }
        grep -q $'\r$' "$settings" || fail "the fresh settings file has no CR LF line ends"
    else
        fail "no tarvParameter.ini beside tarv.exe"
    fi
    [ -z "$(ls "$portable" | grep -v -e '^tarvParameter.ini$' -e '^tarv.exe$' -e '\.dll$' -e '^platforms$' -e '^LICENSE.txt$')" ] \
        || fail "files appeared beside tarv.exe: $(ls "$portable")"

    # A PC key through the X server: Q, the first key of the left octave, marks C4 (note 48) on
    # the drawn keyboard. The key's place: the window's keyboard at (67, 89), 126 pixels an
    # octave from C0 with the view scrolled 252 pixels in, the lower half of the white key.
    eval "$(xdotool getwindowgeometry --shell "$TARV_WINDOW")"
    key_x=$((X + 67 - 252 + 4 * 126 + 9)) key_y=$((Y + 89 + 90))
    before=$(pixel $key_x $key_y)
    xdotool windowfocus --sync "$TARV_WINDOW" 2>/dev/null || true
    xdotool keydown q 2>/dev/null
    held=""
    for _ in $(seq 1 50); do
        held=$(pixel $key_x $key_y)
        [ "$held" != "$before" ] && break
        sleep 0.1
    done
    xdotool keyup q 2>/dev/null
    [ -n "$before" ] && [ "$held" != "$before" ] \
        || fail "the Q key did not mark C4 at ($key_x, $key_y): $before before, $held held"
    for _ in $(seq 1 50); do [ "$(pixel $key_x $key_y)" = "$before" ] && break; sleep 0.1; done
    [ "$(pixel $key_x $key_y)" = "$before" ] || fail "C4 stayed marked after the key came up"

    # Closing the window saves: a key taken out of the file by hand is back afterwards.
    sed -i '/^Volume=/d' "$settings"
    press "$TARV_WINDOW" alt+F4
    wait_gone "$TARV_PID" || fail "alt+F4 did not end the program"
    grep -q '^Volume=' "$settings" || fail "closing the window did not save the settings"
else
    fail "the portable program's window did not show"; cat "$dir/tarv.log"
fi

# 2. With Windows' own MIDI system (Wine lists no device here) the program reports the missing
# output in its error display and goes on; logging off then ends it as closing its window does:
# it saves first.
if run_tarv "$portable/tarv.exe"; then
    box=""
    for _ in $(seq 1 100); do
        box=$(xdotool search --onlyvisible --name '^tarv$' 2>/dev/null | head -n1 || true)
        [ -n "$box" ] && break
        sleep 0.1
    done
    [ -n "$box" ] || fail "no error display for the missing MIDI output"
    [ -n "$box" ] && press "$box" Return
    sleep 1
    kill -0 "$TARV_PID" 2>/dev/null || fail "the program ended after its error display"
    sed -i '/^Volume=/d' "$portable/tarvParameter.ini"
    wineboot --end-session >/dev/null 2>&1 || true
    wait_gone "$TARV_PID" || fail "the end of the session did not end the program"
    grep -q '^Volume=' "$portable/tarvParameter.ini" || fail "the end of the session did not save the settings"
else
    fail "the window did not show with WinMM"; cat "$dir/tarv.log"
fi

# 3. A folder the user cannot write: the settings go to the user's application data instead.
# Root writes everywhere, so this runs as an unprivileged user with a Wine prefix of its own.
locked=$dir/locked
cp -r "$portable" "$locked"
rm -f "$locked/tarvParameter.ini"
user_home=$dir/home
mkdir -p "$user_home"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    chown 65534:65534 "$user_home"
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups env HOME="$user_home")
else
    chmod 555 "$locked"
fi
(
    export WINEPREFIX=$user_home/prefix
    "${as_user[@]}" wineboot -i >/dev/null 2>&1
    (cd / && exec timeout 120 "${as_user[@]}" TARV_MIDI_API=loopback TARV_SCREENSHOT='C:\shot.png' wine "$locked/tarv.exe" \
        >"$dir/locked.log" 2>&1) || true
)
appdata=$(ls -d "$user_home"/prefix/drive_c/users/*/AppData/Local/tarv 2>/dev/null | head -n1)
[ ! -e "$locked/tarvParameter.ini" ] || fail "the settings were written into a folder the user cannot write"
[ -n "$appdata" ] && [ -f "$appdata/tarvParameter.ini" ] \
    || { fail "no tarvParameter.ini in the user's AppData\\Local\\tarv"; cat "$dir/locked.log"; }
chmod 755 "$locked"

# 4. The installer, silent, then its uninstaller.
if [ -f "$setup" ]; then
    wine "$setup" /S >/dev/null 2>&1 || fail "the installer failed"
    installed=$WINEPREFIX/drive_c/Program\ Files/tarv
    [ -f "$installed/tarv.exe" ] || fail "the installer put no tarv.exe into Program Files\\tarv"
    ls "$WINEPREFIX"/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/tarv/*.lnk >/dev/null 2>&1 \
        || ls "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs/tarv/*.lnk \
            >/dev/null 2>&1 || fail "the installer made no Start-menu entry"
    if run_tarv "$installed/tarv.exe" TARV_MIDI_API=loopback; then
        press "$TARV_WINDOW" alt+F4
        wait_gone "$TARV_PID" || fail "the installed program did not end"
    else
        fail "the installed program's window did not show"
    fi
    wine "$installed/Uninstall.exe" /S >/dev/null 2>&1 || fail "the uninstaller failed"
    for _ in $(seq 1 100); do [ -e "$installed/tarv.exe" ] || break; sleep 0.1; done
    [ ! -e "$installed/tarv.exe" ] || fail "the uninstaller left tarv.exe behind"
fi

[ "$failures" -eq 0 ] && echo "The Windows packages run under Wine as a player uses them"
exit $((failures > 0))
