// The synthesizer's real audio output, heard through a running JACK server (skipped without one).
#include "FluidSynthService.h"
#include "JackCapture.h"
#include "SynthAudio.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

using namespace tarv;
using namespace tarv::test;

namespace {

// The JACK output, opened while the sound font is held back at `gate`.
FluidSynthService::Options jackWhileLoading(LoadingGate& gate)
{
    FluidSynthService::Options options;
    options.drivers = {"jack"};
    options.beforeLoading = gate.hook();
    return options;
}

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
    FluidSynthService synth(TimGm6mbFile, jackWhileLoading(gate));
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

// A JACK client of the program that sends to the synth in its process callback (the MIDI
// input's) keeps its periods while the synth's output goes again with the loaded sound font:
// the server waits for that client in every cycle, so a send that waited for the reopening
// would stall the whole server (for its timeout of 5 s when it runs synchronously).
TEST(FluidSynthServiceJack, ASenderOnAJackThreadKeepsItsPeriodsWhileTheOutputOpensAgain)
{
    if (!std::filesystem::exists(TimGm6mbFile))
        GTEST_SKIP() << "sound font missing: " << TimGm6mbFile;
    if (!JackCapture().valid())
        GTEST_SKIP() << "no JACK server runs";
    LoadingGate gate;
    FluidSynthService synth(TimGm6mbFile, jackWhileLoading(gate));
    const auto releaseGate = gate.releaseOnExit();
    const PortHandle port = synth.openOutput(0, SynthPortName);
    std::atomic<std::int64_t> longestGap{0};   // ms
    std::chrono::steady_clock::time_point last{};
    JackCapture sender("tarv-sender", [&] {
        const auto now = std::chrono::steady_clock::now();
        if (last != std::chrono::steady_clock::time_point{})
            longestGap = std::max<std::int64_t>(longestGap, (now - last) / std::chrono::milliseconds(1));
        last = now;
        synth.sendShort(port, packed(0xB0, 1, 0));
    });
    ASSERT_TRUE(waitFor([&] { return sender.periods() > 5; }));
    gate.release();
    ASSERT_TRUE(synth.waitUntilLoaded(std::chrono::seconds(20)));
    const long loaded = sender.periods();
    ASSERT_TRUE(waitFor([&] { return sender.periods() > loaded + 20; }));
    EXPECT_LT(longestGap.load(), 2000) << "ms between two periods of the sending client";
}

}   // namespace
