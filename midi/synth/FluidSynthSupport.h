// Small helpers around FluidSynth's C API: owning pointers, log capture, the synth's settings.
#pragma once

#include <fluidsynth.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>

namespace tarv {

// FluidSynth's objects, each freed by its own delete function.
struct FluidDelete {
    void operator()(fluid_settings_t* settings) const { delete_fluid_settings(settings); }
    void operator()(fluid_synth_t* synth) const { delete_fluid_synth(synth); }
    void operator()(fluid_audio_driver_t* driver) const { delete_fluid_audio_driver(driver); }
};
template <class T>
using FluidPtr = std::unique_ptr<T, FluidDelete>;

// FluidSynth reports its failures only through its log. While a capture is active on a
// thread, the errors logged on that thread are collected into its text and its warnings and
// notes are dropped (the failure text says what matters); otherwise FluidSynth prints as usual.
// installLogHandler() must have run once before (any thread).
class LogCapture {
public:
    explicit LogCapture(std::string& into);
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

private:
    std::string* fPrevious;
};
void installLogHandler();

// The settings every FluidSynth object of the service gets (sample rate, periods, gain,
// effects, dynamic sample loading), so that an audio driver opened with settings of its own
// plays at the synth's sample rate with the synth's periods. Throws MidiServiceError.
FluidPtr<fluid_settings_t> newSettings(int sampleRate, int periodSize, int periods);

// The names of the audio drivers this FluidSynth was built with.
std::set<std::string> compiledDrivers(fluid_settings_t* settings);

// The preset that a program change to `program` selects on `channel` of `synth`, with
// FluidSynth's own fallbacks: on a percussion channel the first kit, on others the program in
// bank 0, then bank 0's first program. Null when the sound font has none of them.
fluid_preset_t* presetFor(fluid_synth_t* synth, int font, int channel, int program);

std::string utf8(const std::filesystem::path& path);

}   // namespace tarv
