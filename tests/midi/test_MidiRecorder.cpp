// The record of the channel messages sent: what it keeps, its bounds, and copies taken meanwhile.
#include "midi/MidiRecorder.h"

#include <gtest/gtest.h>

using tarv::TMidiRecorder;

namespace {

constexpr std::uint32_t noteOn(std::uint64_t note)
{
    return 0x90u | std::uint32_t(note % 128) << 8 | 100u << 16;
}

}   // namespace

// The million messages and the two hours both count; what the dropped messages left in force
// stays known. System messages are not kept. A copy taken early keeps its messages while the
// recording goes on past the bound (a save copies them outside the sender's lock).
TEST(TMidiRecorderTest, KeepsTheLastMillionChannelMessagesOfTheLastTwoHours)
{
    TMidiRecorder recorder;
    recorder.Record(0, 0xF8);
    recorder.Record(0, 0xC2 | 40 << 8);
    recorder.Record(0, 0xB2 | 7 << 8 | 90 << 16);
    const std::uint64_t total = TMidiRecorder::MaxMessages + 3000, early = 5000;
    for (std::uint64_t i = 2; i < early; ++i)
        recorder.Record(std::int64_t(i), noteOn(i));
    const TMidiRecorder::Shared shared = recorder.Share(std::int64_t(early));
    for (std::uint64_t i = early; i < total; ++i)
        recorder.Record(std::int64_t(i), noteOn(i));
    tarv::TRecording recording = TMidiRecorder::Copy(recorder.Share(std::int64_t(total)));
    ASSERT_EQ(recording.messages.size(), TMidiRecorder::MaxMessages);
    EXPECT_EQ(recording.first, 3000u);
    EXPECT_EQ(recording.messages.back().packed, noteOn(total - 1));
    EXPECT_EQ(recording.before[2].program, 40);
    EXPECT_EQ(recording.before[2].controllers[7], 90);
    EXPECT_EQ(recording.before[2].controllers[10], -1);

    const tarv::TRecording copied = TMidiRecorder::Copy(shared);
    ASSERT_EQ(copied.messages.size(), early);
    for (std::uint64_t i = 2; i < early; ++i)
        ASSERT_EQ(copied.messages[i].packed, noteOn(i)) << i;

    const std::int64_t later = TMidiRecorder::MaxAge + 500'000;
    recorder.Record(later, noteOn(1));
    recording = TMidiRecorder::Copy(recorder.Share(later));
    EXPECT_EQ(recording.messages.size(), total - 500'000 + 1);
    EXPECT_EQ(recording.messages.front().time, 500'000);
}
