// The record of the channel messages sent: what it keeps, its bounds, and copies taken meanwhile.
#include "LoopbackFixture.h"

#include "midi/MidiRecorder.h"

using tarv::TMidiRecorder;

namespace {

constexpr std::uint32_t programChange(int channel, int program)
{
    return std::uint32_t(0xC0 | channel) | std::uint32_t(program) << 8;
}
constexpr std::uint32_t noteOn(int note)
{
    return 0x90u | std::uint32_t(note) << 8 | 100u << 16;
}

tarv::TRecording copy(const TMidiRecorder& recorder, std::int64_t now)
{
    return TMidiRecorder::Copy(recorder.Share(now));
}

}   // namespace

using TMidiOutputRecordingTest = LoopbackFixture;

TEST_F(TMidiOutputRecordingTest, KeepsEveryChannelMessageSentOnceAsItLeftButNoSystemMessage)
{
    loop->failSend("Synth B", "Gerät antwortet nicht");
    const std::int64_t before = tarv::ProgramTime();
    MidiOutput().Send(0, 0x90, 60, 100);
    MidiOutput().Send(0, 0xF8, 0, 0);
    EXPECT_ANY_THROW(MidiOutput().Send(1, 0x91, 61, 100));   // never on the wire
    MidiOutput().Send(2, 0xC3, 5, 0);
    const tarv::TRecording recording = MidiOutput().Recording();

    ASSERT_EQ(recording.messages.size(), 2u);
    EXPECT_EQ(recording.messages[0].packed, noteOn(60));
    EXPECT_EQ(recording.messages[1].packed, programChange(3, 5));
    EXPECT_GE(recording.messages[0].time, before);
    EXPECT_LE(recording.messages[1].time, recording.now);
    EXPECT_EQ(recording.first, 0u);
    EXPECT_EQ(recording.saved, 0u);
    MidiOutput().MarkRecordingSaved(2);
    EXPECT_EQ(MidiOutput().Recording().saved, 2u);
}

TEST(TMidiRecorderTest, KeepsTheLastMillionMessagesAndWhatTheOlderOnesLeftInForce)
{
    TMidiRecorder recorder;
    const std::uint64_t extra = 3000;
    recorder.Record(0, programChange(2, 40));
    recorder.Record(0, 0xB2u | 7u << 8 | 90u << 16);
    for (std::uint64_t i = 2; i < TMidiRecorder::MaxMessages + extra; ++i)
        recorder.Record(std::int64_t(i), noteOn(int(i % 128)));

    const tarv::TRecording recording = copy(recorder, std::int64_t(TMidiRecorder::MaxMessages + extra));
    ASSERT_EQ(recording.messages.size(), TMidiRecorder::MaxMessages);
    EXPECT_EQ(recording.first, extra);
    EXPECT_EQ(recording.messages.front().time, std::int64_t(extra));
    EXPECT_EQ(recording.messages.back().packed, noteOn(int((TMidiRecorder::MaxMessages + extra - 1) % 128)));
    EXPECT_EQ(recording.before[2].program, 40);
    EXPECT_EQ(recording.before[2].controllers[7], 90);
    EXPECT_EQ(recording.before[2].controllers[10], -1);
    EXPECT_EQ(recording.before[3].program, -1);
}

TEST(TMidiRecorderTest, ForgetsWhatIsOlderThanTwoHours)
{
    TMidiRecorder recorder;
    recorder.Record(0, programChange(0, 7));
    recorder.Record(1000, noteOn(60));
    recorder.Record(TMidiRecorder::MaxAge + 500, noteOn(62));

    const tarv::TRecording recording = copy(recorder, TMidiRecorder::MaxAge + 1000);
    ASSERT_EQ(recording.messages.size(), 2u);
    EXPECT_EQ(recording.first, 1u);
    EXPECT_EQ(recording.messages[0].packed, noteOn(60));
    EXPECT_EQ(recording.before[0].program, 7);
}

// A save copies its messages outside the sender's lock while the recording goes on: the chunks
// it copies from are neither reused nor freed under it, even when the bound drops them.
TEST(TMidiRecorderTest, ACopyBeingTakenKeepsItsMessagesWhileTheRecordingGoesOnPastTheBound)
{
    TMidiRecorder recorder;
    for (int i = 0; i < 5000; ++i)
        recorder.Record(i, noteOn(i % 128));
    const TMidiRecorder::Shared shared = recorder.Share(5000);
    for (std::uint64_t i = 0; i < TMidiRecorder::MaxMessages + 2 * TMidiRecorder::ChunkSize; ++i)
        recorder.Record(std::int64_t(5000 + i), programChange(1, 9));

    const tarv::TRecording recording = TMidiRecorder::Copy(shared);
    ASSERT_EQ(recording.messages.size(), 5000u);
    for (int i = 0; i < 5000; ++i)
        ASSERT_EQ(recording.messages[std::size_t(i)].packed, noteOn(i % 128)) << i;
    EXPECT_EQ(recording.before[1].program, -1);
}
