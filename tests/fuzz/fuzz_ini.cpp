// Fuzz target: the INI reader and writer on arbitrary bytes, and the settings read from such a
// file: in memory for every channel, and once from the file on disk, which must agree.
#include "settings/IniFile.h"
#include "settings/Settings.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    using tarv::IniFile;

    // Parsing and writing back keeps every byte of a file that is only read.
    IniFile ini = IniFile::fromBytes(bytes);
    const QByteArray written = ini.toBytes();
    check(IniFile::fromBytes(written).toBytes() == written, "writing back is not stable");

    // Reads of names taken from the input itself.
    const QString text = QString::fromUtf8(bytes.left(64));
    (void)ini.value(text, text);
    (void)IniFile::parseInteger(text);

    // The settings read from such a file are MIDI data bytes, every one.
    const int channel = int(size % 16);
    const TChannelSettings fromMemory = StoredChannelSettings(channel, ini);
    const TGeneralSettings generalFromMemory = StoredGeneralSettings(ini);
    check(channelInRange(fromMemory), "channel setting above 127 after loading");
    for (int stored = 0; stored < 16; ++stored)
        check(channelInRange(StoredChannelSettings(stored, ini)), "stored channel setting above 127");
    const TGeneralSettings& m = generalFromMemory;
    check(m.Volumecontroller <= 127 && m.Velocitycontroller <= 127 && m.Panoramacontroller <= 127
              && m.Sustaincontroller <= 127 && m.Choruscontroller <= 127 && m.Reverbcontroller <= 127,
          "controller number above 127");

    // An edit reads back as written, whatever the file held before.
    ini.setValue(QStringLiteral("kanal2"), QStringLiteral("Instrument"), 40);
    ini.setValue(QStringLiteral("allgemein"), QStringLiteral("Hint"), QStringLiteral("0"));
    const IniFile edited = IniFile::fromBytes(ini.toBytes());
    check(edited.readInteger(QStringLiteral("kanal2"), QStringLiteral("Instrument"), -1) == 40, "edited value lost");
    check(edited.value(QStringLiteral("allgemein"), QStringLiteral("Hint")) == QStringLiteral("0"), "new key lost");

    // The same bytes as the settings file on disk load to the same records.
    if (!folder().isValid())
        return 0;
    SetSettingsFolder(folder().path().toStdString());
    {
        // A new file each time: on ext4 a file cut to nothing is written out to the disk when it
        // is closed, which took nine tenths of each run's time.
        QFile file(QString::fromStdString(SettingsFilePath()));
        file.remove();
        check(file.open(QIODevice::WriteOnly), "cannot write the settings file");
        file.write(bytes);
    }
    const TChannelSettings fromDisk = StoredChannelSettings(channel);
    check(std::memcmp(&fromDisk, &fromMemory, sizeof fromMemory) == 0, "channel settings differ on disk");
    const TGeneralSettings g = StoredGeneralSettings();
    check(g.Delay == m.Delay && g.Velocitycontroller == m.Velocitycontroller && g.Volumecontroller == m.Volumecontroller
              && g.Panoramacontroller == m.Panoramacontroller && g.Sustaincontroller == m.Sustaincontroller
              && g.Choruscontroller == m.Choruscontroller && g.Reverbcontroller == m.Reverbcontroller
              && g.PlayMode == m.PlayMode && g.Hint == m.Hint,
          "general settings differ on disk");
    return 0;
}
