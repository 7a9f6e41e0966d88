// The settings file: stored settings of the 16 channels, the general settings and the PC key map.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
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

// Module-level records, one instance each (read and written by the windows directly).
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
void WriteDefaultSettings();
void LoadSettings(int channel);
void SaveSettings(int channel);
// The channel's settings as stored in the file, with the read defaults (ChannelSettings untouched).
TChannelSettings StoredChannelSettings(int channel);
// The same two reads on file contents already in memory (IniFile::fromBytes), with no file
// involved: for checks that feed many files through the settings in a short time.
void LoadSettings(int channel, const tarv::IniFile& contents);
TChannelSettings StoredChannelSettings(int channel, const tarv::IniFile& contents);
// Sends the channel's stored settings (not ChannelSettings) on CurrentOutputPort.
void SendStoredChannel(int channel);
void SendAllStoredChannels();
void LoadPcKeyMap();

// Thrown when the settings file cannot be written ("In %s kann nicht geschrieben werden").
class SettingsWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
