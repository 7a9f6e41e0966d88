#!/usr/bin/env bash
# Input-to-output latency of the real program on JACK, against the floor of a direct connection.
#   bench/midi_latency.sh [BUILD_DIR] [MESSAGES]     (defaults: build, 1000 messages)
# jack_midi_latency_test (jackd2) sends program changes and channel pressure one at a time and
# times each round trip in audio frames:
#   floor:   its output → a client that copies input to output in the same cycle → its input
#   program: its output → an input port opened in tarv → tarv's pass-through → tarv's output → its input
# tarv passes a channel message through on the left and then the right channel; the copy on the
# right channel comes back as an "unexpected message" and is not timed.
# Without a running JACK server the script starts one (dummy driver, 48 kHz, PERIOD frames,
# default 256) and stops it afterwards. It runs in synchronous mode: without realtime
# scheduling a client of the asynchronous server now and then misses a cycle, JACK drops that
# cycle's MIDI and the tool gives up on the lost message. SYNC=0 asks for the asynchronous mode.
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"
build=$(realpath "${1:-build}")
messages=${2:-1000}
period=${PERIOD:-256}
exe="$build/app/tarv"
hub="$build/bench/bench_jack_midi_hub"
for tool in Xvfb jack_midi_latency_test jack_lsp jackd; do
    command -v "$tool" >/dev/null || { echo "$tool is missing" >&2; exit 1; }
done
[ -x "$exe" ] && [ -x "$hub" ] || { echo "build $exe and $hub first" >&2; exit 1; }

work=$(mktemp -d)
jack_pid="" XVFB_PID="" hub_pid="" tarv_pid=""
cleanup() {
    for pid in "$tarv_pid" "$hub_pid" "$XVFB_PID" "$jack_pid"; do stop_process "$pid"; done
    rm -rf "$work"
}
trap cleanup EXIT

wait_for() {   # wait_for SECONDS COMMAND...: until the command succeeds
    local tries=$(($1 * 20)); shift
    for _ in $(seq 1 "$tries"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.05; done
    return 1
}

if ! jack_lsp >/dev/null 2>&1; then
    JACK_NO_AUDIO_RESERVATION=1 jackd --no-realtime $([ "${SYNC:-1}" = 1 ] && echo --sync) -d dummy -r 48000 -p "$period" >"$work/jackd.log" 2>&1 &
    jack_pid=$!
    wait_for 5 jack_lsp || { echo "the JACK server did not start" >&2; exit 1; }
fi

"$hub" bench-hub >"$work/hub.log" 2>&1 &
hub_pid=$!
wait_for 5 grep -q ready "$work/hub.log" || { echo "the hub client did not start" >&2; exit 1; }
# tarv sends to the server's first MIDI input port; it must be the hub's sink.
first_midi_input=$(jack_lsp -p -t | awk '/^[^ \t]/ {port=$0; input=0; next}
    /properties:.*input/ {input=1} /midi/ && input {print port; exit}')
[ "$first_midi_input" = bench-hub:sink ] || {
    echo "another client's MIDI input ($first_midi_input) comes first on the JACK server" >&2; exit 1; }

# run_test OUT_PORT IN_PORT → prints the tool's report into $work/<label>.txt
run_test() {
    local label=$1 to=$2 from=$3
    timeout 300 jack_midi_latency_test -m 2 -s "$messages" -t 5 "$to" "$from" >"$work/$label.txt" 2>&1 || {
        cat "$work/$label.txt" >&2
        echo "jack_midi_latency_test failed ($label)" >&2
        exit 1
    }
}

run_test floor bench-hub:thru_in bench-hub:thru_out

# tarv on JACK, without its own synth: output 0 is the hub's sink (the first MIDI input of the
# server), and the hub's source is opened as input device at start.
start_xvfb "$work"
mkdir "$work/run" && cp "$exe" "$work/run/tarv"
(cd "$work/run" && exec env -u QT_QPA_PLATFORM DISPLAY="$XVFB_DISPLAY" TARV_MIDI_API=jack \
    TARV_SOUNDFONT=none TARV_MIDI_INPUT=bench-hub:source ./tarv >"$work/tarv.log" 2>&1) &
tarv_pid=$!

connected_to() {   # the first port connected to $1 (jack_lsp -c lists them indented below it)
    jack_lsp -c "$1" | awk 'NR > 1 && /^[ \t]/ {gsub(/^[ \t]+/, ""); print; exit}'
}
is_connected() { [ -n "$(connected_to "$1")" ]; }
wait_for 15 is_connected bench-hub:source || { cat "$work/tarv.log" >&2; echo "tarv did not open its input" >&2; exit 1; }
wait_for 15 is_connected bench-hub:sink || { cat "$work/tarv.log" >&2; echo "tarv did not open its output" >&2; exit 1; }
tarv_in=$(connected_to bench-hub:source)
tarv_out=$(connected_to bench-hub:sink)
run_test program "$tarv_in" "$tarv_out"

rate=$(jack_samplerate 2>/dev/null || echo 48000)
frames_per_period=$(jack_bufsize 2>/dev/null | awk '{print $1}' || echo "$period")
# Figures in frames from the tool's report; milliseconds follow from the sample rate (the tool's
# own milliseconds jump with the clock after a cycle overrun).
figure() { awk -F'[()]' -v key="$2" '$0 ~ "^" key {split($2, f, " "); print f[1]}' "$work/$1.txt"; }
xruns() { awk '/^Xruns/ {n=$2} END {print n+0}' "$work/$1.txt"; }
ms() { awk -v f="$1" -v rate="$rate" 'BEGIN {printf "%.2f", f * 1000 / rate}'; }

echo "MIDI round trip on JACK: $messages messages of 2 bytes, ${rate} Hz, ${frames_per_period} frames per period"
for label in floor program; do
    average=$(figure "$label" "Average latency")
    printf '%-8s average %8s frames (%6s ms)   lowest %5s   highest %5s frames   xruns %s\n' "$label" \
        "$average" "$(ms "$average")" "$(figure "$label" "Lowest latency")" "$(figure "$label" "Highest latency")" \
        "$(xruns "$label")"
done
awk -v f="$(figure floor "Average latency")" -v p="$(figure program "Average latency")" \
    -v highest="$(figure program "Highest latency")" -v period="$frames_per_period" -v rate="$rate" 'BEGIN {
    printf "program - floor: %+.1f frames on average (%+.2f ms, %+.2f periods); ratio program/floor %.2f\n",
           p - f, (p - f) * 1000 / rate, (p - f) / period, p / f
    printf "program at most %d frames = %.2f periods (goal: at most the floor + 1 period = %d frames)\n",
           highest, highest / period, f + period
}'
