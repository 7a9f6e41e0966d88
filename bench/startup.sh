#!/usr/bin/env bash
# Start-up figures of the real program under Xvfb: time from process start to the start-up
# sending done and to the main window shown, and the resident memory once the window shows,
# with the built-in synth (a GM sound font found in the usual places) and without it.
#   bench/startup.sh [TARV_EXECUTABLE] [RUNS]     (defaults: build/app/tarv, 5 runs)
# The program writes its milestones to TARV_STARTUP_LOG; TARV_SCREENSHOT makes it close itself
# 1.5 s after the window shows. With a JACK server running, the MIDI goes out on JACK to
# jack_midi_dump (the first MIDI input, so the program opens it as output 0), otherwise on the
# loopback service. Without an output the program would wait in its error box.
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"
exe=$(realpath "${1:-build/app/tarv}")
runs=${2:-5}
command -v Xvfb >/dev/null || { echo "Xvfb is missing" >&2; exit 1; }

work=$(mktemp -d)
XVFB_PID="" dump_pid=""
cleanup() {
    stop_process "$XVFB_PID"
    stop_process "$dump_pid"
    rm -rf "$work"
}
trap cleanup EXIT

start_xvfb "$work"
display=$XVFB_DISPLAY

api=loopback
if jack_lsp >/dev/null 2>&1 && command -v jack_midi_dump >/dev/null; then
    api=jack
    jack_midi_dump >/dev/null 2>&1 &
    dump_pid=$!
    for _ in $(seq 1 100); do jack_lsp | grep -q '^midi-monitor:input' && break; sleep 0.05; done
fi

# run_once SOUNDFONT -> prints "sending_ms window_ms rss_kib"
run_once() {
    local soundfont=$1 dir="$work/run" log="$work/run/startup.log"
    rm -f "$log" "$dir/shot.png"
    local start
    start=$(date +%s%3N)
    env -u QT_QPA_PLATFORM DISPLAY="$display" TARV_MIDI_API=$api TARV_SOUNDFONT="$soundfont" \
        TARV_STARTUP_LOG="$log" TARV_SCREENSHOT="$dir/shot.png" timeout 30 "$dir/tarv" >/dev/null 2>&1 &
    local pid=$! rss=0
    for _ in $(seq 1 600); do grep -q '^window-shown' "$log" 2>/dev/null && break; sleep 0.01; done
    sleep 1   # settled: the window drawn, the synth's audio running
    local child
    child=$(pgrep -P "$pid" -n || echo "$pid")   # tarv itself, not the timeout around it
    rss=$(awk '/^VmRSS/ {print $2}' "/proc/$child/status" 2>/dev/null || echo 0)
    wait "$pid" || true
    local sending window
    sending=$(awk '/^sending-done/ {print $2}' "$log")
    window=$(awk '/^window-shown/ {print $2}' "$log")
    echo "$((sending - start)) $((window - start)) $rss"
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

echo "tarv start-up: $exe, MIDI on $api, display $display, $runs runs each (median)"
for variant in without with; do
    mkdir -p "$work/run" && rm -f "$work/run/"*
    cp "$exe" "$work/run/tarv"   # the settings file lands next to the copy
    soundfont=none
    [ "$variant" = with ] && soundfont=""
    run_once "$soundfont" >/dev/null   # the first start writes the fresh settings file
    : >"$work/figures"
    for _ in $(seq 1 "$runs"); do run_once "$soundfont" >>"$work/figures"; done
    printf '%-20s sending done %5s ms   window shown %5s ms   RSS %6s KiB\n' \
        "$variant built-in synth" \
        "$(cut -d' ' -f1 "$work/figures" | median)" \
        "$(cut -d' ' -f2 "$work/figures" | median)" \
        "$(cut -d' ' -f3 "$work/figures" | median)"
done
