// The settings file: its key tables, its location and the settings operations.
#include "Settings.h"

#include "ExecutableFolder.h"
#include "IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <variant>

// Windows virtual-key codes of a German keyboard: upper letter row with the digit row for the
// octave left of the split point, lower letter row with the home row for the right one.
const std::array<int, 24> DefaultPcKeyMap = {
    81, 50, 87, 51, 69, 82, 53, 84,  54, 90,  55,  85,    // Q 2 W 3 E R 5 T 6 Z 7 U
    86, 71, 66, 72, 78, 77, 75, 188, 76, 190, 192, 189,   // V G B H N M K , L . Ö -
};
std::array<int, 24> PcKeyMap = DefaultPcKeyMap;

namespace {

using tarv::IniFile;

constexpr const char* SettingsFileName = "tarvParameter.ini";
constexpr const char* GeneralSection = "allgemein";
constexpr const char* KeyboardSection = "keyboard";
constexpr int ChannelCount = 16;

// Section "kanal" + n. Every field is a MIDI data byte.
struct ChannelKey {
    const char* name;
    std::int32_t freshBase;   // value in a new file for channel n: freshBase + freshStep * n
    std::int32_t freshStep;
    std::int32_t readDefault;
    std::uint8_t TChannelSettings::*field;   // nullptr for "Kanal": written from LeftChannel, never read
};

constexpr std::array<ChannelKey, 8> ChannelKeys = {{
    {"Instrument", 0, 8, 0, &TChannelSettings::Instrument},   // one instrument family per channel
    {"Velocity", 127, 0, 127, &TChannelSettings::Velocity},
    {"Volume", 127, 0, 127, &TChannelSettings::Volume},
    {"Panorama", 64, 0, 64, &TChannelSettings::Panorama},
    {"Sustain", 0, 0, 0, &TChannelSettings::Sustain},
    {"Chorus", 0, 0, 0, &TChannelSettings::Chorus},
    {"Reverb", 0, 0, 0, &TChannelSettings::Reverb},
    {"Kanal", 0, 1, 0, nullptr},
}};

// Section "allgemein". A byte field keeps the low 8 bits of the value read; MIDI bytes are
// then held to 127, so that no data byte above 127 can come from a hand-edited file.
enum class Storage { MidiByte, RawByte, Int32, Boolean, FreshOnly };
using GeneralField = std::variant<std::monostate, std::uint8_t TGeneralSettings::*, std::int32_t TGeneralSettings::*,
                                  bool TGeneralSettings::*>;

struct GeneralKey {
    const char* name;
    std::int32_t fresh;
    std::int32_t readDefault;
    Storage storage;
    GeneralField field;
    int storedRank;   // place in the order in which LoadSettings and SaveSettings walk the keys
};

// In the order of a new file. The keys stored as FreshOnly are written into a new file only.
constexpr std::array<GeneralKey, 15> GeneralKeys = {{
    {"Delay", 10, 10, Storage::Int32, &TGeneralSettings::Delay, 0},
    {"Abschlag", 127, 0, Storage::FreshOnly, {}, -1},
    {"Aufschlag", 127, 0, Storage::FreshOnly, {}, -1},
    {"Hint", 1, 1, Storage::Boolean, &TGeneralSettings::Hint, 8},
    {"Velocitycontroller", 3, 3, Storage::MidiByte, &TGeneralSettings::Velocitycontroller, 1},
    {"Volumecontroller", 7, 7, Storage::MidiByte, &TGeneralSettings::Volumecontroller, 2},
    {"Panoramacontroller", 10, 10, Storage::MidiByte, &TGeneralSettings::Panoramacontroller, 3},
    {"Sustaincontroller", 64, 64, Storage::MidiByte, &TGeneralSettings::Sustaincontroller, 4},
    {"Choruscontroller", 91, 91, Storage::MidiByte, &TGeneralSettings::Choruscontroller, 5},
    {"Reverbcontroller", 93, 93, Storage::MidiByte, &TGeneralSettings::Reverbcontroller, 6},
    {"Abschlagcontroller", 14, 0, Storage::FreshOnly, {}, -1},
    {"Aufschlagcontroller", 15, 0, Storage::FreshOnly, {}, -1},
    {"Glissandocontroller", 9, 0, Storage::FreshOnly, {}, -1},
    // Loaded as written, even a value other than 0 or 1 (such a mode routes no notes).
    {"Programmmodus", 0, 0, Storage::RawByte, &TGeneralSettings::PlayMode, 7},
    {"FisE7", 1, 0, Storage::FreshOnly, {}, -1},
}};

constexpr int StoredGeneralCount = 9;
constexpr std::array<const GeneralKey*, StoredGeneralCount> StoredGeneralKeys = [] {
    std::array<const GeneralKey*, StoredGeneralCount> order{};
    for (const GeneralKey& key : GeneralKeys) {
        if (key.storedRank >= 0)
            order[key.storedRank] = &key;
    }
    return order;
}();

// Section "keyboard", in the order of PcKeyMap; the defaults are DefaultPcKeyMap.
// clang-format off
constexpr std::array<const char*, 24> PcKeyNames = {
    "leftC", "leftC#", "leftD", "leftD#", "leftE", "leftF",
    "leftF#", "leftG", "leftG#", "leftA", "leftBb", "leftB",
    "rightC", "rightC#", "rightD", "rightD#", "rightE", "rightF",
    "rightF#", "rightG", "rightG#", "rightA", "rightBb", "rightB",
};
// clang-format on

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
// Spelled out for compilers without deduction for aggregates (clang before 17).
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

std::string settingsFolder;   // set by tests; empty: the normal rule

std::uint8_t lowByte(std::int32_t value)
{
    return static_cast<std::uint8_t>(value & 0xFF);
}

std::uint8_t midiByte(std::int32_t value)
{
    return std::min<std::uint8_t>(lowByte(value), 127);
}

QString channelSection(int channel)
{
    if (channel < 0 || channel >= ChannelCount)
        throw std::out_of_range("settings channel out of range: " + std::to_string(channel));
    return QStringLiteral("kanal%1").arg(channel);
}

// The same folder before and after the application object exists.
QString executableFolder()
{
    const std::filesystem::path folder = tarv::executableFolder();
    // A system that cannot tell leaves the working folder as the last resort.
    return folder.empty() ? QDir::currentPath() : QDir(folder).path();
}

// Whether a file can really be made in `folder`, asked by making one. Windows answers
// QFileInfo::isWritable() from the read-only attribute alone, so a folder under Program Files,
// which only an administrator may write, would pass. Once the settings file exists beside the
// executable nobody asks any more.
bool canCreateFileIn(const QString& folder)
{
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral("tarv-write-test-XXXXXX")));
    return probe.open();
}

// The user's configuration folder, for an executable in a folder the user cannot write.
QString configFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    // Without an application name Qt answers with the general configuration folder itself.
    if (QCoreApplication::applicationName().isEmpty())
        folder = QDir(folder).filePath(QStringLiteral("tarv"));
    QDir().mkpath(folder);
    return folder;
}

QString settingsPath()
{
    if (!settingsFolder.empty())
        return QDir(QString::fromStdString(settingsFolder)).filePath(SettingsFileName);
    const QString folder = executableFolder();
    const QString besideExecutable = QDir(folder).filePath(SettingsFileName);
    // A file next to the executable always wins, so a portable copy keeps its own settings.
    if (QFileInfo::exists(besideExecutable) || canCreateFileIn(folder))
        return besideExecutable;
    return QDir(configFolder()).filePath(SettingsFileName);
}

void storeGeneral(TGeneralSettings& general, const GeneralKey& key, std::int32_t value)
{
    std::visit(Overloaded{
                   [](std::monostate) {},
                   [&](std::uint8_t TGeneralSettings::*field) {
                       general.*field = key.storage == Storage::MidiByte ? midiByte(value) : lowByte(value);
                   },
                   [&](std::int32_t TGeneralSettings::*field) { general.*field = value; },
                   [&](bool TGeneralSettings::*field) { general.*field = value != 0; },
               },
               key.field);
}

std::int32_t generalValue(const TGeneralSettings& general, const GeneralKey& key)
{
    return std::visit(Overloaded{
                          [](std::monostate) { return std::int32_t(0); },
                          [&](std::uint8_t TGeneralSettings::*field) { return std::int32_t(general.*field); },
                          [&](std::int32_t TGeneralSettings::*field) { return general.*field; },
                          [&](bool TGeneralSettings::*field) { return std::int32_t(general.*field ? 1 : 0); },
                      },
                      key.field);
}

TGeneralSettings readGeneral(const IniFile& ini)
{
    TGeneralSettings general;
    for (const GeneralKey* key : StoredGeneralKeys)
        storeGeneral(general, *key, ini.readInteger(GeneralSection, key->name, key->readDefault));
    return general;
}

// Writes the channel's record ("Kanal" = leftChannel) and the general settings.
void writeSettings(int channel, const TChannelSettings& settings, const TGeneralSettings& general, int leftChannel)
{
    const QString path = settingsPath();
    const QString section = channelSection(channel);
    IniFile ini = IniFile::load(path);
    for (const ChannelKey& key : ChannelKeys)
        ini.setValue(section, key.name, key.field ? std::int32_t(settings.*key.field) : std::int32_t(leftChannel));
    for (const GeneralKey* key : StoredGeneralKeys)
        ini.setValue(GeneralSection, key->name, generalValue(general, *key));
    ini.save(path);
}

}   // namespace

std::string SettingsFilePath()
{
    return settingsPath().toStdString();
}

void SetSettingsFolder(const std::string& folder)
{
    settingsFolder = folder;
}

void ResetPcKeyMap()
{
    PcKeyMap = DefaultPcKeyMap;
}

void WriteDefaultSettings()
{
    const QString path = settingsPath();
    IniFile ini = IniFile::load(path);
    for (int channel = 0; channel < ChannelCount; ++channel) {
        const QString section = channelSection(channel);
        for (const ChannelKey& key : ChannelKeys)
            ini.setValue(section, key.name, key.freshBase + key.freshStep * channel);
    }
    for (const GeneralKey& key : GeneralKeys)
        ini.setValue(GeneralSection, key.name, key.fresh);
    for (std::size_t i = 0; i < PcKeyNames.size(); ++i)
        ini.setValue(KeyboardSection, PcKeyNames[i], DefaultPcKeyMap[i]);
    ini.save(path);
}

void SaveSettings(int channel, const TChannelSettings& settings, const TGeneralSettings& general)
{
    writeSettings(channel, settings, general, channel);
}

TChannelSettings StoredChannelSettings(int channel)
{
    return StoredChannelSettings(channel, IniFile::load(settingsPath()));
}

TChannelSettings StoredChannelSettings(int channel, const IniFile& contents)
{
    const QString section = channelSection(channel);
    TChannelSettings settings;
    for (const ChannelKey& key : ChannelKeys) {
        if (key.field)
            settings.*key.field = midiByte(contents.readInteger(section, key.name, key.readDefault));
    }
    return settings;
}

std::array<TChannelSettings, 16> AllStoredChannelSettings()
{
    const IniFile ini = IniFile::load(settingsPath());
    std::array<TChannelSettings, 16> all;
    for (int channel = 0; channel < ChannelCount; ++channel)
        all[std::size_t(channel)] = StoredChannelSettings(channel, ini);
    return all;
}

TGeneralSettings StoredGeneralSettings()
{
    return readGeneral(IniFile::load(settingsPath()));
}

TGeneralSettings StoredGeneralSettings(const IniFile& contents)
{
    return readGeneral(contents);
}

void LoadPcKeyMap()
{
    const IniFile ini = IniFile::load(settingsPath());
    for (std::size_t i = 0; i < PcKeyNames.size(); ++i)
        PcKeyMap[i] = ini.readInteger(KeyboardSection, PcKeyNames[i], DefaultPcKeyMap[i]);
}
