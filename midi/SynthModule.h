// The door between the program and the built-in synthesizer's module, a shared library loaded
// at run time, so that FluidSynth and its many libraries are loaded only when the synth plays.
#pragma once

#include "MidiService.h"

#include <functional>
#include <string>

namespace tarv {

// The module's file name; the program looks for it beside its executable, then in
// ../lib/tarv relative to it (where the package installs it).
inline constexpr char SynthModuleFile[] = "tarv-synth.so";

// The module's one entry point, exported under the plain name SynthModuleEntry. Creates the
// synthesizer's service for the sound font at `soundFont` (UTF-8), which starts loading it at
// once; `onLoaded` runs on its loading thread once the sound font is in and the messages sent
// meanwhile are played. Null with the reason in `failure` when FluidSynth cannot start; it
// throws nothing. The caller owns the service; the module stays loaded while it lives.
using CreateSynth = MidiService* (*)(const std::string& soundFont, std::function<void()> onLoaded,
                                     std::string& failure);
inline constexpr char SynthModuleEntry[] = "tarvCreateSynth";

}   // namespace tarv
