// What the synthesizer plays at once, queues or drops while it loads or reads a preset.
#include "PendingMessages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tarv;

namespace {

constexpr auto Play = Placement::PlayNow;
constexpr auto Queue = Placement::Queued;
constexpr auto Drop = Placement::Dropped;

SynthMessage shortMessage(int status, int data1 = 0, int data2 = 0)
{
    return {std::uint32_t(status | data1 << 8 | data2 << 16), {}};
}

const SynthMessage SysEx{0, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}};   // GM System On

struct Step {
    SynthMessage message;
    Placement expected;
    int popBefore = 0;   // messages the loading thread plays off the head before this one
};

struct Case {
    std::string name;
    bool loaded;
    std::vector<Step> steps;
    std::vector<SynthMessage> queuedAfter;
    std::size_t limit = 8;
};

// Presets in memory: program 0 (the default) and program 40, on every channel.
bool inMemory(int, int program)
{
    return program == 0 || program == 40;
}

class PendingMessagesTable : public ::testing::TestWithParam<Case> {};

TEST_P(PendingMessagesTable, PlacesEachMessageAndKeepsTheQueueInOrder)
{
    const Case& c = GetParam();
    PendingMessages pending(c.limit);
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
        for (int n = 0; n < c.steps[i].popBefore; ++n)
            pending.popFront();
        EXPECT_EQ(pending.place(c.steps[i].message, c.loaded, inMemory), c.steps[i].expected) << "step " << i;
    }
    std::vector<SynthMessage> queued;
    for (; !pending.empty(); pending.popFront())
        queued.push_back(pending.front());
    EXPECT_EQ(queued, c.queuedAfter);
}

// clang-format off
const SynthMessage NoteOn0 = shortMessage(0x90, 60, 100), NoteOff0 = shortMessage(0x80, 60),
                   KeyPressure0 = shortMessage(0xA0, 60, 10), Volume0 = shortMessage(0xB0, 7, 90),
                   Bank0 = shortMessage(0xB0, 0, 1), BankLsb0 = shortMessage(0xB0, 32, 1),
                   Program0To5 = shortMessage(0xC0, 5), Program0To40 = shortMessage(0xC0, 40),
                   Program1To5 = shortMessage(0xC1, 5), Program1To40 = shortMessage(0xC1, 40),
                   NoteOn1 = shortMessage(0x91, 64, 100), Bend0 = shortMessage(0xE0, 0, 64),
                   Clock = shortMessage(0xF8), SystemReset = shortMessage(0xFF);

INSTANTIATE_TEST_SUITE_P(
    Cases, PendingMessagesTable,
    ::testing::Values(
        Case{"WhileLoadingNotesAreDroppedAndEverythingElseWaitsInOrder",
             false,
             {{NoteOn0, Drop}, {Program0To5, Queue}, {NoteOff0, Drop}, {KeyPressure0, Drop}, {Volume0, Queue},
              {SysEx, Queue}, {Clock, Queue}, {Program1To40, Queue}},
             {Program0To5, Volume0, SysEx, Clock, Program1To40}},
        Case{"WhileLoadingWhatOverflowsTheLimitIsDropped",
             false,
             {{Program0To5, Queue}, {Volume0, Queue}, {Bend0, Drop}, {Bend0, Queue, 1}},
             {Volume0, Bend0},
             2},
        Case{"AProgramChangeWaitsOnlyForAPresetNotInMemory",
             true,
             {{Program0To40, Play}, {Program0To5, Queue}, {NoteOn0, Play}, {Volume0, Play}, {Bend0, Play},
              {Program1To40, Play}, {NoteOn1, Play}},
             {Program0To5}},
        Case{"BankSelectsAndProgramChangesOfAWaitingChannelStayBehindIt",
             true,
             {{Program0To5, Queue}, {Bank0, Queue}, {BankLsb0, Queue}, {Program0To40, Queue}, {Program1To40, Play}},
             {Program0To5, Bank0, BankLsb0, Program0To40}},
        Case{"OnceTheChannelsQueueIsPlayedItsMessagesPlayAtOnceAgain",
             true,
             {{Program0To5, Queue}, {Bank0, Queue}, {Program0To40, Play, 2}, {Bank0, Play}},
             {}},
        Case{"ResetsWaitForWhatWaitsAndEverythingWaitsForThemAndWithNothingWaitingTheyPlayAtOnce",
             true,
             {{Program0To5, Queue}, {SysEx, Queue}, {NoteOn1, Queue}, {Program1To40, Queue}, {SystemReset, Queue},
              {NoteOn1, Play, 5}, {SysEx, Play}, {SystemReset, Play}, {Program1To40, Play}},
             {}},
        Case{"AfterLoadingWhatMustWaitIsDroppedWhenTheQueueIsFull",
             true,
             {{Program0To5, Queue}, {Program1To5, Drop}, {NoteOn0, Play}},
             {Program0To5},
             1}),
    [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });
// clang-format on

}   // namespace
