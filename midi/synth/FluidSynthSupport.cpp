// Small helpers around FluidSynth's C API: owning pointers, log capture, the synth's settings.
#include "FluidSynthSupport.h"

#include "midi/MidiService.h"

#include <array>
#include <mutex>
#include <utility>

namespace tarv {

namespace {

constexpr int DrumBank = 128;   // FluidSynth's bank of the percussion channels

thread_local std::string* tLogCapture = nullptr;

void logHandler(int level, const char* message, void* data)
{
    if (!tLogCapture) {
        fluid_default_log_function(level, message, data);
    } else if (level == FLUID_PANIC || level == FLUID_ERR) {
        if (!tLogCapture->empty())
            *tLogCapture += "; ";
        *tLogCapture += message ? message : "";
    }
}

}   // namespace

LogCapture::LogCapture(std::string& into) : fPrevious(tLogCapture)
{
    tLogCapture = &into;
}

LogCapture::~LogCapture()
{
    tLogCapture = fPrevious;
}

void installLogHandler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO})
            fluid_set_log_function(level, logHandler, nullptr);
    });
}

FluidPtr<fluid_settings_t> newSettings(int sampleRate, int periodSize, int periods)
{
    FluidPtr<fluid_settings_t> settings(new_fluid_settings());
    if (!settings)
        throw MidiServiceError("FluidSynth kann nicht gestartet werden");
    fluid_settings_setnum(settings.get(), "synth.sample-rate", sampleRate);
    fluid_settings_setint(settings.get(), "synth.reverb.active", 1);
    fluid_settings_setint(settings.get(), "synth.chorus.active", 1);
    // FluidSynth's default of 0.2 leaves a single note at -30 dBFS; 0.4 gives a ten-note
    // chord at full velocity about 6 dB of headroom.
    fluid_settings_setnum(settings.get(), "synth.gain", 0.4);
    fluid_settings_setint(settings.get(), "audio.period-size", periodSize);
    fluid_settings_setint(settings.get(), "audio.periods", periods);
    fluid_settings_setint(settings.get(), "synth.dynamic-sample-loading", 1);
    // Locking samples into memory (FluidSynth's default) takes them one by one with dynamic
    // loading, and so uses up a user's small limit of locked memory (ulimit -l), which JACK
    // needs to let the audio clients of the process start.
    fluid_settings_setint(settings.get(), "synth.lock-memory", 0);
    // Settings of drivers that this FluidSynth lacks fail harmlessly.
    fluid_settings_setint(settings.get(), "audio.jack.autoconnect", 1);
    fluid_settings_setstr(settings.get(), "audio.jack.id", "tarv");
    return settings;
}

std::set<std::string> compiledDrivers(fluid_settings_t* settings)
{
    std::set<std::string> names;
    fluid_settings_foreach_option(settings, "audio.driver", &names, [](void* data, const char*, const char* option) {
        static_cast<std::set<std::string>*>(data)->insert(option);
    });
    return names;
}

fluid_preset_t* presetFor(fluid_synth_t* synth, int font, int channel, int program)
{
    fluid_sfont_t* sfont = fluid_synth_get_sfont_by_id(synth, font);
    int fontOfChannel = 0, bank = 0, current = 0;
    if (!sfont || fluid_synth_get_program(synth, channel, &fontOfChannel, &bank, &current) != FLUID_OK)
        return nullptr;
    const std::array<std::pair<int, int>, 3> candidates = bank == DrumBank
        ? std::array<std::pair<int, int>, 3>{{{DrumBank, program}, {DrumBank, 0}, {DrumBank, 0}}}
        : std::array<std::pair<int, int>, 3>{{{bank, program}, {0, program}, {0, 0}}};
    for (const auto& [candidateBank, candidateProgram] : candidates)
        if (fluid_preset_t* preset = fluid_sfont_get_preset(sfont, candidateBank, candidateProgram))
            return preset;
    return nullptr;
}

std::string utf8(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

}   // namespace tarv
