// The program as a player gets it from the Debian package: extracted into a temporary root and
// started from there under Xvfb, by a user who cannot write the program's folder, on a JACK
// server of the test's own that admits that user.
#include <gtest/gtest.h>

#include "JackCapture.h"
#include "JackPeer.h"
#include "TestSupport.h"

#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

#include <jack/jack.h>
#include <pwd.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>

namespace {

using tarv::test::JackCapture;
using tarv::test::JackPeer;
using tarv::test::waitFor;
using Bytes = JackPeer::Bytes;
using namespace std::chrono_literals;

// Runs as root, the tests drop to this user; run as anyone else, they stay that user.
struct User {
    bool drop = false;
    uid_t uid = 0;
    gid_t gid = 0;
};

User unprivilegedUser()
{
    User user;
    if (geteuid() != 0)
        return user;
    if (const passwd* nobody = getpwnam("nobody")) {
        user.drop = true;
        user.uid = nobody->pw_uid;
        user.gid = nobody->pw_gid;
    }
    return user;
}

bool jackServerAnswers()
{
    jack_status_t status{};
    jack_client_t* client = jack_client_open("installed-probe", JackNoStartServer, &status);
    if (client)
        jack_client_close(client);
    return client != nullptr;
}

// Every file and folder below `root`, relative to it.
QStringList filesUnder(const QString& root)
{
    QStringList files;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next().mid(root.size());
    files.sort();
    return files;
}

bool systemSoundFontInstalled()
{
    for (const char* file : {"/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2",
                             "/usr/share/sounds/sf2/TimGM6mb.sf2"})
        if (std::filesystem::exists(file))
            return true;
    return false;
}

}   // namespace

class InstalledProgramTest : public ::testing::Test {
protected:
    // A JACK server with the dummy driver for this suite alone. jackd names its socket after
    // the user that runs it; in promiscuous mode it names it for everybody and gives its shared
    // memory to the unprivileged user's group, so that the program can join a server of root.
    static void SetUpTestSuite()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("jackd")).isEmpty())
            return;
        jack_set_error_function([](const char*) {});
        qputenv("JACK_DEFAULT_SERVER", QByteArray("tarv-installed-") + QByteArray::number(getpid()));
        qputenv("JACK_NO_AUDIO_RESERVATION", "1");
        if (const User user = unprivilegedUser(); user.drop)
            qputenv("JACK_PROMISCUOUS_SERVER", QByteArray::number(user.gid));
        jackd = new QProcess;
        jackd->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        jackd->setStandardOutputFile(QProcess::nullDevice());
        jackd->start(QStringLiteral("jackd"),
                     {QStringLiteral("--no-realtime"), QStringLiteral("--sync"), QStringLiteral("-d"),
                      QStringLiteral("dummy"), QStringLiteral("-r"), QStringLiteral("48000"), QStringLiteral("-p"),
                      QStringLiteral("1024")});
        waitFor(jackServerAnswers, 10s);
    }

    static void TearDownTestSuite()
    {
        if (jackd)
            tarv::test::stopProcess(*jackd);
        delete jackd;
        jackd = nullptr;
    }

    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            GTEST_SKIP() << "Xvfb is missing";
        if (!jackd)
            GTEST_SKIP() << "jackd is missing";
        ASSERT_TRUE(peer.start()) << "the test's JACK server did not start";
        // Without the built-in synth tarv sends to the server's first MIDI input: the peer's.
        ASSERT_EQ(peer.firstMidiInput(), peer.inputName());
        ASSERT_TRUE(root.isValid() && home.isValid());
        ASSERT_EQ(QProcess::execute(QStringLiteral("dpkg-deb"),
                                    {QStringLiteral("-x"), QStringLiteral(TARV_PACKAGE_FILE), root.path()}),
                  0);
        // As installed: everybody may enter and run, nobody but root may write.
        QFile::setPermissions(root.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                  | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
        if (user.drop)
            ASSERT_EQ(chown(home.path().toLocal8Bit().constData(), user.uid, user.gid), 0);
        else
            QFile::setPermissions(binFolder(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
        installed = filesUnder(root.path());
        ASSERT_TRUE(installed.contains(QStringLiteral("/usr/bin/tarv")));
    }

    void TearDown() override
    {
        tarv::test::stopProcess(tarv);
        tarv::test::stopProcess(xvfb);
        if (!user.drop)   // so that the temporary root can be removed
            QFile::setPermissions(binFolder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString binFolder() const { return root.filePath(QStringLiteral("usr/bin")); }
    QString configFolder() const { return home.filePath(QStringLiteral("config")); }
    // The program notes its start-up milestones here.
    QString startupLog() const { return home.filePath(QStringLiteral("startup.log")); }

    // Starts the installed tarv as the unprivileged user, in a fresh home of its own.
    void startTarv(const QProcessEnvironment& settings)
    {
        const QString display = tarv::test::startXvfb(xvfb);
        ASSERT_FALSE(display.isEmpty()) << "Xvfb did not start";
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "TARV_SOUNDFONT", "TARV_AUDIO_DRIVER", "XAUTHORITY"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configFolder());
        env.insert(QStringLiteral("DISPLAY"), display);
        env.insert(QStringLiteral("TARV_MIDI_API"), QStringLiteral("jack"));
        env.insert(QStringLiteral("TARV_STARTUP_LOG"), startupLog());
        env.insert(settings);
        tarv.setProcessEnvironment(env);
        tarv.setWorkingDirectory(home.path());
        tarv.setProcessChannelMode(QProcess::ForwardedChannels);
        const QString exe = root.filePath(QStringLiteral("usr/bin/tarv"));
        if (user.drop)
            tarv.start(QStringLiteral("setpriv"),
                       {QStringLiteral("--reuid=%1").arg(user.uid), QStringLiteral("--regid=%1").arg(user.gid),
                        QStringLiteral("--clear-groups"), QStringLiteral("--"), exe});
        else
            tarv.start(exe, {});
        ASSERT_TRUE(tarv.waitForStarted(5000));
    }

    // Ends tarv as the system does (it closes its window and saves), then checks where the
    // settings went: into the user's configuration folder, never into the installed tree.
    void endTarvAndExpectTheSettingsInTheUsersFolder()
    {
        // Only a shown window closes on the signal and saves.
        ASSERT_TRUE(waitFor(
            [this] {
                QFile log(startupLog());
                return log.open(QIODevice::ReadOnly) && log.readAll().contains("window-shown");
            },
            15s))
            << "the window did not show";
        tarv.terminate();
        ASSERT_TRUE(tarv.waitForFinished(15000)) << "tarv did not end";
        EXPECT_EQ(tarv.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(tarv.exitCode(), 0);
        EXPECT_FALSE(QFile::exists(binFolder() + QStringLiteral("/tarvParameter.ini")));
        EXPECT_EQ(filesUnder(root.path()), installed) << "tarv wrote into its installed files";
        QFile settings(configFolder() + QStringLiteral("/tarv/tarvParameter.ini"));
        ASSERT_TRUE(settings.open(QIODevice::ReadOnly)) << "no settings file in " << configFolder().toStdString();
        const QByteArray saved = settings.readAll();
        EXPECT_TRUE(saved.contains("[kanal15]"));
        EXPECT_TRUE(saved.contains("Programmmodus=0"));
    }

    static inline QProcess* jackd = nullptr;
    const User user = unprivilegedUser();
    JackPeer peer;
    QTemporaryDir root;
    QTemporaryDir home;
    QStringList installed;
    QProcess xvfb;
    QProcess tarv;
};

TEST_F(InstalledProgramTest, WithoutSynthItSendsTheStartUpSettingsToJackAndSavesInTheUsersFolder)
{
    QProcessEnvironment settings;
    settings.insert(QStringLiteral("TARV_SOUNDFONT"), QStringLiteral("none"));
    startTarv(settings);

    ASSERT_TRUE(peer.waitReceived(96, 15s)) << "received " << peer.received().size() << " messages";
    const auto received = peer.received();
    for (int channel = 0; channel < 16; ++channel)
        EXPECT_EQ(received[6 * channel], (Bytes{std::uint8_t(0xC0 | channel), 0})) << "channel " << channel;
    endTarvAndExpectTheSettingsInTheUsersFolder();
}

TEST_F(InstalledProgramTest, ItsBuiltInSynthWithTheSystemSoundFontIsOutputZeroAndPlaysIntoJack)
{
    if (!systemSoundFontInstalled())
        GTEST_SKIP() << "no General MIDI sound font in /usr/share/sounds/sf2";
    JackCapture capture("installed-capture");
    ASSERT_TRUE(capture.valid());
    QProcessEnvironment settings;
    settings.insert(QStringLiteral("TARV_AUDIO_DRIVER"), QStringLiteral("jack"));
    settings.insert(QStringLiteral("TARV_MIDI_INPUT"), QString::fromStdString(peer.outputName()));
    startTarv(settings);

    ASSERT_TRUE(waitFor([&] { return peer.outputConnected(); }, 15s)) << "tarv did not open the peer as its input";
    // Until its sound font is in, the synth drops notes and plays into an audio client that
    // it replaces then: connect and play until a note sounds.
    capture.arm(1e-3f);
    EXPECT_TRUE(waitFor(
        [&] {
            capture.connectFrom("^tarv[^:]*:left$");
            peer.play({{0x90, 60, 100}});
            return waitFor([&] { return capture.heard(); }, 500ms);
        },
        30s))
        << "the keyboard's note was not heard from the built-in synth on JACK";
    peer.play({{0x80, 60, 0}});
    EXPECT_TRUE(peer.received().empty()) << "tarv sent to the first MIDI input instead of its synth";
    endTarvAndExpectTheSettingsInTheUsersFolder();
}
