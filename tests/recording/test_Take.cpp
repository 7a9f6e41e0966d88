// A take from a copy of the recording, in the cases the main window's tests cannot arrange.
#include "recording/Take.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

constexpr std::uint32_t message(std::uint32_t status, std::uint32_t data1, std::uint32_t data2 = 0)
{
    return status | data1 << 8 | data2 << 16;
}

// The settings that messages dropped by the bound left, the rounding at half a tick, one key
// sounding twice, a controller sent before the first note, a Note On with velocity 0, and a take that starts after the oldest message kept.
TEST(TakeTest, StartsAtTheFirstNoteSinceTheSaveAndEndsEveryNoteItStarts)
{
    tarv::TRecording recording;
    recording.first = 100;
    recording.saved = 101;
    recording.before[0].program = 3;
    recording.before[0].controllers[1] = 9;   // not among a track's settings
    recording.before[0].controllers[0] = 2;   // bank select, before the program
    const std::int64_t t0 = 5'000'000, second = 1'000'000;
    recording.messages = {
        {0, message(0x90, 50, 100)},   // saved before: its Note Off below is left out
        {10, message(0xB0, 7, 90)},    // in force at the first note
        {t0, message(0x90, 60, 100)},        {t0 + 520, message(0x90, 62, 100)},   // 0.4992 ticks
        {t0 + 521, message(0x90, 62, 90)},                                         // 0.5002 ticks
        {t0 + second, message(0x90, 60, 0)}, {t0 + second, message(0x80, 50)},   {t0 + second, message(0x80, 62)},
    };
    recording.now = t0 + 2 * second;

    const std::optional<tarv::TTake> take = tarv::makeTake(recording);
    ASSERT_TRUE(take);
    ASSERT_EQ(take->tracks.size(), 1u);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> events;   // tick, message
    for (const tarv::smf::Event& e : take->tracks[0].events)
        events.emplace_back(e.tick, e.packed);
    EXPECT_EQ(events,
              (decltype(events){{0, message(0xB0, 0, 2)},
                                {0, message(0xC0, 3)},
                                {0, message(0xB0, 7, 90)},
                                {0, message(0x90, 60, 100)},
                                {0, message(0x90, 62, 100)},
                                {1, message(0x90, 62, 90)},
                                {960, message(0x90, 60, 0)},
                                {960, message(0x80, 62)},
                                {1920, message(0x80, 62)}}));   // still held at the copy
    EXPECT_EQ(take->notes, 3);
    EXPECT_EQ(take->end, 108u);
    recording.saved = take->end;
    EXPECT_FALSE(tarv::makeTake(recording));   // nothing played since
}
