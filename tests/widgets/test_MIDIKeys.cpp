// TMIDIKeys playing by itself through the loopback MIDI service.
#include "widgets/Klavier.h"

#include "TestSupport.h"
#include "midi/LoopbackMidiService.h"
#include "midi/MidiServiceFactory.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

class MIDIKeysTest : public testing::Test {
protected:
    void SetUp() override
    {
        tarv::test::ensureApplication();
        auto service = std::make_unique<tarv::LoopbackMidiService>(std::vector<std::string>{},
                                                                   std::vector<std::string>{"Synth A", "Synth B"});
        loopback = service.get();
        previous = tarv::setMidiService(std::move(service));
    }
    void TearDown() override { tarv::setMidiService(std::move(previous)); }

    // The bytes of every message sent so far, with the device each went to.
    std::vector<std::pair<int, Bytes>> sent() const
    {
        std::vector<std::pair<int, Bytes>> out;
        for (const tarv::SentMessage& m : loopback->sent())
            out.emplace_back(m.device, m.bytes);
        return out;
    }

    tarv::LoopbackMidiService* loopback = nullptr;
    std::unique_ptr<tarv::MidiService> previous;
};

using Sent = std::vector<std::pair<int, Bytes>>;

}   // namespace

TEST_F(MIDIKeysTest, PlaysOnTheDefaultOutputOnceANoteOnOpensIt)
{
    TMIDIKeys keys;
    EXPECT_EQ(keys.MIDIDevice(), -1);
    EXPECT_EQ(keys.MIDIPortName(), QStringLiteral("Microsoft MIDI Mapper"));
    EXPECT_FALSE(keys.MIDIPortOk());

    keys.ReleaseNote(60, 0, true);   // no note-on yet: nothing is opened or sent
    EXPECT_EQ(loopback->openCalls(), 0);

    keys.PressNote(60, 100, true);
    keys.ReleaseNote(60, 33, true);
    keys.setMIDIChannel(16);
    keys.PressNote(60, 100, true);
    keys.ReleaseNote(60, 0, true);
    EXPECT_TRUE(keys.MIDIPortOk());
    EXPECT_NE(keys.MIDIPort(), 0u);
    EXPECT_EQ(loopback->openCalls(), 1);
    // Device -1 is the first output port on systems without a mapper.
    EXPECT_EQ(
        sent(),
        (Sent{{0, {0x90, 0x3C, 0x64}}, {0, {0x80, 0x3C, 0x00}}, {0, {0x9F, 0x3C, 0x64}}, {0, {0x8F, 0x3C, 0x00}}}));
}

TEST_F(MIDIKeysTest, AssignedHandlersReplaceItsOwnSending)
{
    TMIDIKeys keys;
    int played = 0;
    keys.setOnNoteOn([&](QObject*, int, int) { ++played; });
    keys.setOnNoteOff({});
    keys.PressNote(60, 100, true);
    keys.ReleaseNote(60, 0, true);
    EXPECT_EQ(played, 1);
    EXPECT_EQ(loopback->openCalls(), 0);
    EXPECT_TRUE(sent().empty());
}

TEST_F(MIDIKeysTest, WritingMIDIDeviceClosesAndRenames)
{
    TMIDIKeys keys;
    keys.setMIDIDevice(-1);   // unchanged: nothing happens
    EXPECT_EQ(keys.MIDIPortName(), QStringLiteral("Microsoft MIDI Mapper"));

    keys.PressNote(60, 100, true);
    ASSERT_EQ(loopback->openOutputCount(), 1);
    keys.setMIDIDevice(1);
    EXPECT_EQ(loopback->openOutputCount(), 0);
    EXPECT_FALSE(keys.MIDIPortOk());
    EXPECT_EQ(keys.MIDIPortName(), QStringLiteral("Synth B"));
    // The held note was switched off before the device closed.
    EXPECT_EQ(sent(), (Sent{{0, {0x90, 0x3C, 0x64}}, {0, {0x80, 0x3C, 0x00}}}));

    loopback->clearSent();
    keys.ReleaseNote(60, 0, true);   // the new device is not open yet
    keys.PressNote(62, 1, true);
    EXPECT_EQ(sent(), (Sent{{1, {0x90, 0x3E, 0x01}}}));

    keys.setMIDIDevice(2);   // at the device count: no name, never opened
    EXPECT_EQ(keys.MIDIPortName(), QString());
    keys.PressNote(64, 1, true);
    EXPECT_FALSE(keys.MIDIPortOk());
    EXPECT_EQ(loopback->openCalls(), 2);
    keys.setMIDIDevice(-1);
    EXPECT_EQ(keys.MIDIPortName(), QStringLiteral("Microsoft MIDI Mapper"));
}

TEST_F(MIDIKeysTest, AChosenDeviceThatMovedOffItsIndexIsNotSwappedForAnother)
{
    loopback->addOutput("Synth C");
    TMIDIKeys keys;
    keys.setMIDIDevice(1);
    ASSERT_EQ(keys.MIDIPortName(), QStringLiteral("Synth B"));
    loopback->unplugOutput("Synth A");   // Synth C is device 1 now

    keys.PressNote(60, 100, true);
    EXPECT_FALSE(keys.MIDIPortOk());
    EXPECT_TRUE(loopback->sent().empty());
}

TEST_F(MIDIKeysTest, FailedOpenIsSilentAndRetriedAtTheNextNoteOn)
{
    TMIDIKeys keys;
    loopback->failOpen("Synth A", "device busy");
    keys.PressNote(60, 100, true);
    keys.ReleaseNote(60, 0, true);
    EXPECT_FALSE(keys.MIDIPortOk());
    EXPECT_TRUE(sent().empty());

    loopback->failOpen("Synth A", "");
    loopback->failSend("Synth A", "write error");
    keys.PressNote(61, 100, true);   // a failed send is not reported either
    EXPECT_TRUE(keys.MIDIPortOk());
    loopback->failSend("Synth A", "");
    keys.ReleaseNote(61, 0, true);
    EXPECT_EQ(sent(), (Sent{{0, {0x80, 0x3D, 0x00}}}));
}
