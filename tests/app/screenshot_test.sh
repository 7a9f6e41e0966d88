#!/usr/bin/env bash
# Starts the real tarv under a real X server (Xvfb), lets it save a picture of its main
# window and close itself, and checks the picture and the settings file it leaves behind.
#   screenshot_test.sh TARV_EXECUTABLE OUTPUT_PNG
set -euo pipefail
exe=$1 out=$2
command -v xvfb-run >/dev/null || { echo "xvfb-run missing"; exit 77; }

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp "$exe" "$dir/tarv"   # the settings file lands next to the executable

env -u QT_QPA_PLATFORM TARV_MIDI_API=loopback TARV_SOUNDFONT=none TARV_SCREENSHOT="$dir/shot.png" \
    timeout 60 xvfb-run -a -s "-screen 0 1280x800x24" "$dir/tarv"

size=$(identify -format '%wx%h' "$dir/shot.png")
[ "$size" = "894x312" ] || { echo "window picture is $size, expected 894x312"; exit 1; }
colours=$(identify -format '%k' "$dir/shot.png")
[ "$colours" -gt 16 ] || { echo "window picture looks blank ($colours colours)"; exit 1; }
grep -q '^\[kanal15\]' "$dir/tarvParameter.ini" || { echo "no settings file written"; exit 1; }
grep -q '^Programmmodus=0' "$dir/tarvParameter.ini" || { echo "settings not saved on close"; exit 1; }
cp "$dir/shot.png" "$out"
echo "window picture $size with $colours colours saved to $out"
