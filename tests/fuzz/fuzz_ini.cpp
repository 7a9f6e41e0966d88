// Fuzz target: the INI reader and writer on arbitrary bytes, and the settings read from such a file.
#include "settings/IniFile.h"
#include "settings/Settings.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <cstdio>

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_ini: %s\n", what);
        std::abort();
    }
}

bool channelInRange(const TChannelSettings& s)
{
    return s.Instrument <= 127 && s.Velocity <= 127 && s.Volume <= 127 && s.Panorama <= 127 && s.Sustain <= 127
           && s.Chorus <= 127 && s.Reverb <= 127;
}

QTemporaryDir& folder()
{
    static QTemporaryDir dir;
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    using tarv::IniFile;

    // Parsing and writing back keeps every byte of a file that is only read.
    IniFile ini = IniFile::fromBytes(bytes);
    const QByteArray written = ini.toBytes();
    check(IniFile::fromBytes(written).toBytes() == written, "writing back is not stable");

    // Reads of the keys the program uses, and of names taken from the input itself.
    for (int channel = 0; channel < 16; ++channel)
        (void)ini.readInteger(QStringLiteral("kanal%1").arg(channel), QStringLiteral("Volume"), 127);
    const QString text = QString::fromUtf8(bytes.left(64));
    (void)ini.value(text, text);
    (void)IniFile::parseInteger(text);

    // An edit reads back as written, whatever the file held before.
    ini.setValue(QStringLiteral("kanal2"), QStringLiteral("Instrument"), 40);
    ini.setValue(QStringLiteral("allgemein"), QStringLiteral("Hint"), QStringLiteral("0"));
    const IniFile edited = IniFile::fromBytes(ini.toBytes());
    check(edited.readInteger(QStringLiteral("kanal2"), QStringLiteral("Instrument"), -1) == 40, "edited value lost");
    check(edited.value(QStringLiteral("allgemein"), QStringLiteral("Hint")) == QStringLiteral("0"),
          "new key lost");

    // The settings read from such a file are MIDI data bytes, every one.
    if (!folder().isValid())
        return 0;
    SetSettingsFolder(folder().path().toStdString());
    {
        QFile file(QString::fromStdString(SettingsFilePath()));
        check(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot write the settings file");
        file.write(bytes);
    }
    ResetSettingsRecords();
    LoadSettings(size % 16);
    check(channelInRange(ChannelSettings), "channel setting above 127 after loading");
    for (int channel = 0; channel < 16; ++channel)
        check(channelInRange(StoredChannelSettings(channel)), "stored channel setting above 127");
    check(GeneralSettings.Volumecontroller <= 127 && GeneralSettings.Velocitycontroller <= 127
              && GeneralSettings.Panoramacontroller <= 127 && GeneralSettings.Sustaincontroller <= 127
              && GeneralSettings.Choruscontroller <= 127 && GeneralSettings.Reverbcontroller <= 127,
          "controller number above 127");
    return 0;
}
