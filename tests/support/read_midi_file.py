#!/usr/bin/python3
# Reads a Standard MIDI File with mido and prints "file FORMAT TICKS_PER_QUARTER", the tempo as
# "tempo MICROSECONDS", and each channel message, track by track, as "TICK HEX-BYTES" (its tick
# from the start of the file). Exit code 1 when the file does not parse.
import sys

import mido

try:
    midi = mido.MidiFile(sys.argv[1])
except Exception as e:  # mido raises several kinds for a broken file
    sys.exit(f"{sys.argv[1]}: {e}")
print(f"file {midi.type} {midi.ticks_per_beat}")
for track in midi.tracks:
    tick = 0
    for message in track:
        tick += message.time
        if message.type == "set_tempo":
            print(f"tempo {message.tempo}")
        elif not message.is_meta:
            print(f"{tick} {bytes(message.bytes()).hex()}")
