// The built-in synthesizer rendered offline: what it plays, when it is silent, how it loads.
#include "FluidSynthService.h"
#include "SynthAudio.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>

using namespace tarv;
using namespace tarv::test;

namespace {

constexpr double Silence = 1e-4;         // RMS, -80 dBFS
constexpr double SoundFontFile = 2e-3;   // RMS, -54 dBFS: a single note is well above it
constexpr double MiddleC = 261.63;

FluidSynthService::Options offline()
{
    FluidSynthService::Options options;
    options.audio = false;
    return options;
}

class FluidSynthServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::filesystem::exists(TimGm6mbFile))
            GTEST_SKIP() << "sound font missing: " << TimGm6mbFile;
        synth = makeSynth();
        port = synth->openOutput(0, SynthPortName);
    }

    static std::unique_ptr<FluidSynthService> makeSynth()
    {
        auto synth = std::make_unique<FluidSynthService>(TimGm6mbFile, offline());
        EXPECT_TRUE(synth->waitUntilLoaded(std::chrono::seconds(20)));
        EXPECT_TRUE(synth->isLoaded()) << synth->loadError();
        return synth;
    }

    void send(int status, int data1, int data2 = 0) { synth->sendShort(port, packed(status, data1, data2)); }

    // A program change, once the samples of its preset are read (until then the channel
    // keeps its previous sound).
    void selectProgram(int program)
    {
        send(0xC0, program);
        ASSERT_TRUE(synth->waitUntilSettled(std::chrono::seconds(20)));
    }

    // Middle C on channel 0 without chorus and reverb, so that only the instrument sounds.
    std::vector<float> dryMiddleC(int program)
    {
        selectProgram(program);
        send(0xB0, 91, 0);
        send(0xB0, 93, 0);
        send(0x90, 60, 100);
        return renderSeconds(*synth, 0.6);
    }

    std::unique_ptr<FluidSynthService> synth;
    PortHandle port = 0;
};

TEST_F(FluidSynthServiceTest, SilentBeforeAnyNote)
{
    send(0xC0, 0);
    send(0xB0, 7, 100);
    EXPECT_LT(peak(renderSeconds(*synth, 0.5)), 1e-6);
}

TEST_F(FluidSynthServiceTest, MiddleCSoundsAtItsPitch)
{
    const std::vector<float> sound = dryMiddleC(0);
    EXPECT_GT(rms(sound, 0.1, 0.5), SoundFontFile);
    EXPECT_NEAR(pitch(sound, 0.15, 0.2), MiddleC, 3.0);

    // An octave up is twice the frequency: the note number really reaches the synth.
    send(0x80, 60);
    send(0x90, 72, 100);
    const std::vector<float> higher = renderSeconds(*synth, 0.6);
    EXPECT_NEAR(pitch(higher, 0.15, 0.2), 2 * MiddleC, 6.0);
}

TEST_F(FluidSynthServiceTest, SilentAgainAfterNoteOffAndRelease)
{
    send(0x90, 60, 100);
    EXPECT_GT(rms(renderSeconds(*synth, 0.5), 0.1), SoundFontFile);
    send(0x80, 60, 64);
    const std::vector<float> after = renderSeconds(*synth, 4.0);
    EXPECT_LT(rms(after, 3.5), Silence);

    // Note On with velocity 0 is a Note Off as well; and after the long silence (in which the
    // audio thread stops rendering) the next note sounds at once.
    send(0x90, 64, 100);
    EXPECT_GT(rms(renderSeconds(*synth, 0.3), 0.0, 0.3), SoundFontFile);
    send(0x90, 64, 0);
    EXPECT_LT(rms(renderSeconds(*synth, 4.0), 3.5), Silence);
}

TEST_F(FluidSynthServiceTest, AllNotesOffSilencesHeldNotes)
{
    selectProgram(19);   // church organ: sounds as long as the key is held
    send(0x90, 60, 100);
    send(0x90, 64, 100);
    EXPECT_GT(rms(renderSeconds(*synth, 3.0), 2.5), SoundFontFile);
    send(0xB0, 123, 0);
    EXPECT_LT(rms(renderSeconds(*synth, 4.0), 3.5), Silence);
}

TEST_F(FluidSynthServiceTest, ProgramChangeChangesTheSpectrum)
{
    const auto piano = harmonicProfile(dryMiddleC(0), 0.2, 0.3, MiddleC);
    synth = makeSynth();
    port = synth->openOutput(0, SynthPortName);
    const auto organ = harmonicProfile(dryMiddleC(19), 0.2, 0.3, MiddleC);
    synth = makeSynth();
    port = synth->openOutput(0, SynthPortName);
    const auto pianoAgain = harmonicProfile(dryMiddleC(0), 0.2, 0.3, MiddleC);

    EXPECT_GT(profileDistance(piano, organ), 0.3);
    // The measure itself does not wander between two renderings of the same sound.
    EXPECT_LT(profileDistance(piano, pianoAgain), 0.05);
}

TEST_F(FluidSynthServiceTest, ChannelVolumeZeroSilences)
{
    send(0xB0, 7, 0);
    send(0x90, 60, 127);
    EXPECT_LT(rms(renderSeconds(*synth, 0.5), 0.05), Silence);
    send(0xB0, 7, 100);
    EXPECT_GT(rms(renderSeconds(*synth, 0.3), 0.05), SoundFontFile);
}

TEST_F(FluidSynthServiceTest, ClosedOrForeignHandlesAndOtherPortsFail)
{
    EXPECT_THROW(synth->sendShort(port + 100, packed(0x90, 60, 100)), MidiServiceError);
    EXPECT_THROW(synth->openOutput(1, SynthPortName), MidiServiceError);
    EXPECT_THROW(synth->openInput(0, "", 0, nullptr, nullptr), MidiServiceError);
    EXPECT_TRUE(synth->inputNames().empty());
    ASSERT_EQ(synth->outputNames(), std::vector<std::string>{SynthPortName});

    // A second handle of the same port works on its own; a closed handle fails.
    const PortHandle second = synth->openOutput(0, SynthPortName);
    EXPECT_NE(second, port);
    synth->closeOutput(port);
    EXPECT_THROW(synth->sendShort(port, packed(0x90, 60, 100)), MidiServiceError);
    EXPECT_THROW(synth->closeOutput(port), MidiServiceError);
    synth->sendShort(second, packed(0x90, 60, 100));
    EXPECT_GT(rms(renderSeconds(*synth, 0.3), 0.05), SoundFontFile);
}

// Only the samples of the presets in use are read; a preset chosen after start-up is read
// when its program change comes, and then sounds exactly as if every sample had been read at
// the start.
class PresetChosenAfterStartUp : public ::testing::TestWithParam<const char*> {};

TEST_P(PresetChosenAfterStartUp, SoundsAsWithEverySampleLoaded)
{
    const std::filesystem::path soundFont = GetParam();
    if (!std::filesystem::exists(soundFont))
        GTEST_SKIP() << "sound font missing: " << soundFont;
    auto play = [&](bool dynamic) {
        FluidSynthService::Options options = offline();
        options.dynamicSampleLoading = dynamic;
        FluidSynthService synth(soundFont, options);
        EXPECT_TRUE(synth.waitUntilLoaded(std::chrono::seconds(60))) << synth.loadError();
        const PortHandle port = synth.openOutput(0, SynthPortName);
        renderSeconds(synth, 0.1);
        synth.sendShort(port, packed(0xC1, 48));   // strings, not read at the start
        EXPECT_TRUE(synth.waitUntilSettled(std::chrono::seconds(60)));
        synth.sendShort(port, packed(0x91, 60, 100));
        return renderSeconds(synth, 1.0);
    };
    const std::vector<float> dynamic = play(true);
    const std::vector<float> everything = play(false);

    EXPECT_GT(rms(dynamic, 0.1, 0.6), SoundFontFile);
    ASSERT_EQ(dynamic.size(), everything.size());
    double difference = 0;
    for (std::size_t i = 0; i < dynamic.size(); ++i)
        difference = std::max(difference, double(std::fabs(dynamic[i] - everything[i])));
    EXPECT_LT(difference, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(SoundFonts, PresetChosenAfterStartUp,
                         ::testing::Values("/usr/share/sounds/sf2/TimGM6mb.sf2",
                                           // compressed samples (Ogg Vorbis)
                                           "/usr/share/sounds/sf3/FluidR3Mono_GM.sf3"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = std::filesystem::path(info.param).filename().string();
                             std::replace_if(
                                 name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
                             return name;
                         });

// While the samples of a channel's new preset are read, its notes sound at once (with the
// previous preset), neither dropped nor late.
TEST_F(FluidSynthServiceTest, NoteWhileItsPresetIsReadSoundsAtOnce)
{
    send(0xC0, 48);
    send(0x90, 60, 100);
    EXPECT_GT(rms(renderSeconds(*synth, 0.1), 0.0, 0.05), SoundFontFile);
}

// A program change whose preset is in memory must not overtake an earlier one of the same
// channel that waits for its samples: the last one sent wins.
TEST_F(FluidSynthServiceTest, LastProgramChangeOfAChannelWins)
{
    const auto piano = harmonicProfile(dryMiddleC(0), 0.2, 0.3, MiddleC);
    synth = makeSynth();
    port = synth->openOutput(0, SynthPortName);
    send(0xC0, 19);   // organ, read first
    send(0xC0, 0);    // piano, in memory since the start
    const auto last = harmonicProfile(dryMiddleC(0), 0.2, 0.3, MiddleC);
    EXPECT_LT(profileDistance(piano, last), 0.05);
}

// The loading thread is held at its start, so "before loaded" is certain.
TEST(FluidSynthServiceLoading, MessagesBeforeLoadingKeepStateAndDropNotes)
{
    if (!std::filesystem::exists(TimGm6mbFile))
        GTEST_SKIP() << "sound font missing: " << TimGm6mbFile;
    LoadingGate gate;
    FluidSynthService::Options options = offline();
    options.beforeLoading = gate.hook();
    FluidSynthService synth(TimGm6mbFile, options);
    const auto releaseGate = gate.releaseOnExit();

    // Neither opening nor sending waits for the sound font.
    const PortHandle port = synth.openOutput(0, SynthPortName);
    synth.sendShort(port, packed(0xC0, 19));
    synth.sendShort(port, packed(0xB0, 91, 0));
    synth.sendShort(port, packed(0xB0, 93, 0));
    synth.sendShort(port, packed(0x90, 60, 100));
    EXPECT_FALSE(synth.isLoaded());
    EXPECT_LT(peak(renderSeconds(synth, 0.1)), 1e-6);

    gate.release();
    ASSERT_TRUE(synth.waitUntilLoaded(std::chrono::seconds(20)));
    ASSERT_TRUE(synth.isLoaded()) << synth.loadError();
    EXPECT_LT(peak(renderSeconds(synth, 0.5)), 1e-6) << "the early note must not sound late";

    // The program change sent before loading is in force: the new note is an organ.
    synth.sendShort(port, packed(0x90, 60, 100));
    const auto early = harmonicProfile(renderSeconds(synth, 0.6), 0.2, 0.3, MiddleC);

    FluidSynthService reference(TimGm6mbFile, offline());
    ASSERT_TRUE(reference.waitUntilLoaded(std::chrono::seconds(20)));
    const PortHandle referencePort = reference.openOutput(0, SynthPortName);
    for (auto message : {packed(0xC0, 19), packed(0xB0, 91, 0), packed(0xB0, 93, 0), packed(0x90, 60, 100)}) {
        ASSERT_TRUE(reference.waitUntilSettled(std::chrono::seconds(20)));
        reference.sendShort(referencePort, message);
    }
    const auto organ = harmonicProfile(renderSeconds(reference, 0.6), 0.2, 0.3, MiddleC);
    EXPECT_LT(profileDistance(early, organ), 0.05);
}

TEST(FluidSynthServiceLoading, UnreadableSoundFontFailsOpenAndSend)
{
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "tarv-not-a-soundfont.sf2";
    std::ofstream(file) << "no sound font";
    FluidSynthService synth(file, offline());
    ASSERT_TRUE(synth.waitUntilLoaded(std::chrono::seconds(20)));
    EXPECT_FALSE(synth.isLoaded());
    EXPECT_NE(synth.loadError().find("Klangdatei kann nicht geladen werden"), std::string::npos);
    try {
        synth.openOutput(0, SynthPortName);
        ADD_FAILURE() << "openOutput succeeded";
    } catch (const MidiServiceError& e) {
        EXPECT_EQ(std::string(e.what()), synth.loadError());
    }
    std::filesystem::remove(file);
}

TEST(FluidSynthServiceAudio, OpenOutputFailsWithTheDriversReason)
{
    if (!std::filesystem::exists(TimGm6mbFile))
        GTEST_SKIP() << "sound font missing: " << TimGm6mbFile;
    // The file driver cannot run with a callback of ours, so it always fails, and says why.
    FluidSynthService::Options options;
    options.drivers = {"file"};
    FluidSynthService synth(TimGm6mbFile, options);
    try {
        synth.openOutput(0, SynthPortName);
        ADD_FAILURE() << "openOutput succeeded";
    } catch (const MidiServiceError& e) {
        const std::string text = e.what();
        EXPECT_EQ(text.rfind("Audioausgabe kann nicht geöffnet werden: file: ", 0), 0u) << text;
        EXPECT_GT(text.size(), std::string("Audioausgabe kann nicht geöffnet werden: file: ").size());
    }
    EXPECT_TRUE(synth.audioDriver().empty());

    options.drivers = {"no-such-driver"};
    FluidSynthService none(TimGm6mbFile, options);
    EXPECT_THROW(none.openOutput(0, SynthPortName), MidiServiceError);
}

}   // namespace
