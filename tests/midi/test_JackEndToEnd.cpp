// The MIDI layer on real transport: the RtMidi service on a JACK server (dummy driver) and a JACK test device.
#include "JackMidiRecorder.h"
#include "JackMidiService.h"
#include "TestSupport.h"
#include "midi/Midi.h"
#include "midi/MidiSenders.h"
#include "midi/MidiServiceFactory.h"
#include "midi/RtMidiService.h"
#include "sending/SettingsSending.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>

#include <unistd.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

// A JACK client that plays an external MIDI device: one input port that records what
// arrives, two output ports that send what the test hands them.
class JackDevice {
public:
    explicit JackDevice(std::string name = "e2e-device") : fName(std::move(name)) {}
    ~JackDevice()
    {
        if (fClient)
            jack_client_close(fClient);   // deactivates: the process callback has ended
    }

    // False when no JACK server runs.
    bool start()
    {
        jack_set_error_function([](const char*) {});
        jack_status_t status;
        fClient = jack_client_open(fName.c_str(), JackNoStartServer, &status);
        if (!fClient)
            return false;
        fIn = jack_port_register(fClient, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        fOutA = jack_port_register(fClient, "midi_out_a", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        fOutB = jack_port_register(fClient, "midi_out_b", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(fClient, &JackDevice::process, this);
        return fIn && fOutA && fOutB && jack_activate(fClient) == 0;
    }

    jack_client_t* client() const { return fClient; }
    std::string inputName() const { return jack_port_name(fIn); }
    std::string outputName(bool b) const { return jack_port_name(b ? fOutB : fOutA); }
    bool inputConnected() const { return jack_port_connected(fIn) > 0; }
    bool outputConnected(bool b) const { return jack_port_connected(b ? fOutB : fOutA) > 0; }

    void send(bool b, Bytes message)
    {
        std::lock_guard lock(fLock);
        (b ? fToSendB : fToSendA).push_back(std::move(message));
    }
    std::vector<Bytes> received() const { return fRecorder.received(); }
    bool waitReceived(std::size_t count) { return fRecorder.waitReceived(count, std::chrono::seconds(10)); }

private:
    // Runs on the JACK process thread (the server runs without realtime scheduling).
    static int process(jack_nframes_t frames, void* arg)
    {
        auto* self = static_cast<JackDevice*>(arg);
        self->fRecorder.record(jack_port_get_buffer(self->fIn, frames));
        std::lock_guard lock(self->fLock);
        writeOut(jack_port_get_buffer(self->fOutA, frames), self->fToSendA);
        writeOut(jack_port_get_buffer(self->fOutB, frames), self->fToSendB);
        return 0;
    }
    static void writeOut(void* buffer, std::deque<Bytes>& queue)
    {
        jack_midi_clear_buffer(buffer);
        while (!queue.empty()) {
            if (jack_midi_event_write(buffer, 0, queue.front().data(), queue.front().size()) != 0)
                break;   // full: the rest goes in the next cycle
            queue.pop_front();
        }
    }

    std::string fName;
    jack_client_t* fClient = nullptr;
    jack_port_t* fIn = nullptr;
    jack_port_t* fOutA = nullptr;
    jack_port_t* fOutB = nullptr;
    mutable std::mutex fLock;   // guards the send queues against the process thread
    tarv::test::JackMidiRecorder fRecorder;
    std::deque<Bytes> fToSendA, fToSendB;
};

int indexOf(const std::vector<std::string>& names, const std::string& name)
{
    const auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? -1 : int(it - names.begin());
}

// The program's clients are "tarv", "tarv-01", "tarv-02", ...
bool anyOwnPort(const std::vector<std::string>& names)
{
    return std::any_of(names.begin(), names.end(), [](const std::string& n) {
        const std::string client = n.substr(0, n.find(':'));
        return client == "tarv"
            || (client.size() > 5 && client.rfind("tarv-", 0) == 0
                && client.find_first_not_of("0123456789", 5) == std::string::npos);
    });
}

struct Received {
    int device;
    std::uint8_t status, data1, data2;
    bool operator==(const Received&) const = default;
};

}   // namespace

class JackEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!device.start())
            GTEST_SKIP() << "no JACK server runs";
        ASSERT_EQ(tarv::test::installJackMidiService(), "");
        ResetOutputFailure();
    }
    void TearDown() override
    {
        tarv::test::removeJackMidiService();
        SetSettingsFolder("");
    }

    JackDevice device;
};

TEST_F(JackEndToEndTest, TheStartUpSendingReachesAJackDeviceInOrder)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    SetSettingsFolder(folder.path().toStdString());
    {
        std::ofstream ini(SettingsFilePath());
        ini << "[kanal3]\nInstrument=5\nVolume=100\n[kanal15]\nChorus=40\nReverb=50\n";
    }

    const std::vector<std::string> outputs = MidiOutput().Devices();
    const int port = indexOf(outputs, device.inputName());
    ASSERT_GE(port, 0) << "the device's input is not listed";
    EXPECT_FALSE(anyOwnPort(outputs));

    SendAllStoredChannels(port);
    EXPECT_TRUE(MidiOutput().IsOpen(port));
    ASSERT_TRUE(device.inputConnected());
    ASSERT_TRUE(device.waitReceived(96));

    std::vector<Bytes> expected;
    for (std::uint8_t ch = 0; ch < 16; ++ch) {
        const std::uint8_t instrument = ch == 3 ? 5 : 0, volume = ch == 3 ? 100 : 127;
        const std::uint8_t chorus = ch == 15 ? 40 : 0, reverb = ch == 15 ? 50 : 0;
        const std::uint8_t cc = std::uint8_t(0xB0 + ch);
        expected.push_back({std::uint8_t(0xC0 + ch), instrument});   // two bytes on the wire
        expected.push_back({cc, 7, volume});
        expected.push_back({cc, 10, 64});
        expected.push_back({cc, 64, 0});
        expected.push_back({cc, 91, chorus});
        expected.push_back({cc, 93, reverb});
    }
    EXPECT_EQ(device.received(), expected);

    // The program's own output port now exists on the server; it must not be offered as input.
    EXPECT_FALSE(anyOwnPort(MidiInput().Devices()));
}

// Every client of the program is woken each period once active. The ports are listed by one
// client alone (which is never activated); only an open port adds a client of its own.
TEST_F(JackEndToEndTest, OneClientListsThePortsAndEachOpenPortAddsOne)
{
    auto clientExists = [this](const char* name) {
        char* uuid = jack_get_uuid_for_client_name(device.client(), name);
        if (uuid)
            jack_free(uuid);
        return uuid != nullptr;
    };
    const std::vector<std::string> outputs = MidiOutput().Devices();
    EXPECT_GE(indexOf(MidiInput().Devices(), device.outputName(false)), 0);
    EXPECT_TRUE(clientExists("tarv"));
    EXPECT_FALSE(clientExists("tarv-01"));

    MidiOutput().Open(indexOf(outputs, device.inputName()));
    EXPECT_TRUE(clientExists("tarv-01"));
    EXPECT_FALSE(clientExists("tarv-02"));
}

TEST_F(JackEndToEndTest, ADeviceWhoseNameOnlyBeginsLikeTheProgramsIsListed)
{
    jack_client_t* other = jack_client_open("tarvos", JackNoStartServer, nullptr);
    ASSERT_NE(other, nullptr);
    jack_port_t* port = jack_port_register(other, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    ASSERT_NE(port, nullptr);
    MidiOutput().Open(indexOf(MidiOutput().Devices(), device.inputName()));   // a client "tarv" of our own

    MidiInput().Create();
    const std::vector<std::string> inputs = MidiInput().Devices();
    EXPECT_GE(indexOf(inputs, "tarvos:out"), 0);
    EXPECT_FALSE(anyOwnPort(inputs));
    jack_client_close(other);
}

TEST_F(JackEndToEndTest, InputFromAJackDeviceArrivesWithItsDeviceIndex)
{
    std::mutex lock;
    std::vector<Received> received;
    std::vector<Bytes> sysEx;
    TMidiInput& in = MidiInput();
    in.setOnMidiData([&](int index, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
        std::lock_guard guard(lock);
        received.push_back({index, status, data1, data2});
    });
    in.setOnSysExData([&](int, const std::vector<std::uint8_t>& stream) {
        std::lock_guard guard(lock);
        sysEx.push_back(stream);
    });

    const std::vector<std::string> inputs = in.Devices();
    const int a = indexOf(inputs, device.outputName(false));
    const int b = indexOf(inputs, device.outputName(true));
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_FALSE(anyOwnPort(inputs));

    in.Open(b);
    ASSERT_TRUE(device.outputConnected(true));
    EXPECT_FALSE(device.outputConnected(false));

    Bytes longMessage(3000, 0x33);
    longMessage.front() = 0xF0;
    longMessage.back() = 0xF7;
    device.send(false, {0x90, 0x30, 0x10});   // port a is not open: never arrives
    device.send(true, {0x92, 0x40, 0x7F});
    device.send(true, {0xFE});   // active sensing is not filtered
    device.send(true, longMessage);
    device.send(true, {0xC5, 0x11});
    const auto complete = [&] {
        std::lock_guard guard(lock);
        return received.size() >= 3 && sysEx.size() >= 2;
    };
    ASSERT_TRUE(tarv::test::waitFor(complete, std::chrono::seconds(10)));

    in.Close(b);
    std::lock_guard guard(lock);
    EXPECT_EQ(received, (std::vector<Received>{{b, 0x92, 0x40, 0x7F}, {b, 0xFE, 0, 0}, {b, 0xC5, 0x11, 0}}));
    ASSERT_EQ(sysEx.size(), 2u);
    EXPECT_EQ(sysEx[0].size(), 2048u);
    EXPECT_EQ(sysEx[1].size(), 952u);
    EXPECT_EQ(sysEx[0].front(), 0xF0);
    EXPECT_EQ(sysEx[1].back(), 0xF7);
}

// The keyboard widget asks the service for the output names whenever its device changes, so
// the service lists the graph anew while the port set's list stays as it was.
TEST_F(JackEndToEndTest, AnOutputGoneFromTheGraphIsReportedAndNeverSwappedForTheNext)
{
    auto first = std::make_unique<JackDevice>("e2e-first");
    JackDevice second("e2e-second");
    JackDevice third("e2e-third");
    ASSERT_TRUE(first->start() && second.start() && third.start());
    const std::string firstName = first->inputName();

    TMidiOutput& out = MidiOutput();
    out.Create();
    const int a = indexOf(out.Devices(), firstName);
    const int b = indexOf(out.Devices(), second.inputName());
    ASSERT_GE(a, 0);
    ASSERT_GT(b, a) << "the server lists the ports in the order they were registered";

    first.reset();
    ASSERT_TRUE(tarv::test::waitFor([&] { return indexOf(tarv::midiService().outputNames(), firstName) < 0; }));

    std::string failure;
    try {
        out.Send(b, 0x90, 60, 100);
    } catch (const tarv::MidiServiceError& e) {
        failure = e.what();
    }
    EXPECT_NE(failure.find(second.inputName()), std::string::npos) << failure;
    EXPECT_FALSE(out.IsOpen(b));

    // Made anew, the list reaches the device at its new index, and only that one.
    out.Create();
    const int now = indexOf(out.Devices(), second.inputName());
    ASSERT_GE(now, 0);
    out.Send(now, 0x90, 61, 100);
    ASSERT_TRUE(second.waitReceived(1));
    EXPECT_EQ(second.received(), std::vector<Bytes>{Bytes({0x90, 61, 100})});
    EXPECT_TRUE(third.received().empty());
}

// The service finds a JACK server by the name it runs under, and says when none runs.
TEST(JackServerName, TheServiceFindsTheServerByItsNameAndSaysWhenNoneRuns)
{
    if (QStandardPaths::findExecutable(QStringLiteral("jackd")).isEmpty())
        GTEST_SKIP() << "jackd missing";
    const std::string name = "tarv-named-" + std::to_string(::getpid());
    ::setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
    const auto failure = [] {
        try {
            tarv::RtMidiService::create("jack");
        } catch (const tarv::MidiServiceError& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    EXPECT_EQ(failure(), "Der JACK-Server läuft nicht");
    QProcess server;
    server.start(QStringLiteral("jackd"), {"--no-realtime", "-n", QString::fromStdString(name), "-d", "dummy"});
    EXPECT_TRUE(tarv::test::waitFor([&] { return failure().empty(); }, std::chrono::seconds(10)));
    tarv::test::stopProcess(server);
    ::unsetenv("JACK_DEFAULT_SERVER");
}
