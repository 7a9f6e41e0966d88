// Helpers shared by the test suites: waiting on conditions, the application object, and the
// X server and child processes of the tests that run the real program.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tarv::test {

// Polls `condition` (processing Qt events in between) until it holds or the timeout passes.
bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(5));

// A QApplication for the whole test binary, created on first use (offscreen platform).
void ensureApplication();
// The same; when it creates the application on the offscreen platform, its one screen has
// this size (the platform's own default is 800 x 800).
void ensureApplication(int screenWidth, int screenHeight);

// `text`, written with "\n", with the line ends of a new file on this system (CR LF on Windows).
QByteArray systemLineEnds(QByteArray text);

// Starts an X server (Xvfb) on a free display in `xvfb`; returns the display (":N"), or an
// empty string when it did not start.
QString startXvfb(QProcess& xvfb);

// Asks a child process to end and kills it when it still runs after 5 s.
void stopProcess(QProcess& process);

#ifndef _WIN32
// The user the tests drop to where root would be allowed everything.
inline constexpr unsigned NobodyId = 65534;
// Runs `body` in a child process made with fork that, when this process is root, first drops to
// the user NobodyId with no groups. Returns the child's exit code: what `body` returned (0..63),
// 64 when the change of user failed, -1 when the child did not end normally. POSIX only.
int runAsNobody(const std::function<int()>& body);
#endif

// A Standard MIDI File as a reader of its own reads it: Debian's python3-mido, through
// tests/support/read_midi_file.py. Not parsed when mido refuses the file (or is missing).
struct MidiFileEvent {
    std::uint32_t tick = 0;   // from the start of the file
    std::vector<std::uint8_t> bytes;
};
struct MidiFileContents {
    bool parsed = false;
    int format = -1;
    int ticksPerQuarter = 0;
    std::uint32_t tempo = 0;             // microseconds per quarter note
    std::vector<MidiFileEvent> events;   // the channel messages, track by track
};
MidiFileContents readMidiFile(const QString& path);

}   // namespace tarv::test
