#!/usr/bin/env bash
# Start-up of the real program side by side with a peer, another virtual MIDI keyboard (Debian's
# vmpk, when installed), started alternately on one Xvfb server. For each program it prints the
# medians of: the time from process start until `xdotool search --onlyvisible --name` finds the
# main window, the CPU time used by then, the resident memory 3 s later (VmRSS, and without
# shared memory: the JACK server's graph segment, which every JACK client process maps and,
# when the user may lock that much memory, locks, and X shared memory images) and the CPU time
# over the 10 idle seconds after that; then the ratios tarv / peer, the memory locked in, and
# tarv's own milestones.
#   bench/startup.sh [TARV_EXECUTABLE] [RUNS]     (defaults: build/app/tarv, 3 runs after a warm-up)
# As a user who may lock no more than the usual 8 MiB (no JACK segment locked in):
#   setpriv --reuid=65534 --regid=65534 --clear-groups env HOME=/tmp bench/startup.sh
# Three conditions:
#   - no MIDI system: no JACK server; tarv without its synth (TARV_SOUNDFONT=none), the peer
#     with its default configuration;
#   - JACK server, no synth: a JACK server with the dummy driver (48 kHz, 256 frames) of the
#     benchmark's own and jack_midi_dump as the output of tarv's start-up sending; the peer as
#     above (it has no JACK MIDI);
#   - JACK server, built-in synth: tarv plays through its synth on JACK (TARV_AUDIO_DRIVER=jack),
#     the peer through its FluidSynth output with FluidSynth's JACK driver, both with the same
#     sound font (SOUNDFONT, FluidR3_GM unless set).
# tarv runs from a copy in a temporary folder (its settings file lands there; the warm-up start
# writes the default file, so the start-up sending selects programs 0, 8, ..., 120). The peer
# runs with a configuration folder of its own. Not part of the test suite: timings need a quiet
# machine.
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"
exe=$(realpath "${1:-build/app/tarv}")
runs=${2:-3}
soundfont=${SOUNDFONT:-/usr/share/sounds/sf2/FluidR3_GM.sf2}
for tool in Xvfb xdotool jackd; do
    command -v "$tool" >/dev/null || { echo "$tool is missing" >&2; exit 1; }
done
peer=$(command -v vmpk || true)
[ -n "$peer" ] || echo "The peer (Debian package vmpk) is not installed: tarv is measured alone, no ratios."

work=$(mktemp -d)
XVFB_PID="" jack_pid="" dump_pid=""
cleanup() {
    stop_process "$dump_pid"
    stop_process "$jack_pid"
    stop_process "$XVFB_PID"
    rm -rf "$work"
}
trap cleanup EXIT

start_xvfb "$work"
export DISPLAY=$XVFB_DISPLAY
unset QT_QPA_PLATFORM TARV_MIDI_API TARV_AUDIO_DRIVER TARV_SOUNDFONT
# A JACK server name of the benchmark's own: no other server is met, and without its server
# there is no JACK at all.
export JACK_DEFAULT_SERVER="tarv-bench-$$" JACK_NO_AUDIO_RESERVATION=1
ticks=$(getconf CLK_TCK)

start_jack() {
    jackd --no-realtime -d dummy -r 48000 -p 256 >/dev/null 2>&1 &
    jack_pid=$!
    for _ in $(seq 1 100); do jack_lsp >/dev/null 2>&1 && return 0; sleep 0.05; done
    echo "the JACK server did not start" >&2
    exit 1
}

start_dump() {
    jack_midi_dump >/dev/null 2>&1 &
    dump_pid=$!
    for _ in $(seq 1 100); do jack_lsp | grep -q '^midi-monitor:input' && return 0; sleep 0.05; done
}

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }

# measure NAME_PATTERN COMMAND... -> prints "mapped_ms cpu_to_map_ms rss_kib unshared_kib
# idle_cpu_ms locked_kib", or "failed" when the program ended before its window showed.
measure() {
    local pattern=$1; shift
    local start pid mapped=""
    start=$(date +%s%N)
    "$@" >/dev/null 2>"$work/stderr" &
    pid=$!
    for _ in $(seq 1 3000); do
        if xdotool search --onlyvisible --name "$pattern" >/dev/null 2>&1; then
            mapped=$(date +%s%N)
            break
        fi
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.01
    done
    if [ -z "$mapped" ]; then
        stop_process "$pid"
        echo "$(basename "$1") ended before its window showed: $(tail -n 2 "$work/stderr" | tr '\n' ' ')" >&2
        echo failed
        return
    fi
    local until_mapped rss unshared locked before after
    until_mapped=$(cpu_ticks "$pid")
    sleep 3
    rss=$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)
    unshared=$(awk '/^RssAnon|^RssFile/ {sum += $2} END {print sum + 0}' "/proc/$pid/status" 2>/dev/null || echo 0)
    locked=$(awk '/^VmLck/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)
    before=$(cpu_ticks "$pid")
    sleep 10
    after=$(cpu_ticks "$pid")
    stop_process "$pid"
    echo "$(((mapped - start) / 1000000)) $((until_mapped * 1000 / ticks)) $rss $unshared $(((after - before) * 1000 / ticks)) $locked"
}

# run_tarv CONDITION: one start of tarv; also appends its milestones (ms after process start)
# to $work/milestones.
run_tarv() {
    local log="$work/tarv/startup.log" start
    rm -f "$log"
    start=$(date +%s%3N)
    (
        export TARV_STARTUP_LOG="$log" TARV_SOUNDFONT=none
        if [ "$1" = synth ]; then
            export TARV_SOUNDFONT="$soundfont" TARV_AUDIO_DRIVER=jack
        fi
        measure 'SplitKeyBoard' "$work/tarv/tarv"
    )
    awk -v start="$start" '{ at[$1] = $2 - start }
        END { printf "%d %d %d\n", at["sending-done"], at["window-shown"],
              ("synth-ready" in at) ? at["synth-ready"] - at["window-shown"] : -1 }' "$log" >>"$work/milestones"
}

# run_peer CONDITION: one start of the peer with a fresh configuration folder.
run_peer() {
    local home="$work/peer-home"
    rm -rf "$home" && mkdir -p "$home/vmpk.sourceforge.net"
    if [ "$1" = synth ]; then
        printf '[Connections]\nInEnabled=false\nOutputDriver=FluidSynth\n\n[FluidSynth]\nAudioDriver=jack\nInstrumentsDefinition=%s\n' \
            "$soundfont" >"$home/vmpk.sourceforge.net/VMPK.conf"
    fi
    HOME="$home" XDG_CONFIG_HOME="$home" measure 'Virtual MIDI Piano Keyboard' "$peer"
}

median() { sort -n | awk '{a[NR] = $1} END {print (NR ? a[int((NR + 1) / 2)] : "-")}'; }
column() { awk -v c="$2" '$1 != "failed" {print $c}' "$1" | median; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a ~ /^[0-9.]+$/ && b ~ /^[0-9.]+$/ && b > 0) printf "%.2f", a / b; else printf "-" }'; }

report() {   # report TITLE
    local t=() p=() i
    for i in 1 2 3 4 5; do t+=("$(column "$work/tarv.figures" "$i")"); p+=("$(column "$work/peer.figures" "$i")"); done
    echo "== $1 (medians of $runs runs; failed starts: tarv $(grep -c failed "$work/tarv.figures"), peer $(grep -c failed "$work/peer.figures"))"
    printf '%-8s %14s %18s %16s %18s %16s\n' "" "window mapped" "CPU until mapped" "RSS 3 s later" \
        "without shared" "CPU 10 s idle"
    printf '%-8s %11s ms %15s ms %12s KiB %14s KiB %13s ms\n' tarv "${t[@]}"
    if [ -n "$peer" ]; then
        printf '%-8s %11s ms %15s ms %12s KiB %14s KiB %13s ms\n' peer "${p[@]}"
        printf '%-8s %14s %18s %16s %18s %16s\n' "ratio" "$(ratio "${t[0]}" "${p[0]}")" "$(ratio "${t[1]}" "${p[1]}")" \
            "$(ratio "${t[2]}" "${p[2]}")" "$(ratio "${t[3]}" "${p[3]}")" "$(ratio "${t[4]}" "${p[4]}")"
    fi
    # Memory locked in (part of the RSS): libjack locks the server's graph segment into every
    # client process when the user may lock that much (root, or a raised `ulimit -l`).
    local locked="tarv $(column "$work/tarv.figures" 6) KiB"
    if [ -n "$peer" ]; then locked+=", peer $(column "$work/peer.figures" 6) KiB"; fi
    echo "locked in memory (VmLck, part of the RSS): $locked"
    local ready
    ready=$(column "$work/milestones" 3)
    printf 'tarv: start-up sending done %s ms, window shown %s ms after process start' \
        "$(column "$work/milestones" 1)" "$(column "$work/milestones" 2)"
    if [ "$ready" != "-1" ]; then
        printf '; synth loaded with its programs %s ms after the window showed' "$ready"
    fi
    echo
}

condition() {   # condition TITLE tarv|synth
    mkdir -p "$work/tarv" && rm -f "$work/tarv/"*
    cp "$exe" "$work/tarv/tarv"
    : >"$work/tarv.figures" && : >"$work/peer.figures" && : >"$work/milestones"
    run_tarv "$2" >/dev/null   # warm-up: writes the default settings file
    rm -f "$work/milestones"
    if [ -n "$peer" ]; then run_peer "$2" >/dev/null; fi
    for _ in $(seq 1 "$runs"); do
        run_tarv "$2" >>"$work/tarv.figures"
        if [ -n "$peer" ]; then run_peer "$2" >>"$work/peer.figures"; fi
    done
    report "$1"
}

echo "Start-up side by side: $exe, display $DISPLAY, $(nproc) cores, load: $(uptime | sed 's/.*load average: //')"
if [ -e /dev/snd/seq ]; then echo "Note: an ALSA sequencer exists, so \"no MIDI system\" still has ALSA MIDI."; fi
condition "no MIDI system, no synth" tarv
start_jack
start_dump
condition "JACK server (dummy, 48 kHz, 256 frames), no synth; tarv sends to jack_midi_dump" tarv
stop_process "$dump_pid" && dump_pid=""
condition "JACK server, built-in synth, $(basename "$soundfont")" synth
echo "load afterwards: $(uptime | sed 's/.*load average: //')"
