// Fuzz target: the port sets and the port dialog while devices come and go. Each input is a
// sequence of steps, one opcode byte and its argument bytes each: devices plugged in, unplugged,
// replugged (which moves them to the end of the system's list) or made to fail; the player
// showing and closing the dialog, ticking and selecting entries with the mouse and the keys,
// pressing the Reset buttons; the program sending on its output, passing MIDI through, opening
// and closing inputs outside the dialog, and MIDI arriving at an input. After every step the
// ports must be the devices the lists name, a device that has gone must have been reported,
// and the ticks must show the ports in force; a violation aborts with its reason.
#include "ItemCheckBox.h"
#include "dialogs/portWahl.h"
#include "mainwindow/Application.h"
#include "midi/LoopbackMidiService.h"
#include "midi/Midi.h"
#include "midi/MidiSenders.h"
#include "midi/MidiServiceFactory.h"
#include "player/Player.h"
#include "skin/ErrorDisplay.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

// Device names: the first three of each side are there at the start. Plugging a name that is
// listed already gives two devices of that name, which only their places tell apart.
constexpr std::array<const char*, 4> InputPool = {"In A", "In B", "In C", "In D"};
constexpr std::array<const char*, 4> OutputPool = {"Out A", "Out B", "Out C", "Out D"};
constexpr int MaxDevices = 8;   // per side; more would only scroll the lists

const char* currentStep = "start";   // the step under way, for the report of a violation

// The player whose output port the dialog chooses.
TPlayer& player()
{
    static TPlayer instance;
    return instance;
}

TPlayerState state()
{
    return player().State();
}

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_ports: %s (step: %s)\n", what, currentStep);
        std::abort();
    }
}

// An entry's tick changed by the player: the list's own change signal, which code that sets
// ticks blocks.
struct Toggle {
    bool input = false;
    int row = -1;
    bool ticked = false;
    std::size_t messagesBefore = 0;   // "device gone" messages shown before this tick
    int outputBefore = 0;             // the output port before this tick was handled
};

struct World {
    QWidget* mainWindow = nullptr;
    TfrmPortWahl* dialog = nullptr;
    tarv::LoopbackMidiService* loop = nullptr;
    std::vector<QString> messages;   // "Gerät steht nicht mehr zur Verfügung", shown by the dialog
    std::vector<QString> errors;     // failures that reached the general error display
    std::vector<Toggle> toggles;
    // A failure of the output was shown (a message, the error display, a sender's or the
    // pass-through's raised failure) since its port was last seen open.
    bool outputFailureShown = false;
    // The last failure a sender raised, for the quiet dropping that follows it.
    bool senderReported = false;
    int senderReportedPort = 0;
    std::uint64_t senderReportedGeneration = 0;
    std::mutex receivedLock;                     // the input handler runs on the service thread
    std::vector<std::pair<int, int>> received;   // device index, pool index of the sender
};

World& world()
{
    static World* w = [] {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        // Qt's warnings (a mouse event that no widget accepted, say) would flood the fuzzer's output.
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type == QtFatalMsg) {
                std::fprintf(stderr, "%s\n", qPrintable(text));
                std::abort();
            }
        });
        static int argc = 1;
        static char name[] = "fuzz_ports";
        static char* argv[] = {name, nullptr};
        new tarv::TApplication(argc, argv);   // catches what escapes a handler, as in the program
        auto* created = new World;
        created->mainWindow = new QWidget;
        created->mainWindow->setGeometry(100, 80, 894, 312);
        created->mainWindow->show();
        // The one display shows both the dialog's notice of a gone device and the failures.
        tarv::skin::setErrorDisplay([created](const QString& text) {
            if (text == TfrmPortWahl::DeviceGoneText) {
                created->messages.push_back(text);
                return;
            }
            created->errors.push_back(text);
            created->outputFailureShown = true;
        });
        return created;
    }();
    return *w;
}

std::vector<std::string> names(const QListWidget* list)
{
    std::vector<std::string> result;
    for (int i = 0; i < list->count(); ++i)
        result.push_back(list->item(i)->text().toStdString());
    return result;
}

bool ticked(const QListWidget* list, int row)
{
    return list->item(row)->checkState() == Qt::Checked;
}

QListWidget* listOf(World& w, bool input)
{
    return input ? w.dialog->clbInputDevices : w.dialog->clbOutputDevices;
}

// Entry `arg` of a shown, non-empty list, scrolled into view as the player would; null otherwise.
QListWidgetItem* entry(World& w, bool input, std::uint8_t arg)
{
    QListWidget* list = listOf(w, input);
    if (!w.dialog->isVisible() || list->count() == 0)
        return nullptr;
    QListWidgetItem* item = list->item(arg % list->count());
    list->scrollToItem(item);
    return item;
}

QPoint textPoint(QListWidget* list, QListWidgetItem* item)
{
    const QRect rect = list->visualItemRect(item);
    return {rect.right() - 4, rect.center().y()};
}

QPoint boxPoint(QListWidget* list, QListWidgetItem* item)
{
    return tarv::test::checkBoxRect(list, item).center();
}

void clickBox(World& w, bool input, std::uint8_t arg)
{
    if (QListWidgetItem* item = entry(w, input, arg)) {
        QListWidget* list = listOf(w, input);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, boxPoint(list, item));
    }
}

// The text of an entry; on the output list, which allows several selected entries, with
// Ctrl or Shift as the argument's high bits say.
void clickText(World& w, bool input, std::uint8_t arg)
{
    if (QListWidgetItem* item = entry(w, input, arg)) {
        QListWidget* list = listOf(w, input);
        const Qt::KeyboardModifiers modifiers[] = {Qt::NoModifier, Qt::ControlModifier, Qt::ShiftModifier};
        const Qt::KeyboardModifiers modifier = input ? Qt::NoModifier : modifiers[(arg >> 5) % 3];
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifier, textPoint(list, item));
    }
}

// Press, release, double-click, release: on the box when the argument's high bit is set.
void doubleClick(World& w, bool input, std::uint8_t arg)
{
    if (QListWidgetItem* item = entry(w, input, arg)) {
        QListWidget* list = listOf(w, input);
        const QPoint at = arg & 0x80 ? boxPoint(list, item) : textPoint(list, item);
        QTest::mousePress(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
    }
}

// Press on one entry, drag over another, let go there or (high bit) beside the list.
void drag(World& w, bool input, std::uint8_t from, std::uint8_t over)
{
    QListWidgetItem* start = entry(w, input, from);
    if (!start)
        return;
    QListWidget* list = listOf(w, input);
    QWidget* viewport = list->viewport();
    QTest::mousePress(viewport, Qt::LeftButton, {}, textPoint(list, start));
    QPoint end = textPoint(list, list->item(over % list->count()));
    QTest::mouseMove(viewport, end);
    if (over & 0x80) {
        end = QPoint(viewport->width() + 30, viewport->height() / 2);
        QTest::mouseMove(viewport, end);
    }
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, end);
}

void key(World& w, bool input, Qt::Key k)
{
    if (w.dialog->isVisible())
        QTest::keyClick(listOf(w, input), k);
}

// The two lists show the sets' devices; every open port is the device its set's list names at
// its index, and the service has no port open that the sets do not know; the program plays on
// one output, which is listed (or there is none); while the dialog shows, its ticks are the
// ports in force.
void checkPortsAndLists(World& w)
{
    TMidiInput& in = MidiInput();
    TMidiOutput& out = MidiOutput();
    const std::vector<std::string> inNames = in.Devices();
    const std::vector<std::string> outNames = out.Devices();
    check(names(w.dialog->clbInputDevices) == inNames, "the input list shows other devices than the input set");
    check(names(w.dialog->clbOutputDevices) == outNames, "the output list shows other devices than the output set");

    int openInputs = 0;
    for (int i = 0; i < int(inNames.size()); ++i) {
        if (!in.IsOpen(i))
            continue;
        ++openInputs;
        check(w.loop->deviceName(in.GetDeviceHandle(i)) == inNames[std::size_t(i)],
              "an open input port is another device than the list names");
    }
    check(openInputs == w.loop->openInputCount(), "an input port is open that the input set does not know");
    int openOutputs = 0;
    for (int i = 0; i < int(outNames.size()); ++i) {
        if (!out.IsOpen(i))
            continue;
        ++openOutputs;
        check(i == state().CurrentOutputPort, "an output port other than the player's is open");
        check(w.loop->deviceName(out.GetDeviceHandle(i)) == outNames[std::size_t(i)],
              "an open output port is another device than the list names");
    }
    check(openOutputs == w.loop->openOutputCount(), "an output port is open that the output set does not know");
    check((state().CurrentOutputPort >= 0 && state().CurrentOutputPort < int(outNames.size()))
              || (outNames.empty() && state().CurrentOutputPort == 0),
          "the output port names no listed device");

    for (int i = 0; i < w.dialog->clbOutputDevices->count(); ++i)
        check(ticked(w.dialog->clbOutputDevices, i) == (i == state().CurrentOutputPort),
              "an output tick other than the output port's");
    // The ticked output is open, unless its failure was shown: only a failure closes it.
    if (state().CurrentOutputPort < int(outNames.size())) {
        if (out.IsOpen(state().CurrentOutputPort))
            w.outputFailureShown = false;
        else
            check(w.outputFailureShown, "the output the program plays on was closed, and no failure was shown");
    }
    // Ports opened or closed while the dialog was hidden are ticked when it shows.
    if (w.dialog->isVisible()) {
        for (int i = 0; i < w.dialog->clbInputDevices->count(); ++i)
            check(ticked(w.dialog->clbInputDevices, i) == in.IsOpen(i), "an input tick differs from its port");
    }
}

// After the player's action on a list: the ticks the player set since the last "device gone"
// message stand, each with its port (an input's open or closed, an output become the one the
// program plays on); a list built anew after such a message shows the devices of now.
// `listBefore` is the list as the action found it.
void checkPlayerAction(World& w, bool input, std::size_t messagesBefore, const std::vector<std::string>& listBefore)
{
    QListWidget* list = listOf(w, input);
    const bool reported = w.messages.size() > messagesBefore;
    if (!reported) {
        check(names(list) == listBefore, "a list was built anew without telling the player");
    } else {
        const std::vector<std::string> now = input ? w.loop->inputNames() : w.loop->outputNames();
        check(names(list) == now, "after a device went, the list does not show the devices of now");
    }
    // Only the last tick of each input after the last message counts, and of the outputs the
    // very last one (each moves the output).
    std::vector<int> seen;
    for (auto t = w.toggles.rbegin(); t != w.toggles.rend(); ++t) {
        if (t->input != input || t->messagesBefore != w.messages.size() || t->row >= list->count())
            continue;
        if (std::find(seen.begin(), seen.end(), t->row) != seen.end())
            continue;
        seen.push_back(t->row);
        if (input) {
            check(ticked(list, t->row) == t->ticked, "the player's input tick was undone without a message");
            check(MidiInput().IsOpen(t->row) == t->ticked, "an input port does not follow the player's tick");
            continue;
        }
        if (t->ticked && t->row != t->outputBefore) {
            check(state().CurrentOutputPort == t->row,
                  "the player's output tick did not move the output, and nobody was told");
            check(MidiOutput().IsOpen(t->row), "the chosen output port is not open");
        } else if (!t->ticked && t->row == t->outputBefore) {
            check(state().CurrentOutputPort == t->row && ticked(list, t->row), "unticking the output switched it off");
        }
        break;
    }
    // An output that went: the program plays on output 0 of the new list, unless the player
    // ticked another one since.
    if (reported && !input) {
        bool movedSince = false;
        for (const Toggle& t : w.toggles)
            movedSince = movedSince || (!t.input && t.messagesBefore == w.messages.size());
        check(movedSince || state().CurrentOutputPort == 0,
              "after an output went, the program does not play on output 0");
        check(movedSince || list->count() == 0 || MidiOutput().IsOpen(0) || !w.errors.empty(),
              "after an output went, output 0 is neither open nor reported");
    }
}

struct Input {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
    std::uint8_t next() { return at < size ? data[at++] : 0; }
};

void plug(World& w, bool input, std::uint8_t arg)
{
    const int count = int(input ? w.loop->inputNames().size() : w.loop->outputNames().size());
    if (count >= MaxDevices)
        return;
    if (input)
        w.loop->addInput(InputPool[arg % InputPool.size()]);
    else
        w.loop->addOutput(OutputPool[arg % OutputPool.size()]);
}

void unplug(World& w, bool input, std::uint8_t arg)
{
    if (input)
        w.loop->unplugInput(InputPool[arg % InputPool.size()]);
    else
        w.loop->unplugOutput(OutputPool[arg % OutputPool.size()]);
}

// Unplugged and plugged in again: the device is listed at the end of the system's list.
void replug(World& w, bool input, std::uint8_t arg)
{
    const std::string name = input ? InputPool[arg % InputPool.size()] : OutputPool[arg % OutputPool.size()];
    const std::vector<std::string> now = input ? w.loop->inputNames() : w.loop->outputNames();
    if (std::find(now.begin(), now.end(), name) == now.end())
        return;
    unplug(w, input, arg);
    if (input)
        w.loop->addInput(name);
    else
        w.loop->addOutput(name);
}

// A device that refuses to open (busy), to close or to send, or does so no more.
void fault(World& w, std::uint8_t arg)
{
    const std::size_t which = arg % (InputPool.size() + OutputPool.size());
    const std::string name = which < InputPool.size() ? InputPool[which] : OutputPool[which - InputPool.size()];
    const int kind = (arg >> 3) % 4;
    w.loop->failOpen(name, {});
    w.loop->failClose(name, {});
    w.loop->failSend(name, {});
    if (kind == 1)
        w.loop->failOpen(name, "Loopback: " + name + " ist belegt");
    else if (kind == 2)
        w.loop->failClose(name, "Loopback: " + name + " lässt sich nicht schließen");
    else if (kind == 3)
        w.loop->failSend(name, "Loopback: " + name + " nimmt nichts an");
}

void showOrClose(World& w)
{
    if (w.dialog->isVisible()) {
        w.dialog->close();
    } else {
        w.dialog->centreOnMainWindow();
        w.dialog->show();
    }
    QCoreApplication::processEvents();
}

// A player's action on a list, checked against what the player did.
template <class Action>
void onList(World& w, bool input, Action&& action)
{
    const std::size_t messagesBefore = w.messages.size();
    const std::vector<std::string> listBefore = names(listOf(w, input));
    w.toggles.clear();
    w.errors.clear();
    action();
    if (!input && w.messages.size() > messagesBefore)
        w.outputFailureShown = true;
    checkPlayerAction(w, input, messagesBefore, listBefore);
}

void resetInputs(World& w)
{
    if (!w.dialog->isVisible())
        return;
    const std::size_t messagesBefore = w.messages.size();
    QTest::mouseClick(w.dialog->btnRestIn, Qt::LeftButton);
    check(w.messages.size() == messagesBefore, "the input Reset told of a gone device");
    check(names(w.dialog->clbInputDevices) == w.loop->inputNames(), "the input Reset does not list the devices of now");
    check(w.loop->openInputCount() == 0, "an input is open after the input Reset");
}

void resetOutputs(World& w)
{
    if (!w.dialog->isVisible())
        return;
    const std::size_t messagesBefore = w.messages.size();
    w.errors.clear();
    QTest::mouseClick(w.dialog->btnResetOut, Qt::LeftButton);
    check(w.messages.size() == messagesBefore, "the output Reset told of a gone device");
    const std::vector<std::string> now = w.loop->outputNames();
    check(names(w.dialog->clbOutputDevices) == now, "the output Reset does not list the devices of now");
    check(state().CurrentOutputPort == 0, "the output Reset does not play on output 0");
    check(now.empty() || MidiOutput().IsOpen(0) || !w.errors.empty(),
          "output 0 is neither open after the output Reset nor reported");
}

// The program sends one channel message with a sender: it reaches the device the output list
// names at the player's output port, or the failure is raised; after a raised failure further sends to
// the same missing port may be dropped quietly.
template <class Send>
void sendChecked(World& w, std::uint8_t status, Send&& send)
{
    TMidiOutput& out = MidiOutput();
    const int port = state().CurrentOutputPort;
    const std::uint64_t generation = out.Generation();
    const std::vector<std::string> listed = out.Devices();
    const std::size_t sentBefore = w.loop->sent().size();
    try {
        send();
    } catch (const std::exception&) {
        check(w.loop->sent().size() == sentBefore, "a send that raised a failure went out all the same");
        w.outputFailureShown = true;
        w.senderReported = true;
        w.senderReportedPort = port;
        w.senderReportedGeneration = generation;
        return;
    }
    const std::vector<tarv::SentMessage> sent = w.loop->sent();
    if (sent.size() == sentBefore) {
        check(w.senderReported && w.senderReportedPort == port && w.senderReportedGeneration == generation,
              "a send was dropped before its missing output was reported");
        return;
    }
    check(sent.size() == sentBefore + 1, "one send went out more than once");
    const tarv::SentMessage& m = sent.back();
    check(m.device == port && port < int(listed.size()) && m.name == listed[std::size_t(port)],
          "a send went to another device than the output list names at the player's output port");
    check(!m.bytes.empty() && m.bytes[0] == status, "a send went out with another status");
    w.senderReported = false;
}

void sendOnOutput(World& w, std::uint8_t what, std::uint8_t value)
{
    const std::uint8_t channel = what & 0x0F;
    const std::uint8_t data = value & 0x7F;
    switch ((what >> 4) % 4) {
    case 0:
        sendChecked(w, 0xC0 | channel, [&] { SendProgramChange(player().OutputPort(), channel, data); });
        break;
    case 1:
        sendChecked(w, 0x90 | channel, [&] { SendNote(player().OutputPort(), channel, data, 100, true); });
        break;
    case 2:
        sendChecked(w, 0x80 | channel, [&] { SendNote(player().OutputPort(), channel, data, 0, false); });
        break;
    default:
        sendChecked(w, 0xB0 | channel, [&] { SendVolume(player().OutputPort(), channel, data); });
        break;
    }
}

// MIDI passed through to the output set's port, the player's output: sent there or raised, never quiet.
void passThrough(World& w, std::uint8_t status, std::uint8_t data)
{
    TMidiOutput& out = MidiOutput();
    const int port = state().CurrentOutputPort;
    const std::vector<std::string> listed = out.Devices();
    const std::size_t sentBefore = w.loop->sent().size();
    try {
        out.Send(port, std::uint8_t(status | 0x80), data & 0x7F, 0x40);
    } catch (const std::exception&) {
        check(w.loop->sent().size() == sentBefore, "a passed-through message that raised went out");
        w.outputFailureShown = true;
        return;
    }
    const std::vector<tarv::SentMessage> sent = w.loop->sent();
    check(sent.size() == sentBefore + 1, "a passed-through message was dropped quietly");
    check(sent.back().name == listed[std::size_t(port)], "a passed-through message went to another device");
}

// The program opens or closes an input outside the dialog (the input named at start, the
// inputs closed at the end), with any index the argument gives, the two beside the list included.
void inputOutsideDialog(World& w, bool open, std::uint8_t arg)
{
    if (w.dialog->isVisible())
        return;   // the dialog is modal
    TMidiInput& in = MidiInput();
    const int index = int(arg % std::uint8_t(in.Count() + 2)) - 1;
    const bool listed = index >= 0 && index < in.Count();
    const int openBefore = w.loop->openInputCount();
    try {
        if (open)
            in.Open(index);
        else
            in.Close(index);
    } catch (const tarv::MidiIndexError&) {
        check(!listed, "an index error for a listed input");
        return;
    } catch (const std::exception&) {
        check(listed, "an input beside the list raised no index error");
        check(!in.IsOpen(index), "an input whose open or close failed counts as open");
        check(w.loop->openInputCount() <= openBefore, "a failed open left a port open");
        return;
    }
    check(listed, "an input beside the list raised no index error");
    check(in.IsOpen(index) == open, "an input is not as its open or close left it");
}

// MIDI arrives at every device of that name: it reaches the program with the index of an
// input port whose list entry names that device.
void inject(World& w, std::uint8_t arg)
{
    const std::size_t which = arg % InputPool.size();
    {
        std::lock_guard lock(w.receivedLock);
        w.received.clear();
    }
    w.loop->injectShort(InputPool[which], 0x90u | std::uint32_t(which) << 8 | std::uint32_t(arg & 0x7F) << 16);
    check(w.loop->waitInputIdle(), "input not delivered within 5 s");
    const std::vector<std::string> listed = MidiInput().Devices();
    std::lock_guard lock(w.receivedLock);
    for (const auto& [device, sender] : w.received) {
        check(device >= 0 && device < int(listed.size())
                  && listed[std::size_t(device)] == InputPool[std::size_t(sender)],
              "input arrived with the index of another device");
    }
}

// The dialog, created once like the program's and connected to the records of the player's ticks.
void createDialog(World& w)
{
    w.dialog = new TfrmPortWahl(w.mainWindow, player());
    // The main window ends its notes on the output about to be given up; a port that cannot
    // take them any more is the dialog's to report.
    w.dialog->OnOutputChanging = [&w] { sendChecked(w, 0xB0, [] { SendAllNotesOff(player().OutputPort(), 0); }); };
    for (const bool input : {true, false}) {
        QListWidget* list = listOf(w, input);
        QObject::connect(list, &QListWidget::itemChanged, list, [&w, list, input](QListWidgetItem* item) {
            w.toggles.push_back({input, list->row(item), item->checkState() == Qt::Checked, w.messages.size(),
                                 state().CurrentOutputPort});
        });
    }
}

// Qt connects the focus window's focusObjectChanged to the application when a window becomes
// active and disconnects it when another one does. The offscreen platform has no window manager
// to activate the main window when the dialog closes, so the dialog stays the focus window while
// hidden, and each show adds one more connection, each slowing every focus change after it.
// Qt's own state, one connection from the focus window, is restored before each input.
void resetFocusConnections()
{
    for (QWindow* window : QGuiApplication::allWindows())
        QObject::disconnect(window, SIGNAL(focusObjectChanged(QObject*)), qApp, SLOT(_q_updateFocusObject(QObject*)));
    if (QWindow* focus = QGuiApplication::focusWindow())
        QObject::connect(focus, SIGNAL(focusObjectChanged(QObject*)), qApp, SLOT(_q_updateFocusObject(QObject*)));
}

// A program start: the service with three devices on each side, the start-up sending that
// opens output 0, the input handler, and the dialog filled anew, hidden. The dialog lives as
// long as the fuzzer runs (as it lives as long as the program); each input starts with what
// its creation does.
void startProgram(World& w)
{
    resetFocusConnections();
    MidiShutdown();
    auto service = std::make_unique<tarv::LoopbackMidiService>(
        std::vector<std::string>{InputPool[0], InputPool[1], InputPool[2]},
        std::vector<std::string>{OutputPool[0], OutputPool[1], OutputPool[2]});
    w.loop = service.get();
    tarv::setMidiService(std::move(service));
    ResetOutputFailure();
    player().UseOutput(0);
    SendProgramChange(player().OutputPort(), 0, 0);
    w.loop->clearSent();
    MidiInput().setOnMidiData([&w](int device, std::uint8_t, std::uint8_t data1, std::uint8_t) {
        std::lock_guard lock(w.receivedLock);
        w.received.emplace_back(device, data1);
    });
    if (w.dialog)
        w.dialog->FormCreate();
    else
        createDialog(w);
    w.messages.clear();
    w.errors.clear();
    w.toggles.clear();
    w.outputFailureShown = false;
    w.senderReported = false;
    w.received.clear();
}

struct Step {
    const char* name;
    void (*run)(World& w, Input& in);
};

// The opcode byte picks a step by its value modulo the table's size, so keep the order: the
// seed inputs spell their steps by it.
const Step Steps[] = {
    {"plug input", [](World& w, Input& in) { plug(w, true, in.next()); }},
    {"plug output", [](World& w, Input& in) { plug(w, false, in.next()); }},
    {"unplug input", [](World& w, Input& in) { unplug(w, true, in.next()); }},
    {"unplug output", [](World& w, Input& in) { unplug(w, false, in.next()); }},
    {"replug input", [](World& w, Input& in) { replug(w, true, in.next()); }},
    {"replug output", [](World& w, Input& in) { replug(w, false, in.next()); }},
    {"device fault", [](World& w, Input& in) { fault(w, in.next()); }},
    {"show or close the dialog", [](World& w, Input&) { showOrClose(w); }},
    {"click an input's box",
     [](World& w, Input& in) {
         const auto a = in.next();
         onList(w, true, [&] { clickBox(w, true, a); });
     }},
    {"click an output's box",
     [](World& w, Input& in) {
         const auto a = in.next();
         onList(w, false, [&] { clickBox(w, false, a); });
     }},
    {"space in the inputs", [](World& w, Input&) { onList(w, true, [&] { key(w, true, Qt::Key_Space); }); }},
    {"space in the outputs", [](World& w, Input&) { onList(w, false, [&] { key(w, false, Qt::Key_Space); }); }},
    {"click an input's text",
     [](World& w, Input& in) {
         const auto a = in.next();
         onList(w, true, [&] { clickText(w, true, a); });
     }},
    {"click an output's text",
     [](World& w, Input& in) {
         const auto a = in.next();
         onList(w, false, [&] { clickText(w, false, a); });
     }},
    {"arrow key in the inputs",
     [](World& w, Input& in) {
         const Qt::Key k = in.next() & 1 ? Qt::Key_Down : Qt::Key_Up;
         onList(w, true, [&] { key(w, true, k); });
     }},
    {"arrow key in the outputs",
     [](World& w, Input& in) {
         const Qt::Key k = in.next() & 1 ? Qt::Key_Down : Qt::Key_Up;
         onList(w, false, [&] { key(w, false, k); });
     }},
    {"double-click an input",
     [](World& w, Input& in) {
         const auto a = in.next();
         onList(w, true, [&] { doubleClick(w, true, a); });
     }},
    {"double-click an output",
     [](World& w, Input& in) {
         const auto a = in.next();
         onList(w, false, [&] { doubleClick(w, false, a); });
     }},
    {"drag in the inputs",
     [](World& w, Input& in) {
         const auto from = in.next();
         const auto over = in.next();
         onList(w, true, [&] { drag(w, true, from, over); });
     }},
    {"drag in the outputs",
     [](World& w, Input& in) {
         const auto from = in.next();
         const auto over = in.next();
         onList(w, false, [&] { drag(w, false, from, over); });
     }},
    {"input Reset", [](World& w, Input&) { resetInputs(w); }},
    {"output Reset", [](World& w, Input&) { resetOutputs(w); }},
    {"send on the output",
     [](World& w, Input& in) {
         const auto what = in.next();
         sendOnOutput(w, what, in.next());
     }},
    {"pass MIDI through",
     [](World& w, Input& in) {
         const auto status = in.next();
         passThrough(w, status, in.next());
     }},
    {"open an input outside the dialog", [](World& w, Input& in) { inputOutsideDialog(w, true, in.next()); }},
    {"close an input outside the dialog", [](World& w, Input& in) { inputOutsideDialog(w, false, in.next()); }},
    {"MIDI arrives", [](World& w, Input& in) { inject(w, in.next()); }},
};

// With TARV_FUZZ_TRACE set, each step is printed with the lists after it (to follow a failing input).
void trace(World& w)
{
    static const bool on = std::getenv("TARV_FUZZ_TRACE") != nullptr;
    if (!on)
        return;
    const auto line = [](QListWidget* list, TMidiDevices& set) {
        std::string text;
        for (int i = 0; i < list->count(); ++i)
            text += (ticked(list, i) ? " [x] " : " [ ] ") + list->item(i)->text().toStdString()
                + (set.IsOpen(i) ? " (open)" : "");
        return text;
    };
    std::fprintf(stderr, "%-34s %s | in:%s | out:%s | current %d, messages %zu, errors %zu\n", currentStep,
                 w.dialog->isVisible() ? "shown " : "hidden", line(w.dialog->clbInputDevices, MidiInput()).c_str(),
                 line(w.dialog->clbOutputDevices, MidiOutput()).c_str(), state().CurrentOutputPort, w.messages.size(),
                 w.errors.size());
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    World& w = world();
    currentStep = "start";
    startProgram(w);
    checkPortsAndLists(w);
    Input in{data, size};
    while (in.at < in.size) {
        const Step& step = Steps[in.next() % std::size(Steps)];
        currentStep = step.name;
        step.run(w, in);
        trace(w);
        checkPortsAndLists(w);
    }
    w.dialog->hide();
    return 0;
}
