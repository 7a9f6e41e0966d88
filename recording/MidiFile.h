// The Standard MIDI File writer: a format-1 file of a tempo track and tracks of channel messages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarv::smf {

// A channel message at its tick, counted from the start of the file; packed as the MIDI
// service packs it (status in bits 0..7, data 1 in bits 8..15, data 2 in bits 16..23).
struct Event {
    std::uint32_t tick = 0;
    std::uint32_t packed = 0;
};

struct Track {
    std::string name;            // its track name event; none when empty
    std::vector<Event> events;   // in the order they are played, ticks ascending
    std::uint32_t end = 0;       // the tick of its end; never before its last event
};

// The bytes of a format-1 file: first a tempo track (`tempo` microseconds per quarter note, a
// 4/4 time signature), then `tracks` in their order. Every message is written with its own
// status byte (no running status). Pure: any thread.
std::vector<std::uint8_t> writeMidiFile(const std::vector<Track>& tracks, std::uint16_t ticksPerQuarter,
                                        std::uint32_t tempo);

// Appends the file format's variable-length number: 7 bits a byte, most significant first,
// every byte but the last with bit 7 set. Values above 0x0FFFFFFF, the largest of four
// bytes, are written as that largest.
void appendVariableLength(std::vector<std::uint8_t>& out, std::uint32_t value);

}   // namespace tarv::smf
