// The Standard MIDI File writer: variable-length numbers and a whole file, byte for byte.
#include "recording/MidiFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using tarv::smf::appendVariableLength;
using Bytes = std::vector<std::uint8_t>;

// The examples of the file format's own description, and the clamp above four bytes.
TEST(MidiFileTest, VariableLengthNumbersAsTheFormatDescribesThem)
{
    const struct {
        std::uint32_t value;
        Bytes bytes;
    } cases[] = {
        {0x00000000, {0x00}},
        {0x0000007F, {0x7F}},
        {0x00000080, {0x81, 0x00}},
        {0x00002000, {0xC0, 0x00}},
        {0x00003FFF, {0xFF, 0x7F}},
        {0x00004000, {0x81, 0x80, 0x00}},
        {0x001FFFFF, {0xFF, 0xFF, 0x7F}},
        {0x00200000, {0x81, 0x80, 0x80, 0x00}},
        {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
        {0xFFFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const auto& c : cases) {
        Bytes out{0xAA};
        appendVariableLength(out, c.value);
        Bytes expected{0xAA};
        expected.insert(expected.end(), c.bytes.begin(), c.bytes.end());
        EXPECT_EQ(out, expected) << std::hex << c.value;
    }
}

TEST(MidiFileTest, FormatOneWithTheTempoTrackFirstAndEveryMessageWithItsOwnStatus)
{
    const tarv::smf::Track track{"K1",
                                 {{0, 0xC0 | 5 << 8}, {0, 0x90 | 60 << 8 | 100 << 16}, {240, 0x80 | 60 << 8}},
                                 1000};
    const Bytes expected = {
        'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 0x01, 0xE0,   // format 1, two tracks, 480 ticks
        'M', 'T', 'r', 'k', 0, 0, 0, 19,                          //
        0, 0xFF, 0x51, 3, 0x07, 0xA1, 0x20,                       // 500 000 µs a quarter
        0, 0xFF, 0x58, 4, 4, 2, 24, 8,                            // 4/4
        0, 0xFF, 0x2F, 0,                                         //
        'M', 'T', 'r', 'k', 0, 0, 0, 23,                          //
        0, 0xFF, 0x03, 2, 'K', '1',                               // track name
        0, 0xC0, 5,                                               // one data byte
        0, 0x90, 60, 100,                                         //
        0x81, 0x70, 0x80, 60, 0,                                  // 240 ticks later
        0x85, 0x78, 0xFF, 0x2F, 0,                                // ends at 1000 = 240 + 760
    };
    EXPECT_EQ(tarv::smf::writeMidiFile({track}, 480, 500000), expected);
}
