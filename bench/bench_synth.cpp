// The built-in synthesizer: memory with each sound font, loading, program changes while
// playing, rendering cost, idle CPU and (with a JACK server) the time from a Note On to its
// sound at the audio output.
#include "FluidSynthService.h"
#include "midi/SoundFontSearch.h"

#if defined(TARV_BENCH_JACK)
#include "JackCapture.h"
#endif

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace tarv;
using Clock = std::chrono::steady_clock;

namespace {

const char* const SoundFonts[] = {"/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2"};

std::uint32_t packed(int status, int data1, int data2 = 0)
{
    return static_cast<std::uint32_t>(status | (data1 << 8) | (data2 << 16));
}

double rssMiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
}

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

FluidSynthService::Options offline()
{
    FluidSynthService::Options options;
    options.audio = false;
    return options;
}

// The program changes of the start-up sending with the default settings file: program
// 8 k on channel k.
void sendStartUpPrograms(FluidSynthService& synth, PortHandle port)
{
    for (int channel = 0; channel < 16; ++channel)
        synth.sendShort(port, packed(0xC0 | channel, 8 * channel));
}

void loading(const char* file, bool dynamic)
{
    malloc_trim(0);
    const double before = rssMiB();
    const auto start = Clock::now();
    FluidSynthService::Options options = offline();
    options.dynamicSampleLoading = dynamic;
    FluidSynthService synth(file, options);
    const PortHandle port = synth.openOutput(0, SynthPortName);
    sendStartUpPrograms(synth, port);
    const double returned = millisecondsSince(start);
    const bool loadedOnReturn = synth.isLoaded();
    synth.waitUntilLoaded(std::chrono::seconds(60));
    const double loaded = millisecondsSince(start);
    std::printf("%-38s %-22s construct+open+16 programs %.2f ms (loaded then: %s), loaded and programs in after %.0f "
                "ms, RSS +%.1f MiB\n",
                file, dynamic ? "samples of the presets" : "every sample", returned, loadedOnReturn ? "yes" : "no",
                loaded, rssMiB() - before);
    if (!dynamic)
        return;
    // The reader of later program changes comes with its first use.
    synth.sendShort(port, packed(0xC0, 1));
    synth.waitUntilSettled(std::chrono::seconds(60));
    std::printf("%-38s %-22s after one more program change: RSS +%.1f MiB\n", file, "", rssMiB() - before);
}

// Every program in turn on channel 0 while two threads play notes on channels 1 and 2 (as the
// UI and the MIDI thread do) and a third renders audio periods as the audio callback does.
// Prints the longest call of each and how long a program change took to come into force.
void programChanges(const char* file)
{
    FluidSynthService synth(file, offline());
    synth.waitUntilLoaded(std::chrono::seconds(60));
    const PortHandle port = synth.openOutput(0, SynthPortName);
    sendStartUpPrograms(synth, port);
    synth.waitUntilSettled(std::chrono::seconds(60));

    std::atomic<bool> stop{false};
    std::atomic<long> notes{0}, lateNotes{0};
    auto longest = [](std::atomic<double>& slot, double value) {
        double seen = slot.load();
        while (value > seen && !slot.compare_exchange_weak(seen, value)) {
        }
    };
    std::atomic<double> longestSend[2] = {0.0, 0.0}, longestRender{0.0};
    auto player = [&](int thread) {
        const int channel = 1 + thread;
        for (int i = 0; !stop; ++i) {
            const int note = 48 + i % 24;
            for (std::uint32_t message : {packed(0x90 | channel, note, 90), packed(0x80 | channel, note, 0)}) {
                const auto start = Clock::now();
                synth.sendShort(port, message);
                const double took = millisecondsSince(start);
                longest(longestSend[thread], took);
                ++notes;
                if (took > 5)
                    ++lateNotes;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    std::thread ui(player, 0), midi(player, 1);
    std::thread audio([&] {
        const int block = FluidSynthService::PeriodSize;
        std::vector<float> left(block), right(block);
        while (!stop) {
            const auto start = Clock::now();
            synth.render(left.data(), right.data(), block);
            longest(longestRender, millisecondsSince(start));
            std::this_thread::sleep_for(std::chrono::microseconds(1000000 * block / FluidSynthService::SampleRate));
        }
    });
    std::vector<double> inForce;
    for (int program = 0; program < 128; ++program) {
        const auto start = Clock::now();
        synth.sendShort(port, packed(0xC0, program));
        synth.waitUntilSettled(std::chrono::seconds(60));
        inForce.push_back(millisecondsSince(start));
    }
    stop = true;
    ui.join();
    midi.join();
    audio.join();
    std::sort(inForce.begin(), inForce.end());
    std::printf("%s, 128 program changes on channel 0 while notes play on channels 1 and 2:\n", file);
    std::printf("  program change in force after: median %.2f ms, longest %.1f ms (the samples read meanwhile)\n",
                inForce[inForce.size() / 2], inForce.back());
    std::printf(
        "  longest sendShort: UI thread %.2f ms, MIDI thread %.2f ms; %ld of %ld note messages took over 5 ms\n",
        longestSend[0].load(), longestSend[1].load(), lateNotes.load(), notes.load());
    std::printf("  longest audio period rendered (%d frames): %.2f ms\n", FluidSynthService::PeriodSize,
                longestRender.load());
    std::printf("  RSS after every program was in use once: %.1f MiB\n", rssMiB());
}

// Microseconds per block of one audio period (128 frames = 2.67 ms at 48 kHz).
void renderingCost(const char* file)
{
    FluidSynthService synth(file, offline());
    synth.waitUntilLoaded(std::chrono::seconds(60));
    const PortHandle port = synth.openOutput(0, SynthPortName);
    const int block = FluidSynthService::PeriodSize;
    std::vector<float> left(block), right(block);
    const double blockMicroseconds = 1e6 * block / FluidSynthService::SampleRate;

    auto measure = [&](const char* what, bool keepAwake) {
        constexpr int blocks = 4000;
        for (int i = 0; i < 200; ++i)
            synth.render(left.data(), right.data(), block);
        const auto start = Clock::now();
        for (int i = 0; i < blocks; ++i) {
            if (keepAwake)
                synth.sendShort(port, packed(0xB0, 1, 0));
            synth.render(left.data(), right.data(), block);
        }
        const double perBlock = 1000.0 * millisecondsSince(start) / blocks;
        std::printf("  %-44s %7.2f us/block  %5.2f %% of real time\n", what, perBlock,
                    100.0 * perBlock / blockMicroseconds);
    };

    std::printf("%s, blocks of %d frames:\n", file, block);
    for (int i = 0; i < 400; ++i)   // let the synth fall idle
        synth.render(left.data(), right.data(), block);
    measure("idle (no note, rendering skipped)", false);
    measure("silent but awake (a controller every block)", true);
    synth.sendShort(port, packed(0xC0, 0));
    synth.sendShort(port, packed(0x90, 60, 100));
    measure("1 piano note", false);
    for (int note = 36; note < 52; ++note)
        synth.sendShort(port, packed(0x90, note, 100));
    measure("17 piano notes", false);
    synth.sendShort(port, packed(0xC0, 48));   // strings: several voices per note
    synth.sendShort(port, packed(0xB0, 64, 127));
    for (int note = 52; note < 100; ++note)
        synth.sendShort(port, packed(0x90, note, 100));
    measure("65 notes, strings and piano, sustain", false);
}

double cpuOver(double seconds, const std::function<void()>& meanwhile)
{
    const double before = cpuSeconds();
    const auto start = Clock::now();
    while (millisecondsSince(start) < seconds * 1000) {
        meanwhile();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 100.0 * (cpuSeconds() - before) / seconds;
}

void idleCpu(const char* file)
{
#if defined(TARV_BENCH_JACK)
    {
        // What any JACK client costs that wakes up every period and does nothing.
        test::JackCapture bare("tarv-bench-bare");
        if (bare.valid())
            std::printf("  CPU of a JACK client doing nothing (5 s), for comparison: %.2f %%\n", cpuOver(5, [] {}));
    }
#endif
    FluidSynthService synth(file);
    PortHandle port = 0;
    try {
        port = synth.openOutput(0, SynthPortName);
    } catch (const MidiServiceError& e) {
        std::printf("audio output: %s\n", e.what());
        return;
    }
    synth.waitUntilLoaded(std::chrono::seconds(60));
    std::printf("audio output through FluidSynth's %s driver\n", synth.audioDriver().c_str());
    std::this_thread::sleep_for(std::chrono::seconds(1));

    std::printf("  CPU idle, no note (5 s):                      %.2f %%\n", cpuOver(5, [] {}));
    std::printf("  CPU silent but awake (a controller each 10 ms): %.2f %%\n",
                cpuOver(5, [&] { synth.sendShort(port, packed(0xB0, 1, 0)); }));
    synth.sendShort(port, packed(0xC0, 19));
    synth.sendShort(port, packed(0x90, 60, 100));
    std::printf("  CPU one held organ note (5 s):                %.2f %%\n", cpuOver(5, [] {}));
    synth.sendShort(port, packed(0xB0, 123, 0));

#if defined(TARV_BENCH_JACK)
    if (synth.audioDriver() != "jack")
        return;
    test::JackCapture capture("tarv-bench-capture");
    if (!capture.valid() || capture.connectFrom("^tarv[^:]*:left$") == 0)
        return;
    std::this_thread::sleep_for(std::chrono::seconds(3));   // the organ's release and the reverb die away
    std::vector<double> latencies;
    for (int i = 0; i < 20; ++i) {
        capture.arm(1e-3f);
        const auto sent = Clock::now();
        synth.sendShort(port, packed(0x90, 72, 127));
        while (!capture.heard() && millisecondsSince(sent) < 1000)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        if (capture.heard())
            latencies.push_back(std::chrono::duration<double, std::milli>(capture.heardAt() - sent).count());
        synth.sendShort(port, packed(0xB0, 120, 0));   // all sound off: silence at once
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    if (!latencies.empty()) {
        std::sort(latencies.begin(), latencies.end());
        std::printf("  Note On to sound at a JACK input (%d notes, JACK period %d frames at %d Hz): median %.1f ms, "
                    "max %.1f ms\n",
                    int(latencies.size()), capture.periodFrames(), capture.sampleRate(),
                    latencies[latencies.size() / 2], latencies.back());
    }
#endif
}

}   // namespace

int main()
{
    std::printf("RSS at start: %.1f MiB\n", rssMiB());
    std::vector<const char*> present;
    for (const char* file : SoundFonts)
        if (isSoundFontFile(file))
            present.push_back(file);
    if (present.empty()) {
        std::printf("no sound font found\n");
        return 0;
    }
    std::printf("\n== Loading (offline synth, the sound font read in the background)\n");
    for (const char* file : present) {
        loading(file, true);
        loading(file, false);
    }
    std::printf("\n== Program changes while playing\n");
    for (const char* file : present)
        programChanges(file);
    std::printf("\n== Rendering cost\n");
    for (const char* file : present)
        renderingCost(file);
    std::printf("\n== Idle CPU with the audio output (TimGM6mb)\n");
    idleCpu(present.front());
    return 0;
}
