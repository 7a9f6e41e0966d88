// A take from a copy of the recording: where it starts, what each track starts with, how its notes end.
#include "recording/Take.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using tarv::RecordedMessage;
using tarv::TRecording;
using Events = std::vector<std::pair<std::uint32_t, std::uint32_t>>;   // tick, packed

namespace {

constexpr std::int64_t Second = 1'000'000;   // microseconds

constexpr std::uint32_t message(std::uint32_t status, std::uint32_t data1, std::uint32_t data2 = 0)
{
    return status | data1 << 8 | data2 << 16;
}

Events events(const tarv::smf::Track& track)
{
    Events out;
    for (const tarv::smf::Event& e : track.events)
        out.emplace_back(e.tick, e.packed);
    return out;
}

}   // namespace

TEST(TakeTest, StartsAtTheFirstNoteWithEachChannelsSettingsInForceThenAndRoundsToTheNearestTick)
{
    TRecording recording;
    recording.before[0].program = 3;
    recording.before[0].controllers[7] = 100;
    recording.before[0].controllers[1] = 9;   // not among a track's settings
    const std::int64_t t0 = 5 * Second;
    recording.messages = {
        {0, message(0xC0, 4)},
        {1 * Second, message(0xB0, 10, 20)},
        {t0, message(0x90, 60, 100)},
        {t0 + 520, message(0x90, 62, 100)},   // 0.4992 ticks
        {t0 + 521, message(0x90, 64, 100)},   // 0.5002 ticks
        {t0 + Second / 2, message(0x80, 60)},
        {t0 + Second, message(0xB1, 7, 80)},
        {t0 + Second, message(0x90, 64, 0)},   // velocity 0 ends the note
        {t0 + Second, message(0x80, 62)},
    };
    recording.now = 20 * Second;

    const std::optional<tarv::TTake> take = tarv::makeTake(recording);
    ASSERT_TRUE(take);
    ASSERT_EQ(take->tracks.size(), 2u);
    EXPECT_EQ(take->tracks[0].name, "Kanal 1");
    EXPECT_EQ(events(take->tracks[0]), (Events{{0, message(0xC0, 4)},
                                               {0, message(0xB0, 7, 100)},
                                               {0, message(0xB0, 10, 20)},
                                               {0, message(0x90, 60, 100)},
                                               {0, message(0x90, 62, 100)},
                                               {1, message(0x90, 64, 100)},
                                               {480, message(0x80, 60)},
                                               {960, message(0x90, 64, 0)},
                                               {960, message(0x80, 62)}}));
    EXPECT_EQ(take->tracks[1].name, "Kanal 2");
    EXPECT_EQ(events(take->tracks[1]), (Events{{960, message(0xB1, 7, 80)}}));
    EXPECT_EQ(take->tracks[0].end, 960u);
    EXPECT_EQ(take->notes, 3);
    EXPECT_EQ(take->length, Second);
    EXPECT_EQ(take->end, recording.messages.size());
}

// The notes held at the last save ended in its file; those held now end in this one, at the
// time of the copy, once for each Note On still sounding.
TEST(TakeTest, NotesEndWithinTheTakeTheyStartedIn)
{
    TRecording recording;
    recording.first = 100;   // the older messages are gone
    recording.saved = 102;
    recording.messages = {
        {0, message(0x90, 60, 100)},
        {0, message(0x90, 62, 100)},
        {1 * Second, message(0x80, 60)},
        {2 * Second, message(0x90, 64, 100)},
        {2 * Second, message(0x90, 64, 90)},   // the same key from a second source
        {3 * Second, message(0x80, 62)},
        {3 * Second, message(0x80, 64)},
    };
    recording.now = 4 * Second;

    const std::optional<tarv::TTake> take = tarv::makeTake(recording);
    ASSERT_TRUE(take);
    ASSERT_EQ(take->tracks.size(), 1u);
    EXPECT_EQ(events(take->tracks[0]), (Events{{0, message(0x90, 64, 100)},
                                               {0, message(0x90, 64, 90)},
                                               {960, message(0x80, 64)},
                                               {1920, message(0x80, 64)}}));
    EXPECT_EQ(take->end, 107u);

    recording.saved = take->end;
    EXPECT_FALSE(tarv::makeTake(recording));   // nothing played since
}
