// The start-up sending and a note go through the output port set to the synthesizer (port 0).
#include "FluidSynthService.h"
#include "SynthAudio.h"
#include "midi/BuiltInSynth.h"
#include "midi/LoopbackMidiService.h"
#include "midi/Midi.h"
#include "midi/MidiSenders.h"
#include "midi/MidiServiceFactory.h"
#include "player/Player.h"
#include "sending/SettingsSending.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace tarv;
using namespace tarv::test;

namespace {

class SynthEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::filesystem::exists(TimGm6mbFile))
            GTEST_SKIP() << "sound font missing: " << TimGm6mbFile;
        ASSERT_TRUE(fSettings.isValid());
        SetSettingsFolder(fSettings.path().toStdString());
        ResetPcKeyMap();
        MidiShutdown();
        ResetOutputFailure();

        FluidSynthService::Options options;
        options.audio = false;
        options.beforeLoading = fGate.hook();
        auto synth = std::make_unique<FluidSynthService>(TimGm6mbFile, options);
        fSynth = synth.get();
        auto system =
            std::make_unique<LoopbackMidiService>(std::vector<std::string>{"Keys"}, std::vector<std::string>{"Out A"});
        fSystem = system.get();
        fPrevious = setMidiService(withOutputsInFront(std::move(synth), std::move(system)));
    }

    void TearDown() override
    {
        fGate.release();
        MidiShutdown();
        // Back to the service before (none: the next use creates the usual one).
        setMidiService(std::move(fPrevious));
        SetSettingsFolder({});
        ResetPcKeyMap();
    }

    // Middle C of a dry church organ at `volume` on a synthesizer of its own.
    static std::vector<float> referenceOrgan(int volume)
    {
        FluidSynthService::Options options;
        options.audio = false;
        FluidSynthService reference(TimGm6mbFile, options);
        EXPECT_TRUE(reference.waitUntilLoaded(std::chrono::seconds(20)));
        const PortHandle port = reference.openOutput(0, SynthPortName);
        for (auto message : {packed(0xC0, 19), packed(0xB0, 7, volume), packed(0xB0, 91, 0), packed(0xB0, 93, 0),
                             packed(0x90, 60, 100)}) {
            EXPECT_TRUE(reference.waitUntilSettled(std::chrono::seconds(20)));   // the organ's samples are read
            reference.sendShort(port, message);
        }
        return renderSeconds(reference, 0.6);
    }

    QTemporaryDir fSettings;
    LoadingGate fGate;
    FluidSynthService* fSynth = nullptr;
    LoopbackMidiService* fSystem = nullptr;
    std::unique_ptr<MidiService> fPrevious;
};

TEST_F(SynthEndToEnd, StartUpSendingAndNotesReachTheSynthesizer)
{
    // Channel 0 is stored as a church organ at volume 100, dry.
    TChannelSettings stored;
    stored.Instrument = 19;
    stored.Volume = 100;
    SaveSettings(0, stored, TGeneralSettings{});

    EXPECT_EQ(MidiOutput().Devices(), (std::vector<std::string>{SynthPortName, "Out A"}));
    // The start-up sending happens while the sound font still loads (the window must not wait).
    SendAllStoredChannels(0);
    EXPECT_FALSE(fSynth->isLoaded());
    fGate.release();
    ASSERT_TRUE(fSynth->waitUntilLoaded(std::chrono::seconds(20)));

    SendNote(0, 0, 60, 100, true);
    const std::vector<float> sound = renderSeconds(*fSynth, 0.6);
    EXPECT_NEAR(pitch(sound, 0.15, 0.2), 261.63, 3.0);

    const std::vector<float> organ = referenceOrgan(100);
    EXPECT_LT(profileDistance(harmonicProfile(sound, 0.2, 0.3, 261.63), harmonicProfile(organ, 0.2, 0.3, 261.63)),
              0.05);
    EXPECT_NEAR(rms(sound, 0.2, 0.5), rms(organ, 0.2, 0.5), 0.1 * rms(organ, 0.2, 0.5));

    // Nothing went to the system's ports; a note for port 1 goes there, not to the synth.
    EXPECT_TRUE(fSystem->sent().empty());
    SendNote(0, 0, 60, 0, false);
    SendNote(1, 0, 62, 100, true);
    ASSERT_EQ(fSystem->sent().size(), 1u);
    EXPECT_EQ(fSystem->sent()[0].device, 0);
    EXPECT_EQ(fSystem->sent()[0].bytes, (std::vector<std::uint8_t>{0x90, 62, 100}));
}

// Only the left and the right channel hold their presets; a channel sounds its stored
// instrument from its first note once the player plays it, and at the latest from its second
// note when it is played without being switched to.
TEST_F(SynthEndToEnd, AChannelSoundsItsStoredInstrumentWhenThePlayerTurnsToIt)
{
    TChannelSettings organ;
    organ.Instrument = 19;
    organ.Chorus = organ.Reverb = 0;
    SaveSettings(3, organ, TGeneralSettings{});
    SaveSettings(5, organ, TGeneralSettings{});
    TPlayer player;
    player.SendAllStoredChannels();
    fGate.release();
    ASSERT_TRUE(fSynth->waitUntilLoaded(std::chrono::seconds(20)));
    ASSERT_TRUE(fSynth->waitUntilSettled(std::chrono::seconds(20)));

    const auto expected = harmonicProfile(referenceOrgan(127), 0.2, 0.3, 261.63);
    auto heard = [&](std::uint8_t channel) {
        SendNote(0, channel, 60, 100, true);
        const auto profile = harmonicProfile(renderSeconds(*fSynth, 0.6), 0.2, 0.3, 261.63);
        SendNote(0, channel, 60, 0, false);
        renderSeconds(*fSynth, 2.0);
        return profileDistance(profile, expected);
    };

    player.SetRightChannel(3);
    ASSERT_TRUE(fSynth->waitUntilSettled(std::chrono::seconds(20)));
    EXPECT_LT(heard(3), 0.05);

    SendNote(0, 5, 60, 100, true);   // channel 5 is played unannounced: it turns to its organ
    SendNote(0, 5, 60, 0, false);
    ASSERT_TRUE(fSynth->waitUntilSettled(std::chrono::seconds(20)));
    renderSeconds(*fSynth, 2.0);
    EXPECT_LT(heard(5), 0.05);
}

}   // namespace
