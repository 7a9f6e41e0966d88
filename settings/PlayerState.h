// The player's runtime state: module-level variables read and written by the windows directly.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>

// The one lock of the state that MIDI input shares with the windows. MIDI input handles each
// message under it on the MIDI service thread (rules, routing, sends); the UI thread takes it for
// every change of that state and for its own sends. It guards the "shared" variables below,
// the fields of ChannelSettings and GeneralSettings that MIDI input reads or writes (the values of
// the sliders and the sustain pedal, the bound controller numbers, the play mode; settings/Settings.h),
// NotesOn and CurrentOutputPort (midi/MidiSenders.h), the port dialog's monitor state
// (dialogs/portWahl.h) and the main window's note router and shown state (mainwindow/Pemo.h).
// Whoever holds it never waits for another thread or for a window, reads or writes no file,
// and opens or closes no input port (closing waits for a running input callback).
extern std::mutex PlayerStateLock;

// Shared: MIDI input reads them, and writes those marked so. Written under the lock; the UI
// thread may read without it a variable that MIDI input never writes.
// The play mode is GeneralSettings.PlayMode (settings/Settings.h).
extern std::uint8_t LeftChannel;          // 0..15, shown plus 1
extern std::uint8_t RightChannel;         // 0..15
extern std::uint8_t SplitNote;            // lowest note of the right side, 60 at start; MIDI input writes
extern std::uint8_t SplitOctave;          // SplitNote div 12; MIDI input writes
extern std::uint8_t SplitChannelOctave;   // 0..SplitOctave; MIDI input writes
extern bool SplitArmed;                   // MIDI input writes
extern std::uint8_t Transpose;            // 0..11 semitones
extern bool SustainOn;                    // MIDI input writes
extern bool ManualVelocity;
extern bool LearnOn;
extern std::uint8_t LearnedController;   // MIDI input writes

// UI thread only, no lock.
extern bool ReadoutOn;
extern bool PcKeysOn;
extern bool PcKeyMapLoaded;
extern std::array<bool, 24> PcKeyHeld;

// Puts every variable above back to its value at program start (tests; no MIDI input running).
void ResetPlayerState();
