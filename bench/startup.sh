#!/usr/bin/env bash
# Start-up of the real program side by side with a peer, another virtual MIDI keyboard (Debian's
# vmpk, when installed), started alternately on one Xvfb server, and the floor: an empty Qt
# window of the main window's size and title (bench_empty_window, built beside the benchmark),
# what Qt itself needs to show a window here. For each program it prints the medians of: the
# time from process start until `xdotool search --onlyvisible --name` finds the main window,
# the CPU time used by then, the memory 3 s later (VmRSS, and the proportional set size Pss of
# /proc/PID/smaps_rollup, which counts a shared page by each process's share of it, so that the
# JACK server's graph segment that every JACK client maps weighs the same in both programs)
# and the CPU time over the 10 idle seconds after that; then the ratios tarv / peer and tarv /
# floor, how many runs had tarv's window at most half the peer's time, the memory locked in,
# the shared libraries mapped, and tarv's own milestones.
#   bench/startup.sh [TARV_EXECUTABLE] [RUNS]     (defaults: build/app/tarv, 5 runs after a warm-up)
#   CONDITIONS="nomidi jack synth" (the default) chooses the conditions, in this order.
# As a user who may lock no more than the usual 8 MiB (no JACK segment locked in):
#   setpriv --reuid=65534 --regid=65534 --clear-groups env HOME=/tmp bench/startup.sh
# Each condition is measured as a first start (each start of tarv in a new folder, without a
# settings file; the peer without its configuration) and as a later start (both with the files
# that the warm-up start wrote):
#   - nomidi, no MIDI system: no JACK server; tarv without its synth (TARV_SOUNDFONT=none), the
#     peer with its default configuration; the floor beside them;
#   - jack, JACK server, no synth: a JACK server with the dummy driver (48 kHz, 256 frames) of
#     the benchmark's own and jack_midi_dump as the output of tarv's start-up sending; the peer
#     as above (it has no JACK MIDI);
#   - synth, JACK server, built-in synth: tarv plays through its synth on JACK
#     (TARV_AUDIO_DRIVER=jack), the peer through its FluidSynth output with FluidSynth's JACK
#     driver (the only configuration it gets on a first start), both with the same sound font
#     (SOUNDFONT, FluidR3_GM unless set).
# A desktop session has a session bus: the benchmark starts one of its own (dbus-daemon) for all
# the programs. Without one, Qt's accessibility bridge, made when a window's first control gets
# its text, tries to start a bus (a fork of the program) and waits for it; NO_SESSION_BUS=1
# measures that case.
# tarv runs from a copy in a temporary folder, with its synthesizer module (tarv-synth.so from
# the executable's folder) beside it; its settings file lands there (a default file makes the
# start-up sending select programs 0, 8, ..., 120). Not part of the test suite: timings need a
# quiet machine.
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"
exe=$(realpath "${1:-build/app/tarv}")
runs=${2:-5}
conditions=${CONDITIONS:-nomidi jack synth}
soundfont=${SOUNDFONT:-/usr/share/sounds/sf2/FluidR3_GM.sf2}
module=$(dirname "$exe")/tarv-synth.so
floor=$(dirname "$exe")/../bench/bench_empty_window
# The peer is installed with the tools, so that a new machine measures side by side;
# NO_PEER=1 measures tarv alone.
install_missing xdotool dbus-daemon $([ "${NO_PEER:-0}" = 1 ] || echo vmpk)
for tool in Xvfb xdotool jackd dbus-daemon; do
    command -v "$tool" >/dev/null || { echo "$tool is missing" >&2; exit 1; }
done
peer=""
[ "${NO_PEER:-0}" = 1 ] || peer=$(command -v vmpk || true)
[ -n "$peer" ] || echo "No peer (Debian package vmpk): tarv is measured alone, no ratios."
[ -x "$floor" ] || { echo "No floor: $floor is missing (cmake --build build --target bench_empty_window)."; floor=""; }
[ -f "$module" ] || echo "No synthesizer module beside $exe: tarv starts without its synth."

work=$(mktemp -d)
XVFB_PID="" jack_pid="" dump_pid="" bus_pid=""
cleanup() {
    stop_process "$dump_pid"
    stop_process "$jack_pid"
    stop_process "$bus_pid"
    stop_process "$XVFB_PID"
    rm -rf "$work"
}
trap cleanup EXIT

start_xvfb "$work"
export DISPLAY=$XVFB_DISPLAY
if [ "${NO_SESSION_BUS:-0}" = 1 ]; then
    unset DBUS_SESSION_BUS_ADDRESS
    session_bus="none"
else
    dbus-daemon --session --fork --print-address=3 --print-pid=4 3>"$work/bus.address" 4>"$work/bus.pid" 2>/dev/null
    DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$work/bus.address")
    export DBUS_SESSION_BUS_ADDRESS
    bus_pid=$(head -n 1 "$work/bus.pid")
    session_bus="a session bus of its own"
fi
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
status_kib() { awk -v f="$2:" '$1 == f {print $2}' "/proc/$1/status" 2>/dev/null || echo 0; }

# measure [--quick] NAME_PATTERN COMMAND... -> prints "mapped_ms cpu_to_map_ms rss_kib pss_kib
# idle_cpu_ms locked_kib libraries fluidsynth", or "failed" when the program ended before its
# window showed. --quick: only the time until mapped (the floor).
measure() {
    local quick=""
    if [ "$1" = --quick ]; then quick=1; shift; fi
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
    local until_mapped rss pss locked libraries fluidsynth before after
    until_mapped=$(cpu_ticks "$pid")
    if [ -n "$quick" ]; then
        stop_process "$pid"
        echo "$(((mapped - start) / 1000000)) $((until_mapped * 1000 / ticks)) 0 0 0 0 0 0"
        return
    fi
    sleep 3
    rss=$(status_kib "$pid" VmRSS)
    pss=$(awk '$1 == "Pss:" {print $2}' "/proc/$pid/smaps_rollup" 2>/dev/null || echo 0)
    locked=$(status_kib "$pid" VmLck)
    libraries=$(awk '$6 ~ /\.so/ {print $6}' "/proc/$pid/maps" 2>/dev/null | sort -u | wc -l)
    fluidsynth=$(grep -c 'libfluidsynth' "/proc/$pid/maps" 2>/dev/null || true)
    before=$(cpu_ticks "$pid")
    sleep 10
    after=$(cpu_ticks "$pid")
    stop_process "$pid"
    echo "$(((mapped - start) / 1000000)) $((until_mapped * 1000 / ticks)) $rss $pss" \
        "$(((after - before) * 1000 / ticks)) $locked $libraries ${fluidsynth:-0}"
}

# run_tarv CONDITION FOLDER: one start of the copy of tarv in FOLDER; also appends its
# milestones (ms after process start) to $work/milestones.
run_tarv() {
    local log="$2/startup.log" start
    rm -f "$log"
    start=$(date +%s%3N)
    (
        export TARV_STARTUP_LOG="$log" TARV_SOUNDFONT=none
        if [ "$1" = synth ]; then
            export TARV_SOUNDFONT="$soundfont" TARV_AUDIO_DRIVER=jack
        fi
        measure 'SplitKeyBoard' "$2/tarv"
    )
    awk -v start="$start" '{ at[$1] = $2 - start }
        END { printf "%d %d %d\n", at["sending-done"], at["window-shown"],
              ("synth-ready" in at) ? at["synth-ready"] - at["window-shown"] : -1 }' "$log" >>"$work/milestones"
}

# A new folder with a copy of tarv and its module, as unpacked for a portable use.
new_tarv_folder() {
    local folder
    folder=$(mktemp -d "$work/tarv.XXXXXX")
    cp "$exe" "$folder/tarv"
    if [ -f "$module" ]; then cp "$module" "$folder/"; fi
    echo "$folder"
}

# run_peer CONDITION HOME: one start of the peer with the configuration folder HOME (written
# anew when missing: for the synth, only what chooses its FluidSynth output on JACK).
run_peer() {
    local home=$2
    if [ ! -d "$home" ]; then
        mkdir -p "$home/vmpk.sourceforge.net"
        if [ "$1" = synth ]; then
            printf '[Connections]\nInEnabled=false\nOutputDriver=FluidSynth\n\n[FluidSynth]\nAudioDriver=jack\nInstrumentsDefinition=%s\n' \
                "$soundfont" >"$home/vmpk.sourceforge.net/VMPK.conf"
        fi
    fi
    HOME="$home" XDG_CONFIG_HOME="$home" measure 'Virtual MIDI Piano Keyboard' "$peer"
}

run_floor() {
    measure --quick 'SplitKeyBoard' "$floor" "$floor_width" "$floor_height" "$floor_title"
}

median() { sort -n | awk '{a[NR] = $1} END {print (NR ? a[int((NR + 1) / 2)] : "-")}'; }
column() { awk -v c="$2" '$1 != "failed" {print $c}' "$1" | median; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a ~ /^[0-9.]+$/ && b ~ /^[0-9.]+$/ && b > 0) printf "%.2f", a / b; else printf "-" }'; }
mib() { awk -v k="$1" 'BEGIN { if (k ~ /^[0-9.]+$/) printf "%.1f", k / 1024; else printf "-" }'; }

report() {   # report TITLE
    local t=() p=() i
    for i in 1 2 3 4 5; do t+=("$(column "$work/tarv.figures" "$i")"); p+=("$(column "$work/peer.figures" "$i")"); done
    echo "== $1 (medians of $runs runs; failed starts: tarv $(grep -c failed "$work/tarv.figures"), peer $(grep -c failed "$work/peer.figures"))"
    printf '%-8s %14s %18s %16s %16s %16s\n' "" "window mapped" "CPU until mapped" "VmRSS 3 s later" \
        "Pss 3 s later" "CPU 10 s idle"
    printf '%-8s %11s ms %15s ms %12s MiB %12s MiB %13s ms\n' tarv "${t[0]}" "${t[1]}" "$(mib "${t[2]}")" \
        "$(mib "${t[3]}")" "${t[4]}"
    if [ -n "$peer" ]; then
        printf '%-8s %11s ms %15s ms %12s MiB %12s MiB %13s ms\n' peer "${p[0]}" "${p[1]}" "$(mib "${p[2]}")" \
            "$(mib "${p[3]}")" "${p[4]}"
        printf '%-8s %14s %18s %16s %16s %16s\n' "ratio" "$(ratio "${t[0]}" "${p[0]}")" "$(ratio "${t[1]}" "${p[1]}")" \
            "$(ratio "${t[2]}" "${p[2]}")" "$(ratio "${t[3]}" "${p[3]}")" "$(ratio "${t[4]}" "${p[4]}")"
        # Start i of tarv and start i of the peer ran one after the other.
        local pairs
        pairs=$(paste -d ' ' <(cut -d ' ' -f 1 "$work/tarv.figures") <(cut -d ' ' -f 1 "$work/peer.figures") |
            awk '$1 != "failed" && $2 != "failed" && $2 > 0 { r = $1 / $2; list = list sprintf(" %.2f", r);
                   n++; if (r <= 0.5) half++ } END { printf "%d of %d runs at most 0.5 (ratios:%s)", half, n, list }')
        echo "window mapped, tarv / peer per run: $pairs"
    fi
    if [ -s "$work/floor.figures" ]; then
        local f
        f=$(column "$work/floor.figures" 1)
        echo "floor (an empty Qt window, ${floor_width}x$floor_height): window mapped $f ms; tarv / floor $(ratio "${t[0]}" "$f")"
    fi
    # Memory locked in (part of the RSS): libjack locks the server's graph segment into every
    # client process when the user may lock that much (root, or a raised `ulimit -l`).
    local locked="tarv $(column "$work/tarv.figures" 6) KiB"
    if [ -n "$peer" ]; then locked+=", peer $(column "$work/peer.figures" 6) KiB"; fi
    echo "locked in memory (VmLck, part of the RSS): $locked"
    local fluid="no"
    [ "$(column "$work/tarv.figures" 8)" != 0 ] && fluid="yes"
    echo "shared libraries mapped: tarv $(column "$work/tarv.figures" 7) (libfluidsynth among them: $fluid)$(
        [ -n "$peer" ] && echo ", peer $(column "$work/peer.figures" 7)")"
    local ready
    ready=$(column "$work/milestones" 3)
    printf 'tarv: start-up sending done %s ms, window shown %s ms after process start' \
        "$(column "$work/milestones" 1)" "$(column "$work/milestones" 2)"
    if [ "$ready" != "-1" ]; then
        printf '; synth loaded with its programs %s ms after the window showed' "$ready"
    fi
    echo
}

# condition nomidi|jack|synth first|later TITLE
condition() {
    local kind=$1 mode=$2 title=$3 folder="" home="$work/peer-home"
    : >"$work/tarv.figures" && : >"$work/peer.figures" && : >"$work/floor.figures" && : >"$work/milestones"
    rm -rf "$home" "$work"/tarv.*/
    local tarv_kind=tarv
    [ "$kind" = synth ] && tarv_kind=synth
    # The warm-up: in a later start it writes the settings file and the peer's configuration.
    folder=$(new_tarv_folder)
    run_tarv "$tarv_kind" "$folder" >/dev/null
    if [ -n "$peer" ]; then run_peer "$kind" "$home" >/dev/null; fi
    : >"$work/milestones"
    for _ in $(seq 1 "$runs"); do
        if [ "$mode" = first ]; then
            rm -rf "$folder" "$home"
            folder=$(new_tarv_folder)
        fi
        run_tarv "$tarv_kind" "$folder" >>"$work/tarv.figures"
        if [ -n "$peer" ]; then run_peer "$kind" "$home" >>"$work/peer.figures"; fi
        if [ "$kind" = nomidi ] && [ -n "$floor" ]; then run_floor >>"$work/floor.figures"; fi
    done
    report "$title"
}

# The floor's window has the main window's size and title.
floor_window() {
    local folder pid id
    folder=$(new_tarv_folder)
    TARV_SOUNDFONT=none "$folder/tarv" >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 1 1000); do
        id=$(xdotool search --onlyvisible --name SplitKeyBoard 2>/dev/null | head -n 1) && [ -n "$id" ] && break
        sleep 0.01
    done
    floor_title=$(xdotool getwindowname "$id")
    read -r floor_width floor_height < <(xdotool getwindowgeometry "$id" | awk '/Geometry/ {sub("x", " ", $2); print $2}')
    stop_process "$pid"
    rm -rf "$folder"
}

echo "Start-up side by side: $exe, display $DISPLAY, $session_bus, $(nproc) cores, load: $(uptime | sed 's/.*load average: //')"
if [ -e /dev/snd/seq ]; then echo "Note: an ALSA sequencer exists, so \"no MIDI system\" still has ALSA MIDI."; fi
if [ -n "$floor" ]; then floor_window; fi
first="first start (no settings file; the peer without its configuration)"
later="later start (both with the files of the start before)"
for c in $conditions; do
    case $c in
        nomidi)
            condition nomidi first "no MIDI system, no synth, $first"
            condition nomidi later "no MIDI system, no synth, $later"
            ;;
        jack)
            [ -n "$jack_pid" ] || start_jack
            start_dump
            condition jack later "JACK server (dummy, 48 kHz, 256 frames), no synth; tarv sends to jack_midi_dump; $later"
            stop_process "$dump_pid" && dump_pid=""
            ;;
        synth)
            [ -n "$jack_pid" ] || start_jack
            condition synth first "JACK server, built-in synth, $(basename "$soundfont"), $first"
            condition synth later "JACK server, built-in synth, $(basename "$soundfont"), $later"
            ;;
    esac
done
echo "load afterwards: $(uptime | sed 's/.*load average: //')"
