// MIDI input through the real main window (offscreen): Note On / Note Off pairs injected on the
// loopback service's input, routed by the window and sent to the loopback output. Prints the
// latency from injection to the routed message, the messages lost and those out of order, for a
// steady 1000 messages per second over 10 seconds and for a burst of 20 000 as fast as possible.
#include "mainwindow/Pemo.h"
#include "midi/LoopbackMidiService.h"
#include "midi/Midi.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char* const InputName = "Bench In";

// Message i of a run: pair i / 2, its Note On (even i) or Note Off (odd i). Note and velocity
// together name the pair uniquely for up to 96 x 127 pairs; every note is a key on screen.
constexpr int FirstNote = 24;
constexpr int Notes = 96;

std::uint32_t message(int i)
{
    const int pair = i / 2;
    const std::uint32_t note = std::uint32_t(FirstNote + pair % Notes);
    const std::uint32_t velocity = std::uint32_t(1 + (pair / Notes) % 127);
    return i % 2 == 0 ? (0x90u | note << 8 | velocity << 16) : (0x80u | note << 8);
}

struct Result {
    double p50 = 0, p99 = 0, max = 0;   // microseconds
    int lost = 0;
    int outOfOrder = 0;
    double seconds = 0;                 // first injection to last message out
};

// Injects `count` messages from a thread of its own, `interval` apart (zero: as fast as it can),
// while the UI thread runs the window; then matches the output with the input.
Result run(tarv::LoopbackMidiService& loop, int count, std::chrono::microseconds interval)
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
    });

    // The UI thread runs its event loop as in the program, until everything is out or the time is up.
    const auto limit = std::chrono::seconds(30) + count * interval;
    QElapsedTimer timer;
    timer.start();
    QEventLoop events;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &events, [&] {
        if (loop.waitSent(std::size_t(count), std::chrono::milliseconds(0))
            || timer.elapsed() > std::chrono::duration_cast<std::chrono::milliseconds>(limit).count())
            events.quit();
    });
    check.start(20);
    events.exec();
    injector.join();
    loop.waitInputIdle();
    QCoreApplication::processEvents();

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
        latencies.push_back(std::chrono::duration<double, std::micro>(m.time - injected[std::size_t(i)]).count());
    }
    result.lost = int(std::count(seen.begin(), seen.end(), false));
    if (!latencies.empty()) {
        std::vector<double> sorted = latencies;
        std::sort(sorted.begin(), sorted.end());
        const auto at = [&](double q) { return sorted[std::min(sorted.size() - 1, std::size_t(q * double(sorted.size())))]; };
        result.p50 = at(0.50);
        result.p99 = at(0.99);
        result.max = sorted.back();
    }
    if (!sent.empty() && count > 0)
        result.seconds = std::chrono::duration<double>(sent.back().time - injected.front()).count();
    return result;
}

void print(const char* name, int count, const Result& r)
{
    std::printf("%-28s %6d msgs  latency p50 %8.1f us  p99 %8.1f us  max %9.1f us  lost %d  out of order %d  (%.2f s, %.0f msg/s)\n",
                name, count, r.p50, r.p99, r.max, r.lost, r.outOfOrder, r.seconds,
                r.seconds > 0 ? count / r.seconds : 0.0);
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir settings;
    SetSettingsFolder(settings.path().toStdString());
    auto service = std::make_unique<tarv::LoopbackMidiService>(std::vector<std::string>{InputName},
                                                               std::vector<std::string>{"Bench Out"});
    tarv::LoopbackMidiService& loop = *service;
    tarv::setMidiService(std::move(service));

    auto window = std::make_unique<TfrmPemo>();
    window->show();
    QElapsedTimer wait;
    wait.start();
    while (!(window->windowHandle() && window->windowHandle()->isExposed()) && wait.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QCoreApplication::processEvents();
    MidiInput().Open(0);

    const int steadyCount = 10000;   // 1000 messages per second for 10 seconds
    const int burstCount = 20000;
    print("steady 1000 msg/s, 10 s", steadyCount, run(loop, steadyCount, std::chrono::microseconds(1000)));
    print("burst, as fast as possible", burstCount, run(loop, burstCount, std::chrono::microseconds(0)));

    window.reset();   // closes the input port before the service goes away
    MidiShutdown();
    tarv::setMidiService(nullptr);
    SetSettingsFolder({});
    return 0;
}
