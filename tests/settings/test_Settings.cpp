// The settings operations on a settings file in a temporary folder.
#include "settings/ExecutableFolder.h"
#include "settings/Settings.h"

#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fDir.isValid());
        SetSettingsFolder(fDir.path().toStdString());
        ResetPcKeyMap();
    }
    void TearDown() override
    {
        SetSettingsFolder("");
        ResetPcKeyMap();
    }

    QString path() const { return fDir.filePath("tarvParameter.ini"); }
    void writeFile(const QByteArray& contents) const
    {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(contents), contents.size());
    }
    QByteArray readFile() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The records as the player keeps them, read from and written to the file.
    void load(int channelNumber)
    {
        channel = StoredChannelSettings(channelNumber);
        general = StoredGeneralSettings();
    }
    void save(int channelNumber) { SaveSettings(channelNumber, channel, general); }

    QTemporaryDir fDir;
    TChannelSettings channel;
    TGeneralSettings general;
};

QByteArray freshContents()
{
    QByteArray out;
    for (int n = 0; n < 16; ++n) {
        out += QStringLiteral("[kanal%1]\nInstrument=%2\nVelocity=127\nVolume=127\nPanorama=64\n"
                              "Sustain=0\nChorus=0\nReverb=0\nKanal=%1\n\n")
                   .arg(n)
                   .arg(n * 8)
                   .toUtf8();
    }
    out += "[allgemein]\nDelay=10\nAbschlag=127\nAufschlag=127\nHint=1\nVelocitycontroller=3\n"
           "Volumecontroller=7\nPanoramacontroller=10\nSustaincontroller=64\nChoruscontroller=91\n"
           "Reverbcontroller=93\nAbschlagcontroller=14\nAufschlagcontroller=15\nGlissandocontroller=9\n"
           "Programmmodus=0\nFisE7=1\n\n";
    out += "[keyboard]\nleftC=81\nleftC#=50\nleftD=87\nleftD#=51\nleftE=69\nleftF=82\nleftF#=53\n"
           "leftG=84\nleftG#=54\nleftA=90\nleftBb=55\nleftB=85\n"
           "rightC=86\nrightC#=71\nrightD=66\nrightD#=72\nrightE=78\nrightF=77\nrightF#=75\n"
           "rightG=188\nrightG#=76\nrightA=190\nrightBb=192\nrightB=189\n";
    return tarv::test::systemLineEnds(out);
}

}   // namespace

TEST_F(SettingsFile, FreshFileHoldsEveryKeyInOrderAndLeavesRecordsAlone)
{
    channel.Volume = 5;
    general.Delay = 99;
    WriteDefaultSettings();
    EXPECT_EQ(QString::fromStdString(SettingsFilePath()), path());
    EXPECT_EQ(readFile(), freshContents());
    EXPECT_EQ(channel.Volume, 5);
    EXPECT_EQ(general.Delay, 99);

    load(15);
    EXPECT_EQ(channel.Instrument, 120);
    EXPECT_EQ(general.Delay, 10);
}

TEST_F(SettingsFile, MissingFileSectionOrKeyGivesReadDefaults)
{
    channel = {1, 2, 3, 4, 5, 6, 7};
    general = {1, 2, 3, 4, 5, 6, 7, 8, false};
    load(0);
    EXPECT_FALSE(QFile::exists(path()));   // reading creates nothing
    const TChannelSettings defaults;
    const TGeneralSettings generalDefaults;
    EXPECT_EQ(std::memcmp(&channel, &defaults, sizeof defaults), 0);
    EXPECT_EQ(general.Delay, generalDefaults.Delay);
    EXPECT_EQ(general.Velocitycontroller, 3);
    EXPECT_EQ(general.Reverbcontroller, 93);
    EXPECT_EQ(general.PlayMode, 0);
    EXPECT_TRUE(general.Hint);

    writeFile("[kanal1]\nVolume=5\n");
    load(1);
    EXPECT_EQ(channel.Volume, 5);
    EXPECT_EQ(channel.Panorama, 64);
    EXPECT_EQ(channel.Velocity, 127);
    EXPECT_EQ(general.Sustaincontroller, 64);
    load(2);
    EXPECT_EQ(channel.Volume, 127);
}

TEST_F(SettingsFile, ReadValuesKeepLowBitsAndMidiBytesStayAt127OrBelow)
{
    writeFile("[kanal0]\nInstrument=-1\nVelocity=abc\nVolume=300\nPanorama=200\nSustain=$40\nChorus=0x40\n"
              "Reverb=$1FF\n"
              "[allgemein]\nDelay=-100000\nVolumecontroller=300\nSustaincontroller=$C8\nChoruscontroller=12x\n"
              "Programmmodus=258\nHint=0x10\n");
    load(0);
    EXPECT_EQ(channel.Instrument, 127);   // 0xFF, held to 127
    EXPECT_EQ(channel.Velocity, 127);     // not a number: default
    EXPECT_EQ(channel.Volume, 44);        // 300 keeps its low 8 bits
    EXPECT_EQ(channel.Panorama, 127);
    EXPECT_EQ(channel.Sustain, 64);
    EXPECT_EQ(channel.Chorus, 64);
    EXPECT_EQ(channel.Reverb, 127);
    EXPECT_EQ(general.Delay, -100000);
    EXPECT_EQ(general.Volumecontroller, 44);
    EXPECT_EQ(general.Sustaincontroller, 127);
    EXPECT_EQ(general.Choruscontroller, 91);
    EXPECT_EQ(general.PlayMode, 2);   // loaded as written, low 8 bits
    EXPECT_TRUE(general.Hint);

    writeFile("[allgemein]\nProgrammmodus=200\nHint=0\n");
    load(0);
    EXPECT_EQ(general.PlayMode, 200);   // not clamped
    EXPECT_FALSE(general.Hint);

    const TChannelSettings stored = StoredChannelSettings(0);
    EXPECT_EQ(stored.Volume, 127);
}

TEST_F(SettingsFile, SaveKeepsHandEditsAndReplacesKeysInPlace)
{
    writeFile("\xEF\xBB\xBF; my settings\r\n"
              "[KANAL1]\r\n"
              "volume = 300\r\n"
              "MyOwnKey=abc\r\n"
              "\r\n"
              "; the general part\r\n"
              "[Allgemein]\r\n"
              "Abschlag=5\r\n"
              "delay=0x20\r\n"
              "Hint=1\r\n"
              "\r\n"
              "[extra]\r\n"
              "x=1\r\n");
    channel = {8, 100, 90, 10, 127, 20, 30};
    general.Delay = 11;
    general.Hint = false;
    general.PlayMode = 1;
    save(1);
    EXPECT_EQ(readFile(),
              QByteArray("\xEF\xBB\xBF; my settings\r\n"
                         "[KANAL1]\r\n"
                         "volume = 90\r\n"
                         "MyOwnKey=abc\r\n"
                         "Instrument=8\r\n"
                         "Velocity=100\r\n"
                         "Panorama=10\r\n"
                         "Sustain=127\r\n"
                         "Chorus=20\r\n"
                         "Reverb=30\r\n"
                         "Kanal=1\r\n"
                         "\r\n"
                         "; the general part\r\n"
                         "[Allgemein]\r\n"
                         "Abschlag=5\r\n"
                         "delay=11\r\n"
                         "Hint=0\r\n"
                         "Velocitycontroller=3\r\n"
                         "Volumecontroller=7\r\n"
                         "Panoramacontroller=10\r\n"
                         "Sustaincontroller=64\r\n"
                         "Choruscontroller=91\r\n"
                         "Reverbcontroller=93\r\n"
                         "Programmmodus=1\r\n"
                         "\r\n"
                         "[extra]\r\n"
                         "x=1\r\n"));

    // A second save finds every key and changes nothing else.
    const QByteArray before = readFile();
    channel.Volume = 91;
    save(1);
    EXPECT_EQ(readFile(), QByteArray(before).replace("volume = 90", "volume = 91"));
}

TEST_F(SettingsFile, SaveIntoMissingSectionAppendsItWithKanal)
{
    WriteDefaultSettings();
    QByteArray edited = readFile();
    const qsizetype start = edited.indexOf("[kanal5]");
    edited.remove(start, edited.indexOf("[kanal6]") - start);
    writeFile(edited);
    channel.Panorama = 3;
    save(5);
    const QByteArray saved = readFile();
    EXPECT_TRUE(saved.endsWith(
        tarv::test::systemLineEnds("rightB=189\n\n[kanal5]\nInstrument=0\nVelocity=127\nVolume=127\nPanorama=3\n"
                                   "Sustain=0\nChorus=0\nReverb=0\nKanal=5\n")));
    EXPECT_EQ(saved.count("[kanal5]"), 1);
}

TEST_F(SettingsFile, EveryOperationReadsTheFileAnew)
{
    WriteDefaultSettings();
    load(0);
    channel.Panorama = 20;
    save(0);   // switching the left channel away ...
    load(3);
    EXPECT_EQ(channel.Panorama, 64);
    EXPECT_EQ(channel.Instrument, 24);
    load(0);   // ... and back restores the moved value
    EXPECT_EQ(channel.Panorama, 20);

    writeFile(QByteArray(readFile())
                  .replace(tarv::test::systemLineEnds("[kanal0]\nInstrument=0"),
                           tarv::test::systemLineEnds("[kanal0]\nInstrument=7")));
    load(0);
    EXPECT_EQ(channel.Instrument, 7);
}

TEST_F(SettingsFile, PcKeyMapTakesDefaultForDeletedKey)
{
    EXPECT_EQ(PcKeyMap, DefaultPcKeyMap);
    WriteDefaultSettings();
    writeFile(QByteArray(readFile()).replace("rightB=189\n", "").replace("leftC=81", "leftC=$41"));
    PcKeyMap.fill(0);
    LoadPcKeyMap();
    EXPECT_EQ(PcKeyMap[0], 65);
    EXPECT_EQ(PcKeyMap[23], 189);
    EXPECT_EQ(PcKeyMap[19], 188);
}

TEST_F(SettingsFile, FailedWriteNamesThePath)
{
    // A folder below a regular file cannot be created or written, not even by root.
    const QString blocker = fDir.filePath("blocker");
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QString folder = blocker + "/sub";
    SetSettingsFolder(folder.toStdString());
    const QString expected =
        "In " + QDir::toNativeSeparators(QDir(folder).filePath("tarvParameter.ini")) + " kann nicht geschrieben werden";
    try {
        save(0);
        FAIL() << "no error raised";
    } catch (const SettingsWriteError& e) {
        EXPECT_EQ(QString::fromStdString(e.what()), expected);
    }
    EXPECT_THROW(WriteDefaultSettings(), SettingsWriteError);
}

#ifndef _WIN32   // see TARV_NOT_ON_WINDOWS in tests/CMakeLists.txt
TEST_F(SettingsFile, FailedWriteLeavesOldFileIntact)
{
    // A full disk: the file size limit makes every write past 256 bytes fail, also for root.
    WriteDefaultSettings();
    writeFile(QByteArray(readFile()).replace("[kanal0]", "; mine\n[kanal0]"));
    const QByteArray before = readFile();
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 256;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    channel.Volume = 1;
    EXPECT_THROW(save(0), SettingsWriteError);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(readFile(), before);
    EXPECT_EQ(QDir(fDir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"tarvParameter.ini"});
}

TEST_F(SettingsFile, ReadOnlyFolderKeepsOldFile)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    WriteDefaultSettings();
    const QByteArray before = readFile();
    QFile::setPermissions(fDir.path(), QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_THROW(save(0), SettingsWriteError);
    QFile::setPermissions(fDir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(readFile(), before);
}

// A file that exists but cannot be read (write-only for its owner) reads as the defaults, and a
// save fails instead of replacing the player's file with the few keys it writes. Root reads
// every file, so the operations run in a child process that drops to an unprivileged user.
TEST_F(SettingsFile, AFileThatCannotBeReadIsNeverReplacedBySaving)
{
    WriteDefaultSettings();
    writeFile(readFile() + "; mine\n[extra]\nx=1\n");
    const QByteArray before = readFile();
    constexpr uid_t nobody = tarv::test::NobodyId;
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(QFile::encodeName(fDir.path()).constData(), nobody, nobody), 0);
        ASSERT_EQ(chown(QFile::encodeName(path()).constData(), nobody, nobody), 0);
    }
    ASSERT_EQ(chmod(QFile::encodeName(path()).constData(), 0200), 0);
    const std::string expected =
        "In " + QDir::toNativeSeparators(path()).toStdString() + " kann nicht geschrieben werden";

    // Exit code: 0 as it should be; otherwise the bits of what went wrong.
    const int wrong = tarv::test::runAsNobody([&] {
        int wrong = 0;
        channel.Volume = 5;
        load(1);
        if (channel.Volume != 127)
            wrong |= 1;   // not read as the defaults
        const auto refused = [&](const std::function<void()>& operation) {
            try {
                operation();
            } catch (const SettingsWriteError& e) {
                return e.what() == expected;
            }
            return false;
        };
        if (!refused([this] { save(1); }))
            wrong |= 2;
        if (!refused(WriteDefaultSettings))
            wrong |= 4;
        return wrong;
    });
    ASSERT_EQ(chmod(QFile::encodeName(path()).constData(), 0600), 0);
    if (root) {
        ASSERT_EQ(chown(QFile::encodeName(fDir.path()).constData(), 0, 0), 0);
    }
    EXPECT_EQ(wrong, 0) << "1: not read as defaults, 2: saved, 4: defaults written, 64: no user change, -1: crashed";
    EXPECT_EQ(readFile().toStdString(), before.toStdString());
}

#endif

TEST_F(SettingsFile, ChannelOutsideSixteenIsRejected)
{
    EXPECT_THROW(load(16), std::out_of_range);
    EXPECT_THROW(save(-1), std::out_of_range);
    EXPECT_FALSE(QFile::exists(path()));
}

TEST(SettingsFilePath, LivesBesideTheExecutableOrInTheUsersConfigFolder)
{
    tarv::test::ensureApplication();
    SetSettingsFolder("");
    const QString folder = QCoreApplication::applicationDirPath();
    const QString path = QString::fromStdString(SettingsFilePath());
    // Writable means a file can be made there (Windows' read-only attribute does not tell).
    if (QTemporaryFile(QDir(folder).filePath("probe-XXXXXX")).open()) {
        EXPECT_EQ(path, QDir(folder).filePath("tarvParameter.ini"));
    } else {
        // An installed program: the user's configuration folder, created on demand.
        const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
        EXPECT_EQ(path, QDir(config).filePath("tarvParameter.ini"));
        EXPECT_TRUE(QFileInfo(config).isDir());
    }
}

// The start-up sending reads the settings before the application object exists, so the folder
// comes from the operating system; it must be the one Qt names later, wherever the program was
// started from.
TEST(ExecutableFolder, IsTheRunningProgramsFolderWhateverTheWorkingFolder)
{
    tarv::test::ensureApplication();
    QTemporaryDir elsewhere;
    ASSERT_TRUE(elsewhere.isValid());
    const QString started = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(elsewhere.path()));
    const std::filesystem::path folder = tarv::executableFolder();
    QDir::setCurrent(started);
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(QFileInfo(QDir(folder).path()).canonicalFilePath(),
              QFileInfo(QCoreApplication::applicationDirPath()).canonicalFilePath());
}
