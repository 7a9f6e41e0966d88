// SendStoredChannel and SendAllStoredChannels: the stored settings on the wire.
#include "midi/LoopbackMidiService.h"
#include "midi/Midi.h"
#include "midi/MidiSenders.h"
#include "midi/MidiServiceFactory.h"
#include "sending/SettingsSending.h"
#include "settings/Settings.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

class StoredChannelSending : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fDir.isValid());
        SetSettingsFolder(fDir.path().toStdString());
        MidiShutdown();
        auto service = std::make_unique<tarv::LoopbackMidiService>(std::vector<std::string>{},
                                                                   std::vector<std::string>{"Synth A", "Synth B"});
        fLoop = service.get();
        tarv::setMidiService(std::move(service));
        ResetOutputFailure();
    }
    void TearDown() override
    {
        MidiShutdown();
        tarv::setMidiService(nullptr);
        SetSettingsFolder("");
    }

    void writeFile(const QByteArray& contents) const
    {
        QFile file(fDir.filePath("tarvParameter.ini"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(contents), contents.size());
    }
    // Bytes of the messages sent so far; every one must have gone to `device`.
    std::vector<Bytes> sentTo(int device) const
    {
        std::vector<Bytes> bytes;
        for (const tarv::SentMessage& m : fLoop->sent()) {
            EXPECT_EQ(m.device, device);
            bytes.push_back(m.bytes);
        }
        return bytes;
    }

    QTemporaryDir fDir;
    tarv::LoopbackMidiService* fLoop = nullptr;
};

std::vector<Bytes> channelMessages(std::uint8_t channel, std::uint8_t program, std::uint8_t volume,
                                   std::uint8_t panorama, std::uint8_t sustain, std::uint8_t chorus,
                                   std::uint8_t reverb)
{
    const auto cc = static_cast<std::uint8_t>(0xB0 | channel);
    return {{static_cast<std::uint8_t>(0xC0 | channel), program},
            {cc, 7, volume},
            {cc, 10, panorama},
            {cc, 64, sustain},
            {cc, 91, chorus},
            {cc, 93, reverb}};
}

}   // namespace

TEST_F(StoredChannelSending, AllChannelsGoOutInOrderWithReadDefaultsThenStoredPrograms)
{
    // First start without a file: the read defaults for every channel.
    SendAllStoredChannels(0);
    ASSERT_TRUE(fLoop->waitSent(96));
    std::vector<Bytes> expected;
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        for (const Bytes& m : channelMessages(channel, 0, 127, 64, 0, 0, 0))
            expected.push_back(m);
    }
    EXPECT_EQ(sentTo(0), expected);

    // From the next start on, the fresh file's programs n x 8.
    WriteDefaultSettings();
    fLoop->clearSent();
    SendAllStoredChannels(1);
    ASSERT_TRUE(fLoop->waitSent(96));
    expected.clear();
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        for (const Bytes& m : channelMessages(channel, channel * 8, 127, 64, 0, 0, 0))
            expected.push_back(m);
    }
    EXPECT_EQ(sentTo(1), expected);
}

TEST_F(StoredChannelSending, SendsTheStoredValuesNotTheEditedOnes)
{
    writeFile("[kanal2]\nInstrument=0x30\nVelocity=5\nVolume=300\nPanorama=$10\nSustain=127\nChorus=abc\n"
              "Reverb=200\n");
    SendStoredChannel(0, 2);
    ASSERT_TRUE(fLoop->waitSent(6));
    EXPECT_EQ(sentTo(0), channelMessages(2, 48, 44, 16, 127, 0, 127));
}
