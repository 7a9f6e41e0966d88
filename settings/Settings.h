// The settings file: stored settings of the 16 channels, the general settings and the PC key map.
#pragma once

#include "SettingsWriteError.h"

#include <array>
#include <cstdint>
#include <string>

namespace tarv {
class IniFile;
}

struct TChannelSettings {
    std::uint8_t Instrument = 0;
    std::uint8_t Velocity = 127;
    std::uint8_t Volume = 127;
    std::uint8_t Panorama = 64;
    std::uint8_t Sustain = 0;
    std::uint8_t Chorus = 0;
    std::uint8_t Reverb = 0;

    bool operator==(const TChannelSettings&) const = default;
};

struct TGeneralSettings {
    std::int32_t Delay = 10;
    std::uint8_t Velocitycontroller = 3;
    std::uint8_t Volumecontroller = 7;
    std::uint8_t Panoramacontroller = 10;
    std::uint8_t Sustaincontroller = 64;
    std::uint8_t Choruscontroller = 91;
    std::uint8_t Reverbcontroller = 93;
    std::uint8_t PlayMode = 0;   // stored as "Programmmodus"
    bool Hint = true;
};

// The PC key map (UI thread only). The records the player edits are its own (player/Player.h).
extern std::array<int, 24> PcKeyMap;   // "leftC" .. "leftB", "rightC" .. "rightB"
extern const std::array<int, 24> DefaultPcKeyMap;

// Full path of "tarvParameter.ini".
std::string SettingsFilePath();
// Tests point the settings at a folder of their own (empty: back to the normal rule).
void SetSettingsFolder(const std::string& folder);

// Puts PcKeyMap back to its built-in values (tests).
void ResetPcKeyMap();

// Each operation reads the file once and writes it at most once; nothing is cached. Reading
// never fails (missing or unreadable file, missing section or key: the defaults). Writing
// never replaces a file that exists but could not be read, and otherwise replaces the file as a
// whole or not at all and throws SettingsWriteError on failure. `channel` is 0..15
// (std::out_of_range otherwise).
// Threads: the UI thread (and the start-up before any window); no lock is taken, and the player
// calls none of them under its own. The stored settings are sent by sending/SettingsSending.h.
void WriteDefaultSettings();
// Writes these records as the channel's settings and the general settings ("Kanal" = channel).
void SaveSettings(int channel, const TChannelSettings& settings, const TGeneralSettings& general);
// The channel's settings as stored in the file, with the read defaults.
TChannelSettings StoredChannelSettings(int channel);
// The same reads on file contents already in memory (IniFile::fromBytes), with no file
// involved: for checks that feed many files through the settings in a short time.
TChannelSettings StoredChannelSettings(int channel, const tarv::IniFile& contents);
TGeneralSettings StoredGeneralSettings(const tarv::IniFile& contents);
// The stored settings of all 16 channels, from one reading of the file.
std::array<TChannelSettings, 16> AllStoredChannelSettings();
// The general settings as stored in the file, with the read defaults.
TGeneralSettings StoredGeneralSettings();
void LoadPcKeyMap();
