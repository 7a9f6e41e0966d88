// The FluidSynth service's state, shared by its files (the service and its audio output).
#pragma once

#include "FluidSynthService.h"
#include "FluidSynthSupport.h"
#include "PendingMessages.h"

#include "midi/PortTable.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <variant>

namespace tarv {

struct FluidSynthService::Impl {
    std::filesystem::path soundFont;
    Options options;
    FluidPtr<fluid_settings_t> settings;   // the synth's
    // Created by the loading thread; used by other threads only once `loaded` is set (or
    // under `lock` after loading has ended).
    FluidPtr<fluid_synth_t> synth;

    mutable std::mutex lock;   // guards the fields up to the atomics; taken before FluidSynth's own lock
    mutable std::condition_variable settledChanged;   // loading ended, or the queue ran empty
    std::condition_variable pendingChanged;           // a message was queued, or stopping
    bool loadingEnded = false;
    bool stopping = false;
    std::string loadError;
    int font = FLUID_FAILED;   // the sound font's id in `synth`
    // Messages for the loading thread, in order: while loading, every one but notes;
    // afterwards the program changes whose samples are not in memory and what must follow them.
    PendingMessages pending{FluidSynthService::PendingLimit};
    PortTable<std::monostate> outputs{"Der MIDI-Ausgang ist nicht geöffnet"};
    std::uint16_t playedChannels = 0xFFFF;   // bit n: channel n is played
    // The program change of a channel not played, waiting for the channel to be (0: none).
    std::array<std::uint32_t, 16> setAside{};
    // Settings of a driver opened while the sound font was loading, so that the driver
    // cannot reach the synth (see openAudio); null when the driver uses `settings`.
    FluidPtr<fluid_settings_t> driverSettings;
    FluidPtr<fluid_audio_driver_t> driver;   // goes before its settings and the synth
    std::string driverName;
    bool reopening = false;   // the loading thread opens the output again, without `lock`

    std::atomic<bool> loaded{false};
    std::atomic<bool> wake{false};   // a message arrived: the render thread must render again

    // Used only by the thread that renders (the audio driver's, or render()'s caller).
    bool idle = false;
    long quietFrames = 0;

    // The silent instance that reads the samples of a preset for `synth` (FluidSynth shares
    // the data of equal samples between instances); created when first needed. Used by the
    // loading thread only.
    FluidPtr<fluid_settings_t> readerSettings;
    FluidPtr<fluid_synth_t> reader;
    int readerFont = FLUID_FAILED;

    std::thread loader;

    // The loading thread (FluidSynthService.cpp).
    void load();
    bool loadSoundFont();
    void serve();
    fluid_preset_t* readPreset(const SynthMessage& message);
    void send(SynthMessage message);
    void startPlaying(int channel);
    void setAsideUnplayedChannels();
    bool presetInMemory(int channel, int program) const;
    void play(const SynthMessage& message);
    void playShort(std::uint32_t packed);
    void checkOutput(PortHandle handle) const;

    // The audio output (FluidSynthAudio.cpp).
    struct OpenedDriver {
        FluidPtr<fluid_settings_t> settings;     // its own, for a driver that never sees the synth
        FluidPtr<fluid_audio_driver_t> driver;   // goes before its settings
        std::string name;
    };
    void openAudio();
    void openDriver(const std::vector<std::string>& drivers, bool withSynth);
    OpenedDriver newDriver(const std::vector<std::string>& drivers, bool withSynth);
    void reopenJackWithSynth(std::unique_lock<std::mutex>& guard);
    void closeAudio();
    void deleteDriver();
    void renderBlock(float* left, float* right, int frames);
    static int audioCallback(void* data, int len, int nfx, float* fx[], int nout, float* out[]);
};

}   // namespace tarv
