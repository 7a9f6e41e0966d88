// The random-session soak: the real program on its own X server and a JACK server, played by a
// seeded random player for a given time: the mouse on the keyboard and on every control (the
// link panel excepted: it opens a web browser), the PC keys, the three dialogs, and a MIDI
// keyboard on JACK that releases every key it pressed and sends the other channel messages too
// (controllers, program changes, pitch bend, pressure), and now and then Ctrl+S. At the end the
// player releases what it holds, presses Reset and closes the window. The run passes when the
// program ended with exit code 0 and without a sanitizer report, its settings file loads, every
// Note On that it sent was ended, and every file it saved parses with its notes all ended.
//   tarv_soak --tarv PATH --seconds N [--seed S]
// Exit code 0: passed; 1: failed (the seed is printed; the same seed plays the same session);
// 77: no JACK server, Xvfb or XTEST.
#include "JackPeer.h"
#include "NoteLedger.h"
#include "TestSupport.h"
#include "XSession.h"

#include "settings/IniFile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <X11/keysym.h>
#include <csignal>
#include <sys/prctl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using namespace std::chrono_literals;
using tarv::soak::Point;
using tarv::soak::Rect;
using tarv::soak::ShownWindow;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

constexpr int ExitSkipped = 77;

// The main window's controls in its client coordinates, from its layout: the strips lie in
// panelBasis at (27, 24). A closed cover lies over its strip, so a click meant for a control
// there opens the cover instead, as it would for a player.
enum class Gesture { Click, Slide, Spin, Hold, Combo };
struct Control {
    const char* name;
    Rect rect;
    Gesture gesture;
};
// clang-format off
constexpr Control MainControls[] = {
    {"panelAO closed", {67, 36, 757, 36}, Gesture::Click},
    {"panelAO open", {67, 0, 757, 36}, Gesture::Click},
    {"panelAU closed", {67, 216, 757, 48}, Gesture::Click},
    {"panelAU open", {67, 264, 757, 48}, Gesture::Click},
    {"panelAL closed", {36, 72, 33, 144}, Gesture::Click},
    {"panelAL open", {0, 72, 33, 144}, Gesture::Click},
    {"panelAR closed", {824, 72, 35, 144}, Gesture::Click},
    {"panelAR open", {860, 72, 35, 144}, Gesture::Click},
    {"bbtnPorts", {70, 38, 32, 32}, Gesture::Click},
    {"slVelocity", {103, 36, 40, 36}, Gesture::Click},
    {"tbVelocity", {143, 48, 87, 24}, Gesture::Slide},
    {"tbPanorama", {232, 48, 127, 24}, Gesture::Slide},
    {"tbChorus", {359, 48, 127, 24}, Gesture::Slide},
    {"tbReverb", {486, 48, 127, 24}, Gesture::Slide},
    {"tbVolume", {35, 73, 31, 124}, Gesture::Slide},
    {"Pemo", {67, 89, 757, 107}, Gesture::Hold},
    {"lblC3..lblC7", {67, 198, 757, 16}, Gesture::Click},
    {"seLKanal", {68, 218, 35, 21}, Gesture::Spin},
    {"btnInstrument", {68, 240, 71, 22}, Gesture::Click},
    {"cbModus", {140, 217, 223, 22}, Gesture::Combo},
    {"btnStimmung", {140, 240, 74, 22}, Gesture::Click},
    {"btnSustain", {364, 217, 82, 22}, Gesture::Click},
    {"bbtnPckey", {452, 216, 205, 48}, Gesture::Click},
    {"btnSetSplit", {657, 242, 83, 22}, Gesture::Click},
    {"seRkanal", {745, 217, 36, 21}, Gesture::Spin},
    {"seSplitOktave", {783, 217, 36, 21}, Gesture::Spin},
    {"btnKlangAnz", {824, 72, 35, 36}, Gesture::Click},
    {"btnReset", {824, 108, 35, 36}, Gesture::Click},
    {"btnLerne", {824, 144, 35, 36}, Gesture::Click},
    {"btnHint", {824, 180, 35, 17}, Gesture::Click},
    {"btnSpr", {824, 197, 35, 17}, Gesture::Click},
};
// clang-format on
constexpr Control Keyboard = MainControls[15];
static_assert(Keyboard.gesture == Gesture::Hold);
constexpr Rect MainWindow = {0, 0, 894, 312};
// sPanel1 with a margin: no press may start there.
constexpr Rect LinkPanel = {210, 236, 240, 30};
constexpr Point ResetButton = {841, 126};

// The PC keys of the built-in key map (as X keysyms of a US keyboard) and a few that move the
// focused control.
const unsigned long PcKeys[] = {
    XK_q,     XK_2,     XK_w,    XK_3,     XK_e,  XK_r,    XK_5,     XK_t,    XK_6,     XK_z,   XK_7,
    XK_u,     XK_v,     XK_g,    XK_b,     XK_h,  XK_n,    XK_m,     XK_k,    XK_comma, XK_l,   XK_period,
    XK_grave, XK_minus, XK_Left, XK_Right, XK_Up, XK_Down, XK_Prior, XK_Next, XK_a,     XK_Tab,
};

const char* const MainTitle = "Ovelin Tarv";
const char* const PortsTitle = "Ovelin MidiPorts";
const char* const InstrumentsTitle = "Ovelin GM Instrumente";
const char* const KeysTitle = "OV Stimmung";

bool startsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

class Player {
public:
    Player(std::uint64_t seed, tarv::soak::XSession& x, tarv::test::JackPeer& keyboard)
        : fRandom(seed), fX(x), fKeyboard(keyboard)
    {}

    // One step of the session: whatever a player might do next with what the screen shows.
    void step()
    {
        const std::vector<ShownWindow> windows = fX.shownWindows();
        const ShownWindow* main = find(windows, MainTitle);
        const ShownWindow* ports = find(windows, PortsTitle);
        const ShownWindow* instruments = find(windows, InstrumentsTitle);
        const ShownWindow* keys = find(windows, KeysTitle);
        ++fSteps;
        if (const ShownWindow* box = messageBox(windows)) {
            ++fMessageBoxes;
            confirm(*box);
            return;
        }
        if (ports) {
            ++fDialogSteps;
            playPortDialog(*ports);
            return;
        }
        if (!main)
            return;
        switch (weighted({30, 14, 16, 6, 8, 8, 1})) {
        case 0:
            playControl(*main, MainControls[pick(std::size(MainControls))]);
            break;
        case 1:
            playControl(*main, Keyboard);   // more often than the rest
            break;
        case 2:
            playMidiKeyboard();
            break;
        case 3:
            wheel(*main, randomPoint(MainWindow));
            break;
        case 4:
            playPcKey();
            break;
        case 5:
            // Whichever of the two tool windows shows; with both, either.
            if (instruments && (!keys || chance(50))) {
                ++fDialogSteps;
                playToolWindow(*instruments, {0, 0, 894, 208});
            } else if (keys) {
                ++fDialogSteps;
                playToolWindow(*keys, {0, 0, 105, 316});
            } else {
                playPcKey();
            }
            break;
        case 6:
            // Saves what was played, maybe while keys are held.
            fX.key(XK_Control_L, true);
            tap(XK_s);
            fX.key(XK_Control_L, false);
            ++fSaves;
            break;
        }
    }

    // Lets go of every PC key and every key of the MIDI keyboard, and lifts its pedal.
    void releaseEverything()
    {
        for (unsigned long key : fHeldKeys)
            fX.key(key, false);
        fHeldKeys.clear();
        std::vector<Bytes> offs;
        for (const auto& [channel, note] : fHeldNotes)
            offs.push_back({std::uint8_t(0x80 | channel), std::uint8_t(note), 64});
        for (int channel : fPedalChannels)
            offs.push_back({std::uint8_t(0xB0 | channel), 64, 0});
        fHeldNotes.clear();
        fPedalChannels.clear();
        fKeyboard.play(std::move(offs));
    }

    // Closes the dialogs and confirms the message boxes; true when only the main window is left.
    bool closeDialogs()
    {
        const std::vector<ShownWindow> windows = fX.shownWindows();
        bool onlyMain = true;
        for (const ShownWindow& w : windows) {
            if (startsWith(w.title, MainTitle))
                continue;
            onlyMain = false;
            if (isDialog(w))
                fX.askToClose(w.id);
            else
                confirm(w);
        }
        return onlyMain;
    }

    void click(const Rect& window, Point at)
    {
        fX.moveTo(onScreen(window, at));
        fX.button(1, true);
        pause(5, 40);
        fX.button(1, false);
    }

    // A modal message box: read and confirmed.
    void confirm(const ShownWindow& box)
    {
        click(box.rect, {box.rect.width / 2, box.rect.height / 2});
        tap(XK_Return);
    }

    void tap(unsigned long keysym)
    {
        fX.key(keysym, true);
        fX.key(keysym, false);
    }

    void pause(int fromMs, int toMs)
    {
        // The player's own pace, between two gestures: nothing is waited for here.
        std::this_thread::sleep_for(std::chrono::milliseconds(fromMs + pick(std::size_t(toMs - fromMs + 1))));
    }

    int steps() const { return fSteps; }
    int messageBoxes() const { return fMessageBoxes; }
    int dialogSteps() const { return fDialogSteps; }
    int notesPlayed() const { return fNotesPlayed; }
    int saves() const { return fSaves; }

private:
    static const ShownWindow* find(const std::vector<ShownWindow>& windows, const char* title)
    {
        for (const ShownWindow& w : windows)
            if (startsWith(w.title, title))
                return &w;
        return nullptr;
    }

    static bool isDialog(const ShownWindow& w)
    {
        return startsWith(w.title, PortsTitle) || startsWith(w.title, InstrumentsTitle)
            || startsWith(w.title, KeysTitle);
    }

    // Any other shown window of the program is a message box.
    static const ShownWindow* messageBox(const std::vector<ShownWindow>& windows)
    {
        for (const ShownWindow& w : windows)
            if (!startsWith(w.title, MainTitle) && !isDialog(w))
                return &w;
        return nullptr;
    }

    std::size_t pick(std::size_t count) { return std::uniform_int_distribution<std::size_t>(0, count - 1)(fRandom); }
    bool chance(int percent) { return int(pick(100)) < percent; }

    std::size_t weighted(std::initializer_list<double> weights)
    {
        return std::discrete_distribution<std::size_t>(weights)(fRandom);
    }

    // A point of the rectangle, never one where a press would reach the link panel.
    Point randomPoint(const Rect& r)
    {
        for (;;) {
            const Point p = {r.x + int(pick(std::size_t(r.width))), r.y + int(pick(std::size_t(r.height)))};
            if (!LinkPanel.contains(p))
                return p;
        }
    }

    static Point onScreen(const Rect& window, Point at) { return {window.x + at.x, window.y + at.y}; }

    void wheel(const ShownWindow& w, Point at)
    {
        fX.moveTo(onScreen(w.rect, at));
        const int button = chance(50) ? 4 : 5;
        for (std::size_t i = 0, n = 1 + pick(3); i < n; ++i) {
            fX.button(button, true);
            fX.button(button, false);
        }
    }

    void drag(const Rect& window, Point from, std::vector<Point> through)
    {
        fX.moveTo(onScreen(window, from));
        fX.button(1, true);
        for (Point p : through) {
            pause(5, 40);
            fX.moveTo(onScreen(window, p));
        }
        pause(5, 60);
        fX.button(1, false);
    }

    void playControl(const ShownWindow& main, const Control& control)
    {
        const Rect& r = control.rect;
        switch (control.gesture) {
        case Gesture::Click:
            click(main.rect, randomPoint(r));
            break;
        case Gesture::Slide: {
            // A click on the track, or a drag along it that may end beyond it.
            std::vector<Point> path;
            for (std::size_t i = 0, n = pick(4); i < n; ++i)
                path.push_back(randomPoint({r.x - 20, r.y - 10, r.width + 40, r.height + 20}));
            drag(main.rect, randomPoint(r), path);
            break;
        }
        case Gesture::Spin:
            // The arrows are the right fifth of the spin edit: up in the top half, down below.
            if (chance(70))
                click(
                    main.rect,
                    {r.x + r.width - 1 - int(pick(std::size_t(r.width / 5))), r.y + int(pick(std::size_t(r.height)))});
            else
                wheel(main, randomPoint(r));
            break;
        case Gesture::Hold: {
            // A key held for a while, maybe dragged over others or off the keyboard.
            std::vector<Point> path;
            if (chance(40))
                for (std::size_t i = 0, n = 1 + pick(6); i < n; ++i)
                    path.push_back(chance(85) ? randomPoint(r) : randomPoint(MainWindow));
            fX.moveTo(onScreen(main.rect, randomPoint(r)));
            fX.button(1, true);
            pause(20, 300);
            for (Point p : path) {
                fX.moveTo(onScreen(main.rect, p));
                pause(10, 80);
            }
            fX.button(1, false);
            break;
        }
        case Gesture::Combo:
            // The list opens (or the cover slides); the arrows pick, Return takes it or Escape not.
            click(main.rect, randomPoint(r));
            pause(30, 120);
            for (std::size_t i = 0, n = pick(3); i < n; ++i)
                tap(chance(50) ? XK_Down : XK_Up);
            tap(chance(70) ? XK_Return : XK_Escape);
            break;
        }
    }

    // Presses a PC key or lets go of one that is held; up to three at a time.
    void playPcKey()
    {
        if (!fHeldKeys.empty() && (fHeldKeys.size() >= 3 || chance(50))) {
            auto it = fHeldKeys.begin();
            std::advance(it, pick(fHeldKeys.size()));
            fX.key(*it, false);
            fHeldKeys.erase(it);
            return;
        }
        const unsigned long key = PcKeys[pick(std::size(PcKeys))];
        if (fHeldKeys.count(key) || !fX.key(key, true))
            return;
        // The moving keys go up again at once; the note keys are held.
        if (key == XK_Left || key == XK_Right || key == XK_Up || key == XK_Down || key == XK_Prior || key == XK_Next
            || key == XK_Tab || key == XK_a)
            fX.key(key, false);
        else
            fHeldKeys.insert(key);
    }

    // The MIDI keyboard: a key pressed or released (up to eight held), a controller moved, or
    // another channel message.
    void playMidiKeyboard()
    {
        const int channel = chance(80) ? 0 : int(pick(16));
        if (!fHeldNotes.empty() && (fHeldNotes.size() >= 8 || chance(45))) {
            auto it = fHeldNotes.begin();
            std::advance(it, pick(fHeldNotes.size()));
            const bool asNoteOn = chance(30);   // some keyboards end a note with velocity 0
            fKeyboard.play({{std::uint8_t((asNoteOn ? 0x90 : 0x80) | it->first), std::uint8_t(it->second), 0}});
            fHeldNotes.erase(it);
            return;
        }
        if (chance(70)) {
            const int note = 21 + int(pick(88));
            if (fHeldNotes.count({channel, note}))
                return;
            fKeyboard.play({{std::uint8_t(0x90 | channel), std::uint8_t(note), std::uint8_t(1 + pick(127))}});
            fHeldNotes.insert({channel, note});
            ++fNotesPlayed;
            return;
        }
        if (chance(40)) {
            playChannelMessage(channel);
            return;
        }
        static constexpr std::uint8_t Controllers[] = {1, 3, 7, 10, 64, 91, 93};
        // Mostly the bound ones; any other but 120 and 123, which would end the recorder's notes
        // themselves and hide one the program left sounding.
        std::uint8_t controller = Controllers[pick(std::size(Controllers))];
        if (chance(30)) {
            do
                controller = std::uint8_t(pick(128));
            while (controller == 120 || controller == 123);
        }
        const std::uint8_t value = std::uint8_t(pick(128));
        if (controller == 64) {
            if (value >= 64)
                fPedalChannels.insert(channel);
            else
                fPedalChannels.erase(channel);
        }
        fKeyboard.play({{std::uint8_t(0xB0 | channel), controller, value}});
    }

    // A program change, pitch bend, channel pressure or key pressure.
    void playChannelMessage(int channel)
    {
        const auto data = [this] { return std::uint8_t(pick(128)); };
        switch (pick(4)) {
        case 0:
            fKeyboard.play({{std::uint8_t(0xC0 | channel), data()}});
            break;
        case 1:
            fKeyboard.play({{std::uint8_t(0xE0 | channel), data(), data()}});
            break;
        case 2:
            fKeyboard.play({{std::uint8_t(0xD0 | channel), data()}});
            break;
        default:
            fKeyboard.play({{std::uint8_t(0xA0 | channel), data(), data()}});
            break;
        }
    }

    // The port dialog (modal): ticks and names in both lists, the two Reset buttons, closing.
    void playPortDialog(const ShownWindow& dialog)
    {
        const Rect& w = dialog.rect;
        switch (weighted({4, 4, 1, 1, 2})) {
        case 0:   // the input list, mostly the tick or the name of its first entry (the MIDI keyboard)
            click(w, chance(70) ? firstEntry(0) : randomPoint({0, 24, 217, 85}));
            break;
        case 1:   // the output list, mostly its first entry (the recorder)
            click(w, chance(70) ? firstEntry(264) : randomPoint({264, 24, 217, 85}));
            break;
        case 2:
            click(w, randomPoint({48, 0, 48, 24}));   // btnRestIn
            break;
        case 3:
            click(w, randomPoint({312, 0, 48, 24}));   // btnResetOut
            break;
        case 4:
            if (chance(50))
                fX.askToClose(dialog.id);
            else
                tap(XK_Escape);
            break;
        }
    }

    Point firstEntry(int listLeft) { return {listLeft + 2 + int(pick(chance(50) ? 16 : 100)), 26 + int(pick(14))}; }

    // The instrument picker and the key selector: a click in the list, an arrow key, or closing.
    void playToolWindow(const ShownWindow& dialog, const Rect& list)
    {
        switch (weighted({6, 2, 2})) {
        case 0:
            click(dialog.rect, randomPoint(list));
            break;
        case 1:
            tap(chance(50) ? XK_Down : XK_Up);
            break;
        case 2:
            fX.askToClose(dialog.id);
            break;
        }
    }

    std::mt19937_64 fRandom;
    tarv::soak::XSession& fX;
    tarv::test::JackPeer& fKeyboard;
    std::set<unsigned long> fHeldKeys;
    std::set<std::pair<int, int>> fHeldNotes;   // channel, note
    std::set<int> fPedalChannels;
    int fSteps = 0;
    int fMessageBoxes = 0;
    int fDialogSteps = 0;
    int fNotesPlayed = 0;
    int fSaves = 0;
};

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
               std::chrono::milliseconds poll = 10ms)
{
    const auto end = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(poll);
    }
    return true;
}

std::size_t countAllNotesOff(const std::vector<Bytes>& messages)
{
    return std::size_t(std::count_if(messages.begin(), messages.end(), [](const Bytes& m) {
        return m.size() == 3 && (m[0] & 0xF0) == 0xB0 && m[1] == 123;
    }));
}

// The settings file as the program left it: readable, and every channel's keys integers 0..127.
QString settingsProblem(const QString& path)
{
    if (!QFile::exists(path))
        return QStringLiteral("no settings file");
    const tarv::IniFile ini = tarv::IniFile::load(path);
    for (int channel = 0; channel < 16; ++channel)
        for (const char* key : {"Instrument", "Velocity", "Volume", "Panorama", "Sustain", "Chorus", "Reverb"}) {
            const int value = ini.readInteger(QStringLiteral("kanal%1").arg(channel), key, -1);
            if (value < 0 || value > 127)
                return QStringLiteral("kanal%1 %2 is missing or out of range").arg(channel).arg(key);
        }
    if (!ini.value(QStringLiteral("allgemein"), QStringLiteral("Programmmodus")))
        return QStringLiteral("allgemein lacks Programmmodus");
    return {};
}

struct Options {
    QString tarv;
    int seconds = 60;
    std::uint64_t seed = std::random_device{}();
};

Options parse(int argc, char** argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--tarv")
            options.tarv = QString::fromLocal8Bit(argv[i + 1]);
        else if (name == "--seconds")
            options.seconds = std::atoi(argv[i + 1]);
        else if (name == "--seed")
            options.seed = std::strtoull(argv[i + 1], nullptr, 10);
    }
    return options;
}

}   // namespace

int main(int argc, char** argv)
{
    const Options options = parse(argc, argv);
    if (options.tarv.isEmpty()) {
        std::fprintf(stderr, "usage: tarv_soak --tarv PATH --seconds N [--seed S]\n");
        return 2;
    }
    std::printf("soak: seed %llu, %d s\n", static_cast<unsigned long long>(options.seed), options.seconds);
    std::fflush(stdout);
    std::vector<std::string> failures;
    const auto fail = [&failures](const QString& what) { failures.push_back(what.toStdString()); };

    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
        std::printf("soak: skipped, Xvfb is missing\n");
        return ExitSkipped;
    }
    tarv::test::JackPeer peer;
    if (!peer.start("soak")) {
        std::printf("soak: skipped, no JACK server runs\n");
        return ExitSkipped;
    }
    if (peer.firstMidiInput() != peer.inputName()) {
        std::printf("soak: FAILED, another client's MIDI input comes first on the JACK server\n");
        return 1;
    }
    // The program and its X server end with the soak, also when the soak itself is killed.
    const auto endWithSoak = [] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); };
    QProcess xvfb;
    xvfb.setChildProcessModifier(endWithSoak);
    const QString display = tarv::test::startXvfb(xvfb);
    auto session = std::make_unique<tarv::soak::XSession>(display.toStdString());
    tarv::soak::XSession& x = *session;
    if (display.isEmpty() || !x.valid()) {
        std::printf("soak: skipped, no X server with XTEST\n");
        return ExitSkipped;
    }

    // A copy of the program, so that its settings file lands in the temporary folder.
    QTemporaryDir folder;
    const QString exe = folder.filePath(QStringLiteral("tarv"));
    const QString errors = folder.filePath(QStringLiteral("tarv-output.txt"));
    if (!folder.isValid() || !QFile::copy(options.tarv, exe)) {
        std::printf("soak: FAILED, cannot copy %s\n", qPrintable(options.tarv));
        return 1;
    }
    QFile(exe).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcess tarv;
    tarv.setChildProcessModifier(endWithSoak);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("TARV_MIDI_API"), QStringLiteral("jack"));
    env.insert(QStringLiteral("TARV_SOUNDFONT"), QStringLiteral("none"));
    env.insert(QStringLiteral("TARV_MIDI_INPUT"), QString::fromStdString(peer.outputName()));
    tarv.setProcessEnvironment(env);
    tarv.setWorkingDirectory(folder.path());
    tarv.setProcessChannelMode(QProcess::MergedChannels);
    tarv.setStandardOutputFile(errors);
    tarv.start(exe, {});
    // Without an event loop QProcess learns of the end only when asked to wait for it.
    const auto running = [&tarv] { return !tarv.waitForFinished(0) && tarv.state() == QProcess::Running; };

    Player player(options.seed, x, peer);
    const auto mainShown = [&x] {
        for (const ShownWindow& w : x.shownWindows())
            if (startsWith(w.title, MainTitle))
                return true;
        return false;
    };
    if (!tarv.waitForStarted(10000) || !waitUntil([&] { return !running() || mainShown(); }, 60s) || !running())
        fail(QStringLiteral("the main window did not show"));
    else if (!waitUntil([&] { return peer.outputConnected(); }, 30s))
        fail(QStringLiteral("tarv did not open the MIDI keyboard"));

    if (failures.empty()) {
        const auto start = Clock::now();
        while (running() && Clock::now() - start < std::chrono::seconds(options.seconds)) {
            player.step();
            player.pause(10, 80);
        }
        if (!running())
            fail(QStringLiteral("tarv ended during the session"));
    }

    if (failures.empty()) {
        player.releaseEverything();
        if (!waitUntil([&] { return player.closeDialogs(); }, 20s, 250ms))
            fail(QStringLiteral("the dialogs did not close"));
        // Reset, until its all-notes-off goes out: the first click may only open the right cover.
        bool reset = false;
        for (int attempt = 0; attempt < 4 && !reset && running(); ++attempt) {
            player.closeDialogs();
            player.tap(XK_Escape);
            const std::size_t before = countAllNotesOff(peer.received());
            for (const ShownWindow& w : x.shownWindows())
                if (startsWith(w.title, MainTitle))
                    player.click(w.rect, ResetButton);
            reset = waitUntil([&] { return countAllNotesOff(peer.received()) > before; }, 5s);
        }
        if (!reset)
            fail(QStringLiteral("Reset sent no all-notes-off"));
        for (const ShownWindow& w : x.shownWindows())
            if (startsWith(w.title, MainTitle))
                x.askToClose(w.id);
        // A failing save shows a message box before the program ends: it is confirmed.
        if (!waitUntil(
                [&] {
                    player.closeDialogs();
                    return !running();
                },
                60s, 250ms))
            fail(QStringLiteral("tarv did not end after its window was closed"));
    }

    if (running()) {
        tarv.kill();
        tarv.waitForFinished(10000);
    } else {
        if (tarv.exitStatus() != QProcess::NormalExit || tarv.exitCode() != 0)
            fail(QStringLiteral("tarv ended with exit code %1 (%2)")
                     .arg(tarv.exitCode())
                     .arg(tarv.exitStatus() == QProcess::NormalExit ? "normal exit" : "crashed"));
        const QString problem = settingsProblem(folder.filePath(QStringLiteral("tarvParameter.ini")));
        if (!problem.isEmpty())
            fail(QStringLiteral("the settings file does not load: ") + problem);
    }
    // The recordings saved beside the settings file, each read by a reader of its own.
    const QDir recordings(folder.filePath(QStringLiteral("Aufnahmen")));
    const QStringList saved = recordings.entryList({QStringLiteral("*.mid")}, QDir::Files);
    for (const QString& name : saved) {
        const tarv::test::MidiFileContents file = tarv::test::readMidiFile(recordings.filePath(name));
        if (!file.parsed) {
            fail(QStringLiteral("the saved file %1 does not parse").arg(name));
            continue;
        }
        std::vector<Bytes> messages;
        for (const tarv::test::MidiFileEvent& e : file.events)
            messages.push_back(e.bytes);
        for (const tarv::soak::UnendedNote& n : tarv::soak::unendedNotes(messages))
            fail(QStringLiteral("%1: channel %2 note %3 does not end").arg(name).arg(n.channel + 1).arg(n.note));
    }
    // The connection goes before its server does: Xlib ends a process whose server went away.
    session.reset();
    tarv::test::stopProcess(xvfb);

    QFile output(errors);
    const QByteArray printed = output.open(QIODevice::ReadOnly) ? output.readAll() : QByteArray();
    for (const char* report :
         {"ERROR: AddressSanitizer", "runtime error:", "ERROR: LeakSanitizer", "WARNING: ThreadSanitizer"})
        if (printed.contains(report))
            fail(QStringLiteral("a sanitizer report: ") + QString::fromLatin1(report));

    const std::vector<Bytes> received = peer.received();
    const std::vector<tarv::soak::UnendedNote> unended = tarv::soak::unendedNotes(received);
    for (const tarv::soak::UnendedNote& n : unended)
        fail(QStringLiteral("channel %1 note %2 was never ended").arg(n.channel + 1).arg(n.note));

    std::printf("soak: %d steps (%d in dialogs), %d notes from the MIDI keyboard, %d message boxes, %zu messages "
                "received, %zu notes left sounding, %d saves, %lld files saved\n",
                player.steps(), player.dialogSteps(), player.notesPlayed(), player.messageBoxes(), received.size(),
                unended.size(), player.saves(), static_cast<long long>(saved.size()));
    if (failures.empty()) {
        std::printf("soak: passed\n");
        return 0;
    }
    if (!printed.isEmpty())
        std::printf("soak: the program's output:\n%s\n", printed.right(20000).constData());
    for (const std::string& failure : failures)
        std::printf("soak: %s\n", failure.c_str());
    std::printf("soak: FAILED with seed %llu; the same seed plays the same session again\n",
                static_cast<unsigned long long>(options.seed));
    return 1;
}
