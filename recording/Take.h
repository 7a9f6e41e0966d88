// A take: what one save puts into its file, made from a copy of the recording.
#pragma once

#include "MidiFile.h"
#include "midi/MidiRecorder.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tarv {

// 120 beats per minute at 480 ticks per quarter note: 960 ticks a second.
inline constexpr std::uint16_t TakeTicksPerQuarter = 480;
inline constexpr std::uint32_t TakeTempo = 500000;   // microseconds per quarter note

struct TTake {
    std::vector<smf::Track> tracks;   // the channel tracks of its file, by channel
    int notes = 0;                    // the Note Ons in it
    std::int64_t length = 0;          // microseconds from its first note to its end
    std::uint64_t end = 0;            // index of the first message it leaves to the next take

    // The Standard MIDI File, format 1, with the tempo track first.
    std::vector<std::uint8_t> file() const { return smf::writeMidiFile(tracks, TakeTicksPerQuarter, TakeTempo); }
};

// What was played since the last save (recording.saved), from its first Note On, each channel
// on a track of its own ("Kanal 1" .. "Kanal 16") after the tempo track. Each track starts with
// the channel's settings in force at the first note (program, controllers 7, 10, 64, 91, 93, as
// far as they were ever sent), then its messages at their times, rounded to the nearest tick.
// A Note Off whose Note On is not in the take is left out; a note still held when the copy was
// taken ends then. Nothing when no note was played since the last save. Pure: any thread.
std::optional<TTake> makeTake(const TRecording& recording);

}   // namespace tarv
