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

// Module-level records, one instance each (read and written by the windows directly). The
// fields MIDI input reads or writes (Velocity, Volume, Panorama, Sustain, Chorus, Reverb; the
// six controller numbers and PlayMode) are guarded by PlayerStateLock (settings/PlayerState.h);
// the others belong to the UI thread. PcKeyMap: UI thread only.
extern TChannelSettings ChannelSettings;
extern TGeneralSettings GeneralSettings;
extern std::array<int, 24> PcKeyMap;   // "leftC" .. "leftB", "rightC" .. "rightB"
extern const std::array<int, 24> DefaultPcKeyMap;

// Full path of "tarvParameter.ini".
std::string SettingsFilePath();
// Tests point the settings at a folder of their own (empty: back to the normal rule).
void SetSettingsFolder(const std::string& folder);

// Puts ChannelSettings, GeneralSettings and PcKeyMap back to their built-in values (tests).
void ResetSettingsRecords();

// Each operation reads the file once and writes it at most once; nothing is cached. Reading
// never fails (missing or unreadable file, missing section or key: the defaults). Writing
// never replaces a file that exists but could not be read, and otherwise replaces the file as a
// whole or not at all and throws SettingsWriteError on failure. `channel` is 0..15
// (std::out_of_range otherwise).
// Threads: the UI thread (and the start-up before any window). The operations that read or write
// the records take PlayerStateLock only to copy, never while the file is read or written; their
// caller must not hold it. The stored settings are sent by sending/SettingsSending.h.
void WriteDefaultSettings();
void LoadSettings(int channel);
void SaveSettings(int channel);
// Writes these records as the channel's settings and the general settings ("Kanal" = channel).
void SaveSettings(int channel, const TChannelSettings& settings, const TGeneralSettings& general);
// The channel's settings as stored in the file, with the read defaults (ChannelSettings untouched).
TChannelSettings StoredChannelSettings(int channel);
// The same two reads on file contents already in memory (IniFile::fromBytes), with no file
// involved: for checks that feed many files through the settings in a short time.
void LoadSettings(int channel, const tarv::IniFile& contents);
TChannelSettings StoredChannelSettings(int channel, const tarv::IniFile& contents);
// The stored settings of all 16 channels, from one reading of the file.
std::array<TChannelSettings, 16> AllStoredChannelSettings();
// The general settings as stored in the file, with the read defaults (GeneralSettings untouched).
TGeneralSettings StoredGeneralSettings();
void LoadPcKeyMap();
