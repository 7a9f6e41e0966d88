// The player's runtime state: module-level variables read and written by the windows directly.
#pragma once

#include <array>
#include <cstdint>

// All of them live on the UI thread: MIDI input reaches them only through queued calls.
// The play mode is GeneralSettings.PlayMode (settings/Settings.h).
extern std::uint8_t LeftChannel;                       // 0..15, shown plus 1
extern std::uint8_t RightChannel;                      // 0..15
extern std::uint8_t SplitNote;                         // lowest note of the right side, 60 at start
extern std::uint8_t SplitOctave;                       // SplitNote div 12
extern std::uint8_t SplitChannelOctave;                // 0..SplitOctave
extern bool SplitArmed;
extern std::uint8_t Transpose;                         // 0..11 semitones
extern bool SustainOn;
extern bool ReadoutOn;
extern bool ManualVelocity;
extern bool LearnOn;
extern std::uint8_t LearnedController;
extern bool PcKeysOn;
extern bool PcKeyMapLoaded;
extern std::array<bool, 24> PcKeyHeld;

// Puts every variable above back to its value at program start (tests).
void ResetPlayerState();
