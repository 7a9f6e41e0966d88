// The choice of the MIDI system and the process-wide MIDI service made from it.
#pragma once

#include "MidiService.h"

#include <memory>

namespace tarv {

// The process-wide service. The first call without an installed service creates the
// service chosen by TARV_MIDI_API (alsa, jack, winmm, core, loopback) or the platform's default.
// Any thread.
MidiService& midiService();
// Installs a service (tests and benchmarks install a loopback service); returns the previous one.
// The caller makes sure that no port of the previous service is still in use.
std::unique_ptr<MidiService> setMidiService(std::unique_ptr<MidiService> service);

// Creates the service that TARV_MIDI_API chooses: "alsa", "jack", "winmm" or "core" (RtMidi),
// "loopback" (two inputs "Loopback In 1/2", two outputs "Loopback Out 1/2"). Without the
// variable the platform's default system, falling back to the next compiled one when it
// cannot start. Never fails: when nothing can start, the service has no ports and every
// open or send fails with a text that says why (see unavailableReason()).
std::unique_ptr<MidiService> createSystemMidiService();

}   // namespace tarv
