// NoteLedger: the notes that a recorded MIDI stream leaves sounding.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace tarv::soak {

struct UnendedNote {
    int channel = 0;   // 0..15
    int note = 0;      // 0..127
    bool operator==(const UnendedNote&) const = default;
};

// Per channel and note, the last Note On (velocity above 0) must be followed by a Note Off or a
// Note On with velocity 0 for that note, or by controller 123 (all notes off) on its channel.
// The messages are whole ones, as JACK delivers them (no running status).
inline std::vector<UnendedNote> unendedNotes(const std::vector<std::vector<std::uint8_t>>& messages)
{
    std::array<std::array<bool, 128>, 16> sounding{};
    for (const std::vector<std::uint8_t>& m : messages) {
        if (m.size() < 3 || m[0] < 0x80 || m[0] >= 0xF0 || m[1] > 127)
            continue;
        const int type = m[0] & 0xF0;
        auto& channel = sounding[m[0] & 0x0F];
        if (type == 0x90)
            channel[m[1]] = m[2] > 0;
        else if (type == 0x80)
            channel[m[1]] = false;
        else if (type == 0xB0 && m[1] == 123)
            channel.fill(false);
    }
    std::vector<UnendedNote> unended;
    for (int c = 0; c < 16; ++c)
        for (int n = 0; n < 128; ++n)
            if (sounding[c][n])
                unended.push_back({c, n});
    return unended;
}

}   // namespace tarv::soak
