// The channel senders: bytes on the wire, which notes went out, dropped notes and channels, clamping, a missing output.
#include "LoopbackFixture.h"

#include <functional>

using tarv::MidiIndexError;
using tarv::MidiServiceError;

class MidiSendersTest : public LoopbackFixture {
protected:
    int port = 0;   // the output port the senders play on
};

TEST_F(MidiSendersTest, EachSenderPutsItsMessageOnTheWire)
{
    const std::pair<std::function<void()>, Bytes> cases[] = {
        {[&] { SendProgramChange(port, 9, 0); }, {0xC9, 0x00}},   // two bytes: no padding after a program change
        {[&] { SendVolume(port, 0, 100); }, {0xB0, 0x07, 0x64}},
        {[&] { SendPanorama(port, 2, 64); }, {0xB2, 0x0A, 0x40}},
        {[&] { SendSustain(port, 3, 127); }, {0xB3, 0x40, 0x7F}},
        {[&] { SendChorus(port, 4, 20); }, {0xB4, 0x5B, 0x14}},   // chorus as controller 91
        {[&] { SendReverb(port, 5, 30); }, {0xB5, 0x5D, 0x1E}},   // reverb as controller 93
        {[&] { SendAllNotesOff(port, 15); }, {0xBF, 0x7B, 0x00}},
        {[&] { SendNote(port, 1, 60, 100, true); }, {0x91, 0x3C, 0x64}},
        {[&] { SendNote(port, 1, 60, 100, false); }, {0x81, 0x3C, 0x64}},   // a real Note Off with release velocity
    };
    for (const auto& [send, bytes] : cases) {
        loop->clearSent();
        send();
        const auto sent = loop->sent();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].bytes, bytes);
        EXPECT_EQ(sent[0].device, 0);
    }
}

TEST_F(MidiSendersTest, SendNoteSaysWhetherTheNoteWentOut)
{
    EXPECT_TRUE(SendNote(port, 1, 60, 100, true));
    EXPECT_TRUE(SendNote(port, 1, 60, 100, false));
    EXPECT_TRUE(SendNote(port, 0, 127, 1, true));
    EXPECT_TRUE(SendNote(port, 0, 5, 0, false));   // never switched on: still sent
    EXPECT_EQ(loop->sent().size(), 4u);
}

TEST_F(MidiSendersTest, NotesOutsideTheMidiRangeAndChannelsAbove15AreDropped)
{
    EXPECT_FALSE(SendNote(port, 0, 128, 100, true));
    EXPECT_FALSE(SendNote(port, 0, 300, 100, true));
    EXPECT_FALSE(SendNote(port, 0, -1, 100, true));
    EXPECT_FALSE(SendNote(port, 16, 60, 100, true));
    SendVolume(port, 16, 100);
    SendProgramChange(port, 200, 1);
    SendAllNotesOff(port, 255);
    EXPECT_TRUE(loop->sent().empty());
}

TEST_F(MidiSendersTest, DataValuesAbove127GoOutAs127)
{
    SendVolume(port, 0, 200);
    SendProgramChange(port, 0, 130);
    SendNote(port, 2, 60, 255, true);
    SendReverb(port, 0, 128);
    EXPECT_EQ(sentBytes(),
              (std::vector<Bytes>{{0xB0, 0x07, 0x7F}, {0xC0, 0x7F}, {0x92, 0x3C, 0x7F}, {0xB0, 0x5D, 0x7F}}));
}

TEST_F(MidiSendersTest, TheFirstMessageOpensTheCurrentPortAndAChangedPortIsOpenedOnItsFirstMessage)
{
    SendVolume(port, 0, 1);
    EXPECT_TRUE(MidiOutput().IsOpen(0));
    port = 2;
    SendVolume(port, 0, 2);
    EXPECT_TRUE(MidiOutput().IsOpen(2));
    const auto sent = loop->sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].device, 0);
    EXPECT_EQ(sent[1].device, 2);
    EXPECT_EQ(loop->openCalls(), 2);
}

TEST_F(MidiSendersTest, APortThatCannotOpenIsReportedOnceThenSendsAreDroppedUntilItWorks)
{
    loop->failOpen("Synth A", "Gerät ist belegt");
    EXPECT_EQ(raisedText<MidiServiceError>([&] { SendVolume(port, 0, 1); }), "Gerät ist belegt");
    EXPECT_TRUE(OutputFailureReported());

    EXPECT_NO_THROW(SendVolume(port, 0, 2));
    bool sent = true;
    EXPECT_NO_THROW(sent = SendNote(port, 0, 60, 100, true));
    EXPECT_FALSE(sent);   // the note never went out

    // The port becomes available and is opened (by the port dialog, say): sending resumes.
    loop->failOpen("Synth A", "");
    MidiOutput().Open(0);
    EXPECT_TRUE(SendNote(port, 0, 60, 100, true));
    EXPECT_FALSE(OutputFailureReported());
    EXPECT_EQ(sentBytes(), (std::vector<Bytes>{{0x90, 0x3C, 0x64}}));

    // A later failure of the same port is reported again.
    MidiOutput().Close(0);
    loop->failOpen("Synth A", "Gerät ist belegt");
    EXPECT_THROW(SendVolume(port, 0, 3), MidiServiceError);
}

TEST_F(MidiSendersTest, AnotherPortOrANewListReportsAgain)
{
    loop->failOpen("Synth A", "Gerät ist belegt");
    EXPECT_THROW(SendVolume(port, 0, 1), MidiServiceError);
    EXPECT_NO_THROW(SendVolume(port, 0, 1));

    port = 7;   // outside the list
    EXPECT_EQ(raisedText<MidiIndexError>([&] { SendVolume(port, 0, 1); }), "Listenindex überschreitet das Maximum (7)");
    EXPECT_NO_THROW(SendVolume(port, 0, 1));

    MidiOutput().Create();
    EXPECT_THROW(SendVolume(port, 0, 1), MidiIndexError);

    port = 1;
    SendVolume(port, 0, 9);
    EXPECT_EQ(sentBytes(), (std::vector<Bytes>{{0xB0, 0x07, 0x09}}));
}

TEST_F(MidiSendersTest, AFailingSendOnAnOpenPortIsReportedEveryTime)
{
    SendVolume(port, 0, 1);
    loop->failSend("Synth A", "Puffer voll");
    EXPECT_THROW(SendVolume(port, 0, 2), MidiServiceError);
    EXPECT_THROW(SendVolume(port, 0, 3), MidiServiceError);
    EXPECT_THROW(SendNote(port, 0, 60, 1, true), MidiServiceError);
    EXPECT_FALSE(OutputFailureReported());
}

class MidiSendersWithoutOutputsTest : public LoopbackFixture {
protected:
    int port = 0;

    void SetUp() override
    {
        outputs.clear();
        LoopbackFixture::SetUp();
    }
};

TEST_F(MidiSendersWithoutOutputsTest, TheStartUpSendingReportsTheMissingOutputOnceAndGoesOn)
{
    EXPECT_EQ(raisedText<MidiIndexError>([&] { SendProgramChange(port, 0, 0); }),
              "Listenindex überschreitet das Maximum (0)");
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        EXPECT_NO_THROW(SendVolume(port, channel, 100));
        bool sent = true;
        EXPECT_NO_THROW(sent = SendNote(port, channel, 60, 100, true));
        EXPECT_FALSE(sent);
    }

    ResetOutputFailure();
    EXPECT_THROW(SendVolume(port, 0, 1), MidiIndexError);
}
