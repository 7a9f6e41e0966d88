// The output port set with the built-in synthesizer in front of the system's ports.
#pragma once

#include "MidiService.h"
#include "SynthModule.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tarv {

struct WithSynth {
    std::unique_ptr<MidiService> service;
    // Why the synthesizer is missing although a sound font was found (its module could not be
    // loaded, FluidSynth could not start), for the player; empty otherwise.
    std::string failure;
};

// The system's MIDI service with the built-in synthesizer as output port 0 and the system's
// outputs after it; the inputs are the system's. The sound font is looked for first
// (findSoundFont with the places of defaultSoundFontSearch(executableFolder)); only when one is
// found is the synthesizer's module loaded, from the first of synthModuleFolders(executableFolder)
// that holds it. The synthesizer starts loading its sound font at once; `onLoaded` runs on its
// loading thread once the sound font is in and the messages sent meanwhile are played.
// Without a sound font (none found, or TARV_SOUNDFONT=none), and when the module cannot be
// loaded, the system service is returned unchanged. UI thread, before the service is in use.
WithSynth withBuiltInSynth(std::unique_ptr<MidiService> system, const std::filesystem::path& executableFolder,
                           std::function<void()> onLoaded = {});

// Where the synthesizer's module is looked for: beside the executable, then ../lib/tarv.
std::vector<std::filesystem::path> synthModuleFolders(const std::filesystem::path& executableFolder);

// The module's entry point from the first of `folders` that holds SynthModuleFile; null with
// the reason in `failure` when none does or the first found cannot be loaded. The module
// stays loaded for the life of the process.
CreateSynth loadSynthModule(const std::vector<std::filesystem::path>& folders, std::string& failure);

// A service whose outputs are those of `front` followed by those of `system`; its inputs,
// apiName() and unavailableReason() are the system's. Handles of either service become
// handles of the combined service of its own, so equal handle values of the two never meet.
std::unique_ptr<MidiService> withOutputsInFront(std::unique_ptr<MidiService> front,
                                                std::unique_ptr<MidiService> system);

}   // namespace tarv
