// The real program on real transport: tarv started under Xvfb on a JACK server, with a JACK
// client of the test as the device it sends to.
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include "JackMidiRecorder.h"
#include "TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// A JACK client with a MIDI input port that records what arrives and a MIDI output port that
// plays like an external keyboard. tarv opens output 0 at start, the first MIDI input port of
// the server, so the input port must be that one.
class JackPeer {
public:
    ~JackPeer() { close(); }

    // False when no JACK server runs.
    bool start()
    {
        jack_set_error_function([](const char*) {});
        jack_status_t status;
        fClient = jack_client_open("e2e-peer", JackNoStartServer, &status);
        if (!fClient)
            return false;
        fIn = jack_port_register(fClient, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        fOut = jack_port_register(fClient, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(fClient, &JackPeer::process, this);
        return fIn && fOut && jack_activate(fClient) == 0;
    }

    std::string inputName() const { return jack_port_name(fIn); }
    std::string outputName() const { return jack_port_name(fOut); }

    bool outputConnected() const { return jack_port_connected(fOut) > 0; }

    // Sends the messages in the next cycle, in this order.
    void play(std::vector<Bytes> messages)
    {
        std::lock_guard lock(fLock);
        for (Bytes& message : messages)
            fToSend.push_back(std::move(message));
    }

    // The name of the server's first MIDI input port (what tarv will open as output 0).
    std::string firstMidiInput() const
    {
        std::string first;
        if (const char** ports = jack_get_ports(fClient, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput)) {
            if (ports[0])
                first = ports[0];
            jack_free(ports);
        }
        return first;
    }

    bool connected() const
    {
        std::lock_guard lock(fLock);
        return fIn && jack_port_connected(fIn) > 0;
    }

    bool waitReceived(std::size_t count, std::chrono::milliseconds timeout) { return fRecorder.waitReceived(count, timeout); }
    std::vector<Bytes> received() const { return fRecorder.received(); }

    // The device goes away while tarv is connected to it: the port first, then the client.
    void unplug()
    {
        if (fClient && fIn) {
            jack_deactivate(fClient);
            jack_port_unregister(fClient, fIn);
            jack_port_unregister(fClient, fOut);
            std::lock_guard lock(fLock);
            fIn = nullptr;
            fOut = nullptr;
        }
        close();
    }

    void close()
    {
        if (fClient)
            jack_client_close(fClient);
        fClient = nullptr;
        fIn = nullptr;
        fOut = nullptr;
    }

private:
    // Runs on the JACK process thread (the test server runs without realtime scheduling).
    static int process(jack_nframes_t frames, void* arg)
    {
        auto* self = static_cast<JackPeer*>(arg);
        std::lock_guard lock(self->fLock);
        if (self->fIn)
            self->fRecorder.record(jack_port_get_buffer(self->fIn, frames));
        if (self->fOut) {
            void* out = jack_port_get_buffer(self->fOut, frames);
            jack_midi_clear_buffer(out);
            for (const Bytes& message : self->fToSend)
                jack_midi_event_write(out, 0, message.data(), message.size());
            self->fToSend.clear();
        }
        return 0;
    }

    jack_client_t* fClient = nullptr;
    jack_port_t* fIn = nullptr;
    jack_port_t* fOut = nullptr;
    mutable std::mutex fLock;   // guards the ports and fToSend against the process thread
    std::vector<Bytes> fToSend;
    tarv::test::JackMidiRecorder fRecorder;
};

// One channel's start-up sending: program, volume, panorama, sustain, chorus, reverb.
std::vector<Bytes> channelSending(int channel, int program, int volume, int pan, int sustain, int chorus, int reverb)
{
    const auto c = static_cast<std::uint8_t>(channel);
    const auto b = [](int v) { return static_cast<std::uint8_t>(v); };
    return {{b(0xC0 | c), b(program)},       {b(0xB0 | c), 7, b(volume)},  {b(0xB0 | c), 10, b(pan)},
            {b(0xB0 | c), 64, b(sustain)},   {b(0xB0 | c), 91, b(chorus)}, {b(0xB0 | c), 93, b(reverb)}};
}

}  // namespace

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
        for (QProcess* process : {&tarv, &xvfb}) {
            if (process->state() == QProcess::NotRunning)
                continue;
            process->terminate();
            if (!process->waitForFinished(5000)) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
    }

    QString exe() const { return folder.filePath(QStringLiteral("tarv")); }
    QString settingsPath() const { return folder.filePath(QStringLiteral("tarvParameter.ini")); }

    // Starts tarv on an X server of its own; it saves a picture of its window after 1.5 s and
    // closes itself. With `input` (an input device for tarv to open at start) it runs until
    // it is asked to end.
    void startTarv(const QString& input = {})
    {
        // Xvfb picks a free display and writes its number to the descriptor given.
        xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                            QStringLiteral("0"), QStringLiteral("1280x800x24"),
                                            QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        ASSERT_TRUE(xvfb.waitForStarted(5000));
        while (!xvfb.canReadLine())
            ASSERT_TRUE(xvfb.waitForReadyRead(10000)) << "Xvfb did not start";
        const QString display = QLatin1Char(':') + QString::fromLatin1(xvfb.readLine()).trimmed();

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
    startTarv(QString::fromStdString(peer.outputName()));
    ASSERT_TRUE(peer.waitReceived(96, 10s)) << "received " << peer.received().size() << " messages";
    ASSERT_TRUE(tarv::test::waitFor([this] { return peer.outputConnected(); }))
        << "tarv did not open the input named in TARV_MIDI_INPUT";

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
