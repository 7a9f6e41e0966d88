// The synthesizer's real audio output, heard through a running JACK server (skipped without one).
#include "FluidSynthService.h"
#include "JackCapture.h"
#include "SynthAudio.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace tarv;
using namespace tarv::test;

namespace {

TEST(FluidSynthServiceJack, NoteIsHeardAtItsPitchAndSilenceFollows)
{
    if (!std::filesystem::exists(TimGm6mbFile))
        GTEST_SKIP() << "sound font missing: " << TimGm6mbFile;
    JackCapture capture;
    if (!capture.valid())
        GTEST_SKIP() << "no JACK server runs";

    // The port opens while the sound font is still loading: the output starts without the
    // synth and is set to the server's sample rate once the synth is there.
    LoadingGate gate;
    FluidSynthService::Options options;
    options.drivers = {"jack"};
    options.beforeLoading = gate.hook();
    FluidSynthService synth(TimGm6mbFile, options);
    const auto releaseGate = gate.releaseOnExit();
    const PortHandle port = synth.openOutput(0, SynthPortName);
    EXPECT_EQ(synth.audioDriver(), "jack");
    gate.release();
    ASSERT_TRUE(synth.waitUntilLoaded(std::chrono::seconds(20)));
    ASSERT_GE(capture.connectFrom("^tarv[^:]*:left$"), 1);

    const long start = capture.periods();
    ASSERT_TRUE(waitFor([&] { return capture.periods() > start + 20; }));
    EXPECT_LT(capture.lastPeak(), 1e-6f);

    for (auto message : {packed(0xB0, 91, 0), packed(0xB0, 93, 0), packed(0x90, 60, 100)})
        synth.sendShort(port, message);
    capture.arm(1e-3f);
    ASSERT_TRUE(waitFor([&] { return capture.heard(); }));
    capture.startRecording();
    ASSERT_TRUE(waitFor([&] { return capture.recordingDone(); }));
    // The synth follows the server's sample rate, whatever its own: the pitch stays right.
    EXPECT_NEAR(pitch(capture.recording(), 0.1, 0.2, capture.sampleRate()), 261.63, 3.0)
        << "server rate " << capture.sampleRate();

    synth.sendShort(port, packed(0xB0, 123, 0));
    EXPECT_TRUE(waitFor([&] { return capture.lastPeak() < 1e-4f; }, std::chrono::seconds(10)));
    synth.closeOutput(port);
}

}   // namespace
