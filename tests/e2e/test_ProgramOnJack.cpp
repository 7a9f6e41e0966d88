// The real program on real transport: tarv started under Xvfb on a JACK server, with a JACK
// client of the test as the device it sends to.
#include <gtest/gtest.h>

#include "JackPeer.h"
#include "TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

using tarv::test::JackPeer;
using Bytes = JackPeer::Bytes;
using namespace std::chrono_literals;

// One channel's start-up sending: program, volume, panorama, sustain, chorus, reverb.
std::vector<Bytes> channelSending(int channel, int program, int volume, int pan, int sustain, int chorus, int reverb)
{
    const auto c = static_cast<std::uint8_t>(channel);
    const auto b = [](int v) { return static_cast<std::uint8_t>(v); };
    return {{b(0xC0 | c), b(program)},     {b(0xB0 | c), 7, b(volume)},  {b(0xB0 | c), 10, b(pan)},
            {b(0xB0 | c), 64, b(sustain)}, {b(0xB0 | c), 91, b(chorus)}, {b(0xB0 | c), 93, b(reverb)}};
}

}   // namespace

class ProgramOnJackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable("Xvfb").isEmpty())
            GTEST_SKIP() << "Xvfb is missing";
        if (!peer.start())
            GTEST_SKIP() << "no JACK server runs";
        ASSERT_EQ(peer.firstMidiInput(), peer.inputName())
            << "another client's MIDI input comes first on the JACK server; tarv would send there";
        ASSERT_TRUE(folder.isValid());
        // A copy of the program, so that its settings file lands in the temporary folder.
        ASSERT_TRUE(QFile::copy(QStringLiteral(TARV_EXECUTABLE), exe()));
        QFile(exe()).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // No tarv may outlive its test: its JACK ports would come first for the next one.
    void TearDown() override
    {
        tarv::test::stopProcess(tarv);
        tarv::test::stopProcess(xvfb);
    }

    QString exe() const { return folder.filePath(QStringLiteral("tarv")); }
    QString settingsPath() const { return folder.filePath(QStringLiteral("tarvParameter.ini")); }

    // Starts tarv on an X server of its own; it saves a picture of its window after 1.5 s and
    // closes itself. With `input` (an input device for tarv to open at start) it runs until
    // it is asked to end.
    void startTarv(const QString& input = {})
    {
        const QString display = tarv::test::startXvfb(xvfb);
        ASSERT_FALSE(display.isEmpty()) << "Xvfb did not start";

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.insert(QStringLiteral("DISPLAY"), display);
        env.insert(QStringLiteral("TARV_MIDI_API"), QStringLiteral("jack"));
        env.insert(QStringLiteral("TARV_SOUNDFONT"), QStringLiteral("none"));
        if (input.isEmpty())
            env.insert(QStringLiteral("TARV_SCREENSHOT"), folder.filePath(QStringLiteral("shot.png")));
        else
            env.insert(QStringLiteral("TARV_MIDI_INPUT"), input);
        tarv.setProcessEnvironment(env);
        tarv.setWorkingDirectory(folder.path());
        tarv.setProcessChannelMode(QProcess::ForwardedChannels);
        tarv.start(exe(), {});
        ASSERT_TRUE(tarv.waitForStarted(5000));
    }

    // Starts tarv with the test's JACK keyboard as its input and waits for the start-up sending
    // and the keyboard's connection.
    void startWithKeyboard()
    {
        startTarv(QString::fromStdString(peer.outputName()));
        ASSERT_TRUE(peer.waitReceived(96, 10s)) << "received " << peer.received().size() << " messages";
        ASSERT_TRUE(tarv::test::waitFor([this] { return peer.outputConnected(); }))
            << "tarv did not open the input named in TARV_MIDI_INPUT";
    }

    // Waits for tarv to end by itself and expects a clean exit.
    void expectCleanExit()
    {
        ASSERT_TRUE(tarv.waitForFinished(15000)) << "tarv did not close itself";
        EXPECT_EQ(tarv.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(tarv.exitCode(), 0);
    }

    QByteArray settingsFile() const
    {
        QFile file(settingsPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    JackPeer peer;
    QTemporaryDir folder;
    QProcess xvfb;
    QProcess tarv;
};

TEST_F(ProgramOnJackTest, FirstStartSendsEveryChannelInOrderAndClosingSavesTheSettings)
{
    startTarv();
    ASSERT_TRUE(peer.waitReceived(96, 10s)) << "received " << peer.received().size() << " messages";

    // Later messages (the window's activation) may follow; the start-up sending comes first.
    const auto received = peer.received();
    for (int channel = 0; channel < 16; ++channel) {
        const std::vector<Bytes> sent(received.begin() + 6 * channel, received.begin() + 6 * channel + 6);
        EXPECT_EQ(sent, channelSending(channel, 0, 127, 64, 0, 0, 0)) << "channel " << channel;
    }

    expectCleanExit();
    const QByteArray saved = settingsFile();
    EXPECT_TRUE(saved.contains("[kanal0]")) << saved.toStdString();
    EXPECT_TRUE(saved.contains("[kanal15]"));
    EXPECT_TRUE(saved.contains("Programmmodus="));
    EXPECT_TRUE(saved.contains("Instrument="));
}

TEST_F(ProgramOnJackTest, AHandWrittenSettingsFileIsSentAsDataBytes)
{
    {
        QFile file(settingsPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[kanal2]\r\nInstrument=40\r\nVolume=300\r\n");
    }
    startTarv();
    ASSERT_TRUE(peer.waitReceived(96, 10s)) << "received " << peer.received().size() << " messages";

    const auto received = peer.received();
    EXPECT_EQ(received[12], (Bytes{0xC2, 40}));
    EXPECT_EQ(received[13], (Bytes{0xB2, 7, 44}));   // 300 keeps its low seven bits
    for (const Bytes& message : received)
        for (std::size_t i = 1; i < message.size(); ++i)
            EXPECT_LE(message[i], 127) << "data byte above 127";
    expectCleanExit();
    // The hand-written values stay in the file for the next start.
    EXPECT_TRUE(settingsFile().contains("Instrument=40"));
}

TEST_F(ProgramOnJackTest, TheProgramSurvivesItsJackPeerDisappearingWhileConnected)
{
    startTarv();
    ASSERT_TRUE(peer.waitReceived(96, 10s)) << "received " << peer.received().size() << " messages";
    ASSERT_TRUE(peer.connected());
    // tarv is still running (its window closes 1.5 s after it shows) and connected to the peer.
    ASSERT_EQ(tarv.state(), QProcess::Running);
    peer.unplug();

    expectCleanExit();
    EXPECT_TRUE(settingsFile().contains("[kanal15]"));
}

TEST_F(ProgramOnJackTest, AKeyboardOnAJackInputPlaysThroughTheProgram)
{
    startWithKeyboard();

    const std::size_t before = peer.received().size();
    peer.play({{0x90, 60, 100}, {0x80, 60, 0}});
    ASSERT_TRUE(peer.waitReceived(before + 2, 5s));
    const auto received = peer.received();
    const std::vector<Bytes> played(received.begin() + std::ptrdiff_t(before), received.end());
    EXPECT_EQ(played, (std::vector<Bytes>{{0x90, 60, 100}, {0x80, 60, 0}}));

    // Ended by the system (logout, kill), the program closes its window and saves.
    tarv.terminate();
    expectCleanExit();
    EXPECT_TRUE(settingsFile().contains("[kanal15]"));
}

TEST_F(ProgramOnJackTest, ClosingTheProgramWhileAKeyIsHeldEndsItsNoteBeforeItExits)
{
    startWithKeyboard();
    const std::size_t before = peer.received().size();
    peer.play({{0x90, 60, 100}});
    ASSERT_TRUE(peer.waitReceived(before + 1, 5s));

    tarv.terminate();
    expectCleanExit();

    const auto received = peer.received();
    const auto noteOn = std::find(received.begin() + std::ptrdiff_t(before), received.end(), Bytes{0x90, 60, 100});
    ASSERT_NE(noteOn, received.end());
    EXPECT_NE(std::find(noteOn, received.end(), Bytes{0x80, 60, 0}), received.end()) << "no Note Off arrived";
}
