// The port sets without input callbacks: enumeration, opening, sending, errors; hexadecimal text.
#include "LoopbackFixture.h"

#include <QByteArray>

#include <cstdlib>
#include <functional>

using tarv::MidiIndexError;
using tarv::MidiServiceError;

class TMidiOutputTest : public LoopbackFixture {};

TEST_F(TMidiOutputTest, SendOpensThePortOnDemandAndReusesItsHandle)
{
    TMidiOutput& out = MidiOutput();
    ASSERT_FALSE(out.IsOpen(1));

    out.Send(1, 0x90, 60, 100);
    const tarv::PortHandle handle = out.GetDeviceHandle(1);
    EXPECT_NE(handle, 0u);
    out.Send(1, 0x80, 60, 0);

    EXPECT_EQ(loop->openCalls(), 1);
    EXPECT_EQ(out.GetDeviceHandle(1), handle);
    const auto sent = loop->sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].device, 1);
    EXPECT_EQ(sent[0].bytes, (Bytes{0x90, 0x3C, 0x64}));
    EXPECT_EQ(sent[1].bytes, (Bytes{0x80, 0x3C, 0x00}));
}

TEST_F(TMidiOutputTest, ShortMessagesCarryOnlyTheBytesTheirStatusImplies)
{
    TMidiOutput& out = MidiOutput();
    out.Send(0, 0xC3, 5, 99);    // program change: no padding byte
    out.Send(0, 0xD0, 64, 99);   // channel pressure
    out.Send(0, 0xE1, 0, 64);    // pitch bend
    out.Send(0, 0xF8, 1, 2);     // clock
    out.Send(0, 0xF2, 1, 2);     // song position
    out.Send(0, 0xF3, 7, 9);     // song select
    EXPECT_EQ(
        sentBytes(),
        (std::vector<Bytes>{{0xC3, 0x05}, {0xD0, 0x40}, {0xE1, 0x00, 0x40}, {0xF8}, {0xF2, 0x01, 0x02}, {0xF3, 0x07}}));
}

TEST_F(TMidiOutputTest, SendOutsideTheListRaisesTheListIndexErrorAndSendsNothing)
{
    TMidiOutput& out = MidiOutput();
    EXPECT_EQ(raisedText<MidiIndexError>([&] { out.Send(3, 0x90, 60, 100); }),
              "Listenindex überschreitet das Maximum (3)");
    EXPECT_EQ(raisedText<MidiIndexError>([&] { out.Send(-1, 0x90, 60, 100); }),
              "Listenindex überschreitet das Maximum (-1)");
    EXPECT_TRUE(loop->sent().empty());
    EXPECT_EQ(loop->openCalls(), 0);
}

TEST_F(TMidiOutputTest, PortLookupOutsideTheListNamesTheSetAndTheIndex)
{
    EXPECT_EQ(raisedText<MidiIndexError>([] { MidiOutput().Open(-1); }),
              "TMidiOutput: Device index out of bounds! (-1)");
    EXPECT_EQ(raisedText<MidiIndexError>([] { MidiOutput().Close(3); }),
              "TMidiOutput: Device index out of bounds! (3)");
    EXPECT_EQ(raisedText<MidiIndexError>([] {
                  MidiOutput().SendSysEx(7, Bytes{0xF0, 0xF7});
              }),
              "TMidiOutput: Device index out of bounds! (7)");
    EXPECT_EQ(raisedText<MidiIndexError>([] { MidiInput().Open(-1); }), "TMidiInput: Device index out of bounds! (-1)");
    EXPECT_EQ(raisedText<MidiIndexError>([] { MidiInput().Close(2); }), "TMidiInput: Device index out of bounds! (2)");
    EXPECT_EQ(raisedText<MidiIndexError>([] { MidiInput().GetDeviceHandle(5); }),
              "TMidiInput: Device index out of bounds! (5)");
}

TEST_F(TMidiOutputTest, OpenAndCloseAreIdempotentAndCloseAllSkipsClosedPorts)
{
    TMidiOutput& out = MidiOutput();
    out.Open(0);
    out.Open(0);
    out.Open(2);
    EXPECT_EQ(loop->openCalls(), 2);

    out.Close(0);
    out.Close(0);
    out.Close(1);   // never opened
    EXPECT_FALSE(out.IsOpen(0));
    EXPECT_TRUE(out.IsOpen(2));

    out.CloseAll();
    EXPECT_EQ(loop->openOutputCount(), 0);
    EXPECT_EQ(out.GetDeviceHandle(2), 0u);
}

TEST_F(TMidiOutputTest, DuplicateNamesAreListedAndTheIndexTellsThemApart)
{
    loop->addOutput("Synth A");
    TMidiOutput& out = MidiOutput();
    EXPECT_EQ(out.Devices(), (std::vector<std::string>{"Synth A", "Synth B", "Synth C", "Synth A"}));

    out.Send(3, 0xB0, 7, 1);
    out.Send(0, 0xB0, 7, 2);
    const auto sent = loop->sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].device, 3);
    EXPECT_EQ(sent[1].device, 0);
    EXPECT_EQ(loop->openCalls(), 2);
}

TEST_F(TMidiOutputTest, ReEnumerationClosesOpenPortsAndListsTheDevicesOfNow)
{
    TMidiOutput& out = MidiOutput();
    TMidiInput& in = MidiInput();
    out.Open(0);
    out.Open(2);
    in.Open(1);
    const std::uint64_t generation = out.Generation();
    loop->addOutput("Synth D");

    out.Create();
    in.Create();

    EXPECT_EQ(loop->openOutputCount(), 0);
    EXPECT_EQ(loop->openInputCount(), 0);
    EXPECT_EQ(out.Count(), 4);
    EXPECT_NE(out.Generation(), generation);
    for (int i = 0; i < out.Count(); ++i)
        EXPECT_FALSE(out.IsOpen(i)) << i;

    out.Send(3, 0x90, 1, 2);   // opens again
    EXPECT_TRUE(out.IsOpen(3));
    EXPECT_EQ(loop->openCalls(), 3);
}

TEST_F(TMidiOutputTest, ReEnumerationCompletesWhenAPortFailsToCloseAndThenRaisesTheFailure)
{
    TMidiOutput& out = MidiOutput();
    out.Open(0);
    out.Open(1);
    loop->failClose("Synth A", "Schließen nicht möglich");
    loop->unplugOutput("Synth C");

    EXPECT_EQ(raisedText<MidiServiceError>([&] { out.Create(); }), "Schließen nicht möglich");
    EXPECT_EQ(out.Devices(), (std::vector<std::string>{"Synth A", "Synth B"}));
    EXPECT_FALSE(out.IsOpen(0));
    EXPECT_FALSE(out.IsOpen(1));
}

TEST_F(TMidiOutputTest, ServiceFailuresRaiseWithTheServiceText)
{
    TMidiOutput& out = MidiOutput();
    loop->failOpen("Synth B", "Gerät ist belegt");
    EXPECT_EQ(raisedText<MidiServiceError>([&] { out.Send(1, 0x90, 60, 1); }), "Gerät ist belegt");
    EXPECT_FALSE(out.IsOpen(1));

    loop->failSend("Synth C", "Puffer voll");
    EXPECT_EQ(raisedText<MidiServiceError>([&] { out.Send(2, 0x90, 60, 1); }), "Puffer voll");
    EXPECT_TRUE(out.IsOpen(2));   // the open succeeded; only the send failed

    loop->failClose("Synth C", "Schließen nicht möglich");
    EXPECT_EQ(raisedText<MidiServiceError>([&] { out.Close(2); }), "Schließen nicht möglich");
}

TEST_F(TMidiOutputTest, AnUnpluggedDeviceFailsWithTheServiceTextUntilReEnumerated)
{
    TMidiOutput& out = MidiOutput();
    out.Open(1);
    loop->unplugOutput("Synth B");
    const std::string text = raisedText<MidiServiceError>([&] { out.Send(1, 0x90, 60, 1); });
    EXPECT_NE(text.find("Synth B"), std::string::npos) << text;
    EXPECT_EQ(raisedText<MidiServiceError>([&] { out.Close(1); }), text);
    EXPECT_FALSE(out.IsOpen(1));

    // Synth C has moved up to index 1 of the system's list: the set's index 2 names a device
    // that is not there any more, until the list is made again.
    EXPECT_NE(raisedText<MidiServiceError>([&] { out.Send(2, 0x90, 60, 1); }).find("Synth C"), std::string::npos);
    out.Create();
    EXPECT_EQ(out.Devices(), (std::vector<std::string>{"Synth A", "Synth C"}));
    out.Send(1, 0x90, 61, 1);
    EXPECT_EQ(loop->sent().back().bytes, (Bytes{0x90, 61, 1}));
    EXPECT_EQ(loop->sent().back().name, "Synth C");
}

// The system's device list changes after a set listed its devices; meanwhile another user of
// the service (the keyboard widget, whenever its device changes) asks for the names again.
TEST_F(TMidiOutputTest, ASetOpensOnlyTheDeviceItsOwnListNamesAtTheIndex)
{
    struct Case {
        const char* change;
        std::function<void(tarv::LoopbackMidiService&)> apply;
        int index;
        const char* opens;   // nullptr: the device counts as vanished
    };
    // clang-format off
    const Case cases[] = {
        {"an earlier device unplugged", [](auto& l) { l.unplugOutput("Synth A"); }, 1, nullptr},
        {"the device itself unplugged", [](auto& l) { l.unplugOutput("Synth A"); }, 0, nullptr},
        {"replugged at the end (reordered)", [](auto& l) { l.unplugOutput("Synth A"); l.addOutput("Synth A"); }, 0, nullptr},
        {"another device at its place after a reorder", [](auto& l) { l.unplugOutput("Synth A"); l.addOutput("Synth A"); }, 2, nullptr},
        {"a device added at the end", [](auto& l) { l.addOutput("Synth D"); }, 2, "Synth C"},
        {"replugged at its own place", [](auto& l) { l.unplugOutput("Synth C"); l.addOutput("Synth C"); }, 2, "Synth C"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.change);
        SetUp();
        TMidiOutput& out = MidiOutput();
        const std::string listed = out.Devices().at(std::size_t(c.index));
        c.apply(*loop);
        tarv::midiService().outputNames();

        if (c.opens) {
            out.Send(c.index, 0x90, 60, 100);
            ASSERT_EQ(loop->sent().size(), 1u);
            EXPECT_EQ(loop->sent()[0].name, c.opens);
            EXPECT_EQ(loop->deviceName(out.GetDeviceHandle(c.index)), listed);
        } else {
            const std::string text = raisedText<MidiServiceError>([&] { out.Send(c.index, 0x90, 60, 100); });
            EXPECT_NE(text.find(listed), std::string::npos) << text;
            EXPECT_TRUE(loop->sent().empty());
            EXPECT_FALSE(out.IsOpen(c.index));
            EXPECT_EQ(loop->openOutputCount(), 0);
        }

        // A new list names the devices of now, and each index reaches its own.
        out.Create();
        const std::vector<std::string> now = out.Devices();
        loop->clearSent();
        for (int i = 0; i < out.Count(); ++i)
            out.Send(i, 0xB0, 7, std::uint8_t(i));
        ASSERT_EQ(loop->sent().size(), now.size());
        for (std::size_t i = 0; i < now.size(); ++i)
            EXPECT_EQ(loop->sent()[i].name, now[i]);
    }
}

TEST_F(TMidiOutputTest, AnInputOpensOnlyTheDeviceTheInputListNames)
{
    loop->addInput("Drums");
    TMidiInput& in = MidiInput();
    ASSERT_EQ(in.Devices(), (std::vector<std::string>{"Keys", "Pads", "Drums"}));
    loop->unplugInput("Keys");
    tarv::midiService().inputNames();

    const std::string text = raisedText<MidiServiceError>([&] { in.Open(1); });
    EXPECT_NE(text.find("Pads"), std::string::npos) << text;
    EXPECT_FALSE(in.IsOpen(1));
    EXPECT_EQ(loop->openInputCount(), 0);

    in.Create();
    in.Open(1);
    EXPECT_EQ(loop->deviceName(in.GetDeviceHandle(1)), "Drums");
}

// A close that fails the way the RtMidi service's does: the service has let go of the handle.
TEST_F(TMidiOutputTest, APortWhoseCloseFailedCountsAsClosedAndOpensAgain)
{
    TMidiOutput& out = MidiOutput();
    TMidiInput& in = MidiInput();
    out.Send(2, 0x90, 60, 1);
    in.Open(0);
    loop->failClose("Synth C", "Schließen nicht möglich");
    loop->failClose("Keys", "Schließen nicht möglich");

    EXPECT_EQ(raisedText<MidiServiceError>([&] { out.Close(2); }), "Schließen nicht möglich");
    EXPECT_EQ(raisedText<MidiServiceError>([&] { in.Close(0); }), "Schließen nicht möglich");
    EXPECT_FALSE(out.IsOpen(2));
    EXPECT_FALSE(in.IsOpen(0));
    EXPECT_NO_THROW(out.Close(2));
    EXPECT_NO_THROW(in.Close(0));

    loop->failClose("Synth C", "");
    loop->failClose("Keys", "");
    out.Send(2, 0x80, 60, 0);
    in.Open(0);
    EXPECT_EQ(loop->openCalls(), 2);
    EXPECT_EQ(loop->sent().back().bytes, (Bytes{0x80, 60, 0}));
    EXPECT_EQ(loop->deviceName(in.GetDeviceHandle(0)), "Keys");
}

TEST_F(TMidiOutputTest, SendSysExNeedsAnOpenPortAndSendsTheStreamUnchanged)
{
    TMidiOutput& out = MidiOutput();
    EXPECT_THROW(out.SendSysEx(0, Bytes{0xF0, 0x7E, 0xF7}), MidiServiceError);
    EXPECT_TRUE(loop->sent().empty());

    out.Open(0);
    out.SendSysEx(0, Bytes{0xF0, 0x41, 0x10, 0xF7});
    out.SendSysEx(0, std::string("f0 7e 7f 09 01 f7"));
    EXPECT_EQ(sentBytes(), (std::vector<Bytes>{{0xF0, 0x41, 0x10, 0xF7}, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}}));
}

// A service whose first listing fails, to show that the accessor tries again.
class FlakyListing : public tarv::LoopbackMidiService {
public:
    FlakyListing() : LoopbackMidiService({}, {"Only"}) {}
    std::vector<std::string> outputNames() override
    {
        if (failures-- > 0)
            throw MidiServiceError("Aufzählung fehlgeschlagen");
        return LoopbackMidiService::outputNames();
    }
    int failures = 1;
};

TEST(MidiAccessorTest, AFailedEnumerationLeavesTheSlotEmptyAndTheNextCallTriesAgain)
{
    MidiShutdown();
    tarv::setMidiService(std::make_unique<FlakyListing>());
    EXPECT_EQ(raisedText<MidiServiceError>([] { MidiOutput(); }), "Aufzählung fehlgeschlagen");
    EXPECT_EQ(MidiOutput().Devices(), std::vector<std::string>{"Only"});
    MidiShutdown();
    tarv::setMidiService(nullptr);
}

TEST(MidiServiceChoiceTest, LoopbackByEnvironmentAndAnUnknownSystemGivesAServiceWithoutPorts)
{
    qputenv("TARV_MIDI_API", "loopback");
    auto loopback = tarv::createSystemMidiService();
    EXPECT_EQ(loopback->apiName(), "loopback");
    EXPECT_EQ(loopback->inputNames(), (std::vector<std::string>{"Loopback In 1", "Loopback In 2"}));
    EXPECT_EQ(loopback->outputNames(), (std::vector<std::string>{"Loopback Out 1", "Loopback Out 2"}));

    qputenv("TARV_MIDI_API", "no-such-system");
    auto none = tarv::createSystemMidiService();
    qputenv("TARV_MIDI_API", "loopback");
    EXPECT_TRUE(none->outputNames().empty());
    EXPECT_NE(none->unavailableReason().find("no-such-system"), std::string::npos);
    EXPECT_EQ(raisedText<MidiServiceError>([&] { none->openOutput(0, ""); }), none->unavailableReason());

    // The program still starts on it: the output list is empty and Send reports the index.
    MidiShutdown();
    tarv::setMidiService(std::move(none));
    EXPECT_EQ(MidiOutput().Count(), 0);
    EXPECT_EQ(raisedText<MidiIndexError>([] { MidiOutput().Send(0, 0xC0, 0, 0); }),
              "Listenindex überschreitet das Maximum (0)");
    MidiShutdown();
    tarv::setMidiService(nullptr);
}

TEST(HexStrToStreamTest, SpellsBytesFromHexadecimalText)
{
    // clang-format off
    const std::pair<std::string, Bytes> cases[] = {
        {"f0 7e 7f 09 01 f7", {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}},
        {"ABC", {0xAB}},          // a final odd digit is dropped
        {"0G", {0x00}},           // not a hexadecimal digit: 0
        {"G1", {0x01}},
        {"", {}},
        {"  ", {}},
        {"a b", {0xAB}},          // blanks go before the pairing
        {"7Fff", {0x7F, 0xFF}},
        {"\t1", {0x01}},          // only blanks are dropped; a tab counts as 0
    };
    // clang-format on
    for (const auto& [text, bytes] : cases) {
        Bytes stream{0x55, 0x66, 0x77};   // previous contents are replaced
        HexStrToStream(text, stream);
        EXPECT_EQ(stream, bytes) << '"' << text << '"';
    }
}
