// The built-in General MIDI synthesizer: a MIDI service with one output port played by FluidSynth.
#pragma once

#include "midi/MidiService.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tarv {

inline constexpr const char* SynthPortName = "tarv GM Synth (FluidSynth)";

// Plays every message sent to its single output port through FluidSynth (chorus and reverb
// on) and sends the audio to the system's default audio output. It has no input ports.
//
// The sound font is loaded on a thread of its own, started by the constructor, so that
// neither the constructor nor openOutput nor sendShort waits for it. Until the sound font is
// loaded the port keeps the channel state messages (program change, controllers, pitch bend,
// channel pressure, system exclusive) in a queue of at most PendingLimit messages and plays
// them in order once the sound font is in; later ones are dropped. Notes (note on and off,
// key pressure) sent meanwhile are dropped: a note that sounded seconds late would be worse
// than a missing one.
//
// Only the samples of the presets in use are in memory (FluidSynth's dynamic sample loading):
// the sound font's presets are read when a program change selects them. Reading a preset
// takes milliseconds to tens of milliseconds, and FluidSynth would hold its lock all that
// time, so that every other call into the synth waited. So a program change whose preset is
// not in memory yet goes to the loading thread, which reads the samples through a second,
// silent FluidSynth instance (FluidSynth shares sample data between instances) and only then
// switches the channel: until then the channel keeps its previous sound, and no call of
// another thread waits for the reading. Bank selects and program changes of that channel sent
// meanwhile follow it in order. The audio thread never waits for loading either way.
//
// The program change of a channel that the player does not play (playChannels) is set aside
// and read only when the channel is played (told so, or at its first Note On, which then may
// sound without its preset); a channel not played once the sound font is in holds no preset
// at all. The channel's other messages take effect as ever.
//
// All calls are thread-safe.
class FluidSynthService : public MidiService {
public:
    static constexpr std::size_t PendingLimit = 4096;
    static constexpr int SampleRate = 48000;
    // audio.period-size and audio.periods: 2 x 128 frames at 48 kHz buffer 5.3 ms; FluidSynth
    // applies a message at its next internal block of 64 frames (1.3 ms at most on top).
    static constexpr int PeriodSize = 128;
    static constexpr int Periods = 2;

    struct Options {
        // false: no audio driver at all; the audio is taken with render() (tests, benchmarks).
        bool audio = true;
        // FluidSynth audio drivers to try in this order; empty: TARV_AUDIO_DRIVER if set,
        // else the platform's list (Linux: pipewire, pulseaudio, alsa, jack).
        std::vector<std::string> drivers;
        // Runs on the loading thread before the sound font is read (tests hold loading with it).
        std::function<void()> beforeLoading;
        // Runs on the loading thread once the sound font is loaded and the messages sent
        // meanwhile are played (the start-up figures note the moment).
        std::function<void()> afterLoading;
        // false: every sample of the sound font is read at once (for comparison).
        bool dynamicSampleLoading = true;
    };

    explicit FluidSynthService(std::filesystem::path soundFont);
    FluidSynthService(std::filesystem::path soundFont, Options options);
    // Closes the audio output and waits for the loading thread (a sound font that is being
    // read is read to its end first).
    ~FluidSynthService() override;

    std::string apiName() const override { return "fluidsynth"; }
    std::vector<std::string> inputNames() override { return {}; }
    std::vector<std::string> outputNames() override { return {SynthPortName}; }
    PortHandle openInput(int index, const std::string& name, int instance, ShortMessageHandler onShort,
                         ByteBlockHandler onBlock) override;
    void closeInput(PortHandle handle) override;
    // The first open handle starts the audio output, closing the last one stops it (and every
    // sounding note). Throws "Audioausgabe kann nicht geöffnet werden: ..." when no audio
    // driver can be opened, and the loading failure once the sound font could not be loaded.
    PortHandle openOutput(int index, const std::string& name) override;
    void closeOutput(PortHandle handle) override;
    void sendShort(PortHandle handle, std::uint32_t packed) override;
    // Plays a complete system-exclusive message (F0 ... F7); anything else is ignored.
    void sendBlock(PortHandle handle, const std::uint8_t* data, std::size_t size) override;
    // Every channel is played until the first call.
    void playChannels(PortHandle handle, std::uint16_t channels) override;

    const std::filesystem::path& soundFont() const;
    bool isLoaded() const;
    // Waits until loading has ended (loaded or failed); true when it ended in time.
    bool waitUntilLoaded(std::chrono::milliseconds timeout) const;
    // Waits until every message sent so far is played, program changes whose samples had to
    // be read included; true when that happened in time.
    bool waitUntilSettled(std::chrono::milliseconds timeout) const;
    // Why the sound font could not be loaded; empty while loading or after success.
    std::string loadError() const;
    // The FluidSynth audio driver in use ("pulseaudio", "jack", ...); empty while none is open.
    std::string audioDriver() const;

    // Offline services only: renders `frames` frames of stereo audio (planar, 48 kHz, -1..1).
    // Gives silence while the sound font is loading.
    void render(float* left, float* right, int frames);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}   // namespace tarv
