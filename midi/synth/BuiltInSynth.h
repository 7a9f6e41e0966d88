// The output port set with the built-in synthesizer in front of the system's ports.
#pragma once

#include "midi/MidiService.h"

#include <functional>
#include <memory>

namespace tarv {

// The system's MIDI service with the built-in synthesizer as output port 0 and the system's
// outputs after it; the inputs are the system's. The synthesizer starts loading its sound font
// at once; `onLoaded` runs on its loading thread once the sound font is in and the messages
// sent meanwhile are played. Without a sound font (findSoundFont() finds none, or
// TARV_SOUNDFONT=none) the system service is returned unchanged.
std::unique_ptr<MidiService> withBuiltInSynth(std::unique_ptr<MidiService> system, std::function<void()> onLoaded = {});

// A service whose outputs are those of `front` followed by those of `system`; its inputs,
// apiName() and unavailableReason() are the system's. Handles of either service become
// handles of the combined service of its own, so equal handle values of the two never meet.
std::unique_ptr<MidiService> withOutputsInFront(std::unique_ptr<MidiService> front,
                                                std::unique_ptr<MidiService> system);

}   // namespace tarv
