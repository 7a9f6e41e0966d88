// The built-in synthesizer's module: its one entry point, which the program looks up by name.
#include "FluidSynthService.h"

#include "midi/SynthModule.h"

#include <type_traits>

extern "C" __attribute__((visibility("default"))) tarv::MidiService*
tarvCreateSynth(const std::string& soundFont, std::function<void()> onLoaded, std::string& failure)
{
    try {
        tarv::FluidSynthService::Options options;
        options.afterLoading = std::move(onLoaded);
        const std::u8string path(soundFont.begin(), soundFont.end());
        return new tarv::FluidSynthService(std::filesystem::path(path), std::move(options));
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = "unbekannter Fehler";
    }
    return nullptr;
}

// The signature is the program's: a mismatch fails to compile here.
static_assert(std::is_same_v<decltype(&tarvCreateSynth), tarv::CreateSynth>);
