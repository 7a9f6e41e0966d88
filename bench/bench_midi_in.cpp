// MIDI thru over the loopback service: Note On / Note Off pairs injected on the service's input
// from a thread of their own and matched at its output. Two subjects in one run: the floor, a
// handler on the input port set that echoes each message to the output on the service's thread,
// and the program, the real main window (offscreen), which routes each message on the service's
// thread too. For each: latency from injection to the message out, the messages lost and those
// out of order, for a steady 1000 messages per second over 10 seconds (also with one busy thread
// spinning beside) and for a burst of 20 000 as fast as possible. After the program's burst the
// marks on the keyboard and on the readout strip must equal NotesOn.
#include "mainwindow/Pemo.h"
#include "midi/LoopbackMidiService.h"
#include "midi/Midi.h"
#include "midi/MidiSenders.h"
#include "midi/MidiServiceFactory.h"
#include "player/Player.h"
#include "sending/SettingsSending.h"
#include "settings/Settings.h"
#include "widgets/Klavier.h"
#include "widgets/KlavierO.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char* const InputName = "Bench In";

// Message i of a run: pair i / 2, its Note On (even i) or Note Off (odd i). Note and velocity
// together name the pair uniquely for up to 96 x 127 pairs; every note is a key on screen.
constexpr int FirstNote = 24;
constexpr int Notes = 96;
// Notes below FirstNote that the burst leaves held, for the comparison of the marks.
constexpr int HeldNotes = 12;

std::uint32_t message(int i)
{
    const int pair = i / 2;
    const std::uint32_t note = std::uint32_t(FirstNote + pair % Notes);
    const std::uint32_t velocity = std::uint32_t(1 + (pair / Notes) % 127);
    return i % 2 == 0 ? (0x90u | note << 8 | velocity << 16) : (0x80u | note << 8);
}

struct Result {
    double p50 = 0, p99 = 0, max = 0;   // microseconds
    double last = 0;                    // of the last message injected, microseconds
    int lost = 0;
    int outOfOrder = 0;
    double seconds = 0;     // first injection to last message out
    double injecting = 0;   // first injection to last, seconds
};

// One busy thread, not pinned to a core, for the time of a run.
class TSpinner {
public:
    TSpinner()
        : fThread([this] {
              while (!fStop.load(std::memory_order_relaxed)) {
              }
          })
    {}
    ~TSpinner()
    {
        fStop = true;
        fThread.join();
    }

private:
    std::atomic<bool> fStop{false};
    std::thread fThread;
};

// Injects `count` messages from a thread of its own, `interval` apart (zero: as fast as it can),
// then `held` Note Ons below FirstNote, while the UI thread runs its event loop as the program
// does; then matches the output with the input.
Result run(tarv::LoopbackMidiService& loop, int count, std::chrono::microseconds interval, int held = 0)
{
    loop.clearSent();
    std::vector<Clock::time_point> injected(static_cast<std::size_t>(count));
    std::thread injector([&] {
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < count; ++i) {
            if (interval.count() > 0)
                std::this_thread::sleep_until(start + i * interval);
            injected[std::size_t(i)] = Clock::now();
            loop.injectShort(InputName, message(i));
        }
        for (int note = 0; note < held; ++note)
            loop.injectShort(InputName, 0x90u | std::uint32_t(note) << 8 | 100u << 16);
    });

    const std::size_t expected = std::size_t(count + held);
    const auto limit = std::chrono::seconds(30) + count * interval;
    QElapsedTimer timer;
    timer.start();
    QEventLoop events;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &events, [&] {
        if (loop.waitSent(expected, std::chrono::milliseconds(0))
            || timer.elapsed() > std::chrono::duration_cast<std::chrono::milliseconds>(limit).count())
            events.quit();
    });
    check.start(20);
    events.exec();
    injector.join();
    loop.waitInputIdle();
    QCoreApplication::sendPostedEvents();

    const std::vector<tarv::SentMessage> sent = loop.sent();
    Result result;
    std::vector<double> latencies;
    std::vector<bool> seen(std::size_t(count), false);
    std::array<int, 128> pairOfNote{};
    pairOfNote.fill(-1);
    int highest = -1;
    for (const tarv::SentMessage& m : sent) {
        if (m.bytes.size() != 3)
            continue;
        const int note = m.bytes[1];
        int i = -1;
        if ((m.bytes[0] & 0xF0) == 0x90 && note >= FirstNote && note < FirstNote + Notes) {
            const int pair = (m.bytes[2] - 1) * Notes + (note - FirstNote);
            pairOfNote[std::size_t(note)] = pair;
            i = 2 * pair;
        } else if ((m.bytes[0] & 0xF0) == 0x80 && pairOfNote[std::size_t(note)] >= 0) {
            i = 2 * pairOfNote[std::size_t(note)] + 1;
        }
        if (i < 0 || i >= count || seen[std::size_t(i)])
            continue;
        seen[std::size_t(i)] = true;
        if (i < highest)
            ++result.outOfOrder;
        highest = std::max(highest, i);
        const double latency = std::chrono::duration<double, std::micro>(m.time - injected[std::size_t(i)]).count();
        latencies.push_back(latency);
        if (i == count - 1)
            result.last = latency;
    }
    result.lost = int(std::count(seen.begin(), seen.end(), false));
    if (!latencies.empty()) {
        std::vector<double> sorted = latencies;
        std::sort(sorted.begin(), sorted.end());
        const auto at = [&](double q) {
            return sorted[std::min(sorted.size() - 1, std::size_t(q * double(sorted.size())))];
        };
        result.p50 = at(0.50);
        result.p99 = at(0.99);
        result.max = sorted.back();
    }
    if (!sent.empty() && count > 0) {
        result.seconds = std::chrono::duration<double>(sent.back().time - injected.front()).count();
        result.injecting = std::chrono::duration<double>(injected.back() - injected.front()).count();
    }
    return result;
}

void print(const char* name, int count, const Result& r)
{
    std::printf("%-38s %6d msgs  p50 %8.1f us  p99 %8.1f us  max %9.1f us  last %9.1f us  lost %d  "
                "out of order %d  (injected at %.0f msg/s, all out after %.3f s)\n",
                name, count, r.p50, r.p99, r.max, r.last, r.lost, r.outOfOrder,
                r.injecting > 0 ? (count - 1) / r.injecting : 0.0, r.seconds);
    std::fflush(stdout);
}

// Lets the UI thread show everything handled so far.
void showPending(const TfrmPemo& window)
{
    QElapsedTimer timer;
    timer.start();
    while (!window.WidgetsUpToDate() && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// The marks on the keyboard and on the readout strip against NotesOn; returns the notes on.
int compareMarks(const TfrmPemo& window, bool& equal)
{
    const std::array<bool, 128> notes = window.player().State().NotesOn;
    equal = true;
    int on = 0;
    for (int note = 0; note < 128; ++note) {
        const bool sounding = notes[std::size_t(note)];
        on += sounding ? 1 : 0;
        equal = equal && window.Pemo->IsMarked(note) == sounding && window.PemoOM->IsMarked(note) == sounding;
    }
    return on;
}

constexpr int BurstCount = 20000;
constexpr std::chrono::microseconds SteadyInterval(1000);

struct TRuns {
    Result steady, busy, burst;
};

// The three runs of one subject, each printed as it ends; the burst leaves `held` notes on.
TRuns runSubject(tarv::LoopbackMidiService& loop, const std::string& subject, int steadyCount, int held)
{
    TRuns runs;
    runs.steady = run(loop, steadyCount, SteadyInterval);
    print((subject + ": steady 1000 msg/s").c_str(), steadyCount, runs.steady);
    {
        TSpinner spinner;
        runs.busy = run(loop, steadyCount, SteadyInterval);
    }
    print((subject + ": the same, one thread spinning").c_str(), steadyCount, runs.busy);
    runs.burst = run(loop, BurstCount, std::chrono::microseconds(0), held);
    print((subject + ": burst, as fast as possible").c_str(), BurstCount, runs.burst);
    return runs;
}

}   // namespace

// Argument (optional): the seconds of each steady run, 10 by default.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const int steadySeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int SteadyCount = 1000 * steadySeconds;   // 1000 messages per second
    QApplication app(argc, argv);

    QTemporaryDir settings;
    SetSettingsFolder(settings.path().toStdString());
    auto service = std::make_unique<tarv::LoopbackMidiService>(std::vector<std::string>{InputName},
                                                               std::vector<std::string>{"Bench Out"});
    tarv::LoopbackMidiService& loop = *service;
    tarv::setMidiService(std::move(service));

    // The floor: the same road without the program's rules, routing and widgets.
    MidiInput().setOnMidiData([](int, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
        try {
            MidiOutput().Send(0, status, data1, data2);
        } catch (...) {
        }
    });
    MidiInput().Open(0);
    const TRuns floor = runSubject(loop, "floor", SteadyCount, 0);
    MidiInput().Close(0);
    MidiInput().setOnMidiData({});

    // The program, its readout strip shown.
    TPlayer player;
    player.SendAllStoredChannels();
    player.LoadStoredSettings();
    auto window = std::make_unique<TfrmPemo>(player);
    window->show();
    QElapsedTimer wait;
    wait.start();
    while (!(window->windowHandle() && window->windowHandle()->isExposed()) && wait.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    window->btnKlangAnz->click();
    showPending(*window);
    MidiInput().Open(0);

    const TRuns program = runSubject(loop, "program", SteadyCount, HeldNotes);
    showPending(*window);
    bool marksEqual = false;
    const int held = compareMarks(*window, marksEqual);
    std::printf("after the burst: %d notes on, the marks on the keyboard and the readout strip %s NotesOn\n", held,
                marksEqual ? "equal" : "DIFFER FROM");
    std::printf("program p99 / floor p99, steady: %.2f\n",
                floor.steady.p99 > 0 ? program.steady.p99 / floor.steady.p99 : 0.0);

    window.reset();   // closes the input port before the service goes away
    MidiShutdown();
    tarv::setMidiService(nullptr);
    SetSettingsFolder({});
    return 0;
}
