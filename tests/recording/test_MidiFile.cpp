// The Standard MIDI File writer's numbers; the files themselves are read back by mido in the
// main window's tests.
#include "recording/MidiFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// The examples of the format's own description (a take of two hours needs four bytes), and the
// clamp above four bytes.
TEST(MidiFileTest, VariableLengthNumbersAsTheFormatDescribesThem)
{
    const std::pair<std::uint32_t, Bytes> cases[] = {
        {0x00, {0x00}},
        {0x7F, {0x7F}},
        {0x80, {0x81, 0x00}},
        {0x3FFF, {0xFF, 0x7F}},
        {0x4000, {0x81, 0x80, 0x00}},
        {0x1FFFFF, {0xFF, 0xFF, 0x7F}},
        {0x200000, {0x81, 0x80, 0x80, 0x00}},
        {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
        {0xFFFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const auto& [value, bytes] : cases) {
        Bytes out;
        tarv::smf::appendVariableLength(out, value);
        EXPECT_EQ(out, bytes) << std::hex << value;
    }
}
