#!/usr/bin/python3
"""Reads Standard MIDI Files with mido, a reader of their own, and prints what they hold:
per file the line "file FORMAT TICKS_PER_QUARTER TRACKS", the tempo as "tempo MICROSECONDS", then
each channel message as "TRACK TICK HEX-BYTES", its tick counted from the start of the file.
Exit code 1 when a file does not parse."""
import sys

import mido

for path in sys.argv[1:]:
    try:
        midi = mido.MidiFile(path)
    except Exception as e:  # mido raises several kinds for a broken file
        print(f"{path}: {e}", file=sys.stderr)
        sys.exit(1)
    print(f"file {midi.type} {midi.ticks_per_beat} {len(midi.tracks)}")
    for number, track in enumerate(midi.tracks):
        tick = 0
        for message in track:
            tick += message.time
            if message.type == "set_tempo":
                print(f"tempo {message.tempo}")
            elif not message.is_meta:
                print(f"{number} {tick} {bytes(message.bytes()).hex()}")
