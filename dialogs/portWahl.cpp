// The MIDI port selection dialog: the two check lists, their click algorithms, Reset and recovery.
#include "portWahl.h"

#include "Placement.h"
#include "midi/Midi.h"
#include "player/Player.h"
#include "skin/ErrorDisplay.h"
#include "skin/ListBox.h"
#include "skin/Skin.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStatusBar>

#include <algorithm>
#include <exception>
#include <string>
#include <vector>

TfrmPortWahl* frmPortWahl = nullptr;

const QString TfrmPortWahl::DeviceGoneText = QStringLiteral("Gerät steht nicht mehr zur Verfügung");

namespace {

constexpr int ClientWidth = 486;
constexpr int ClientHeight = 140;

bool IsTicked(const QListWidget* list, int row)
{
    const QListWidgetItem* item = list->item(row);
    return item && item->checkState() == Qt::Checked;
}

// A tick set from code must not look like the player's (see TListBox).
void SetTicked(QListWidget* list, int row, bool ticked)
{
    const QSignalBlocker blocker(list);
    if (QListWidgetItem* item = list->item(row))
        item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
}

// Enumerates the set's devices again. A port that refused to close (its device has gone away)
// is forgotten by the new list all the same, so that failure does not stop the rebuild; a
// failing enumeration does.
void Reenumerate(TMidiDevices& set)
{
    const std::uint64_t before = set.Generation();
    try {
        set.Create();
    } catch (const std::exception&) {
        if (set.Generation() == before)
            throw;
    }
}

void FillCheckList(QListWidget* list, const std::vector<std::string>& names)
{
    const QSignalBlocker blocker(list);
    list->clear();
    for (const std::string& name : names) {
        auto* item = new QListWidgetItem(QString::fromStdString(name), list);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
}

TListBox* MakeCheckList(QWidget* parent, const QRect& geometry)
{
    auto* list = new TListBox(parent);
    list->setGeometry(geometry);
    list->ChooseOnKeyboardMove = false;
    tarv::skin::setRole(list, tarv::skin::role::CheckList);
    return list;
}

QLabel* MakeLabel(QWidget* parent, const QString& text, const QRect& geometry)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

QPushButton* MakeButton(QWidget* parent, const QString& caption, const QRect& geometry)
{
    auto* button = new QPushButton(caption, parent);
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    return button;
}

}   // namespace

TfrmPortWahl::TfrmPortWahl(QWidget* mainWindow, TPlayer& player)
    : QDialog(mainWindow, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      fMainWindow(mainWindow),
      fPlayer(player)
{
    frmPortWahl = this;
    setWindowTitle(QStringLiteral("Ovelin MidiPorts"));
    setFixedSize(ClientWidth, ClientHeight);
    auto* panel = new QFrame(this);
    panel->setGeometry(0, 0, ClientWidth, ClientHeight);

    lblEingaenge = MakeLabel(panel, QStringLiteral("Eingänge"), {0, 0, 48, 24});
    btnRestIn = MakeButton(panel, QStringLiteral("Reset"), {48, 0, 48, 24});
    auto* inputs = MakeCheckList(panel, {0, 24, 217, 85});
    clbInputDevices = inputs;

    lblAusgaenge = MakeLabel(panel, QStringLiteral("Ausgänge"), {264, 0, 48, 24});
    btnResetOut = MakeButton(panel, QStringLiteral("Reset"), {312, 0, 48, 24});
    auto* outputs = MakeCheckList(panel, {264, 24, 217, 85});
    outputs->setSelectionMode(QAbstractItemView::ExtendedSelection);
    clbOutputDevices = outputs;

    StatusBar1 = new QStatusBar(panel);
    StatusBar1->setGeometry(1, 120, 484, 19);
    StatusBar1->setSizeGripEnabled(false);

    // Every change of a tick or of the entries is published for MIDI input.
    QAbstractItemModel* ticks = outputs->model();
    connect(ticks, &QAbstractItemModel::dataChanged, this, &TfrmPortWahl::PublishTicks);
    connect(ticks, &QAbstractItemModel::rowsInserted, this, &TfrmPortWahl::PublishTicks);
    connect(ticks, &QAbstractItemModel::rowsRemoved, this, &TfrmPortWahl::PublishTicks);
    connect(ticks, &QAbstractItemModel::modelReset, this, &TfrmPortWahl::PublishTicks);

    connect(inputs, &TListBox::chosen, this, &TfrmPortWahl::clbInputDevicesClick);
    connect(outputs, &TListBox::chosen, this, &TfrmPortWahl::clbOutputDevicesClick);
    connect(btnRestIn, &QPushButton::clicked, this, &TfrmPortWahl::btnRestInClick);
    connect(btnResetOut, &QPushButton::clicked, this, &TfrmPortWahl::btnResetOutClick);

    FormCreate();
}

TfrmPortWahl::~TfrmPortWahl()
{
    // The lists go away with the dialog: no tick is published any more.
    clbOutputDevices->model()->disconnect(this);
    if (frmPortWahl == this) {
        frmPortWahl = nullptr;
        fPlayer.SetPortDialogShowing(false);
        fPlayer.SetTickedOutputs(0);
    }
}

void TfrmPortWahl::FormCreate()
{
    FillInputList();
    FillOutputList();
    // Without any output device there is no entry to tick; the output port stays 0 and the
    // senders report the missing device when they are used.
    SetTicked(clbOutputDevices, 0, true);
    UseOutput(0);
}

void TfrmPortWahl::FillInputList()
{
    FillCheckList(clbInputDevices, MidiInput().Devices());
}

void TfrmPortWahl::FillOutputList()
{
    FillCheckList(clbOutputDevices, MidiOutput().Devices());
}

void TfrmPortWahl::clbInputDevicesClick()
{
    // Whatever the player did (a check box, a text, the space key), every tick that no longer
    // matches its port is brought into force: a tick opens, an untick closes.
    TMidiInput& input = MidiInput();
    const int count = std::min(input.Count(), clbInputDevices->count());
    // Opening or closing a listed port fails when its device has gone away since the list was
    // built; the player is told and the list is built anew.
    try {
        for (int i = 0; i < count; ++i) {
            const bool ticked = IsTicked(clbInputDevices, i);
            if (ticked && !input.IsOpen(i))
                input.Open(i);
            else if (!ticked && input.IsOpen(i))
                input.Close(i);
        }
    } catch (const std::exception&) {
        InputRecovery();
    }
}

void TfrmPortWahl::clbOutputDevicesClick()
{
    TMidiOutput& output = MidiOutput();
    const int count = std::min(output.Count(), clbOutputDevices->count());
    const int c = fPlayer.OutputPort();
    const bool current = c >= 0 && c < count;

    // The entry the player ticked besides the current output, if any.
    int k = -1;
    for (int i = 0; i < count && k < 0; ++i) {
        if (i != c && IsTicked(clbOutputDevices, i))
            k = i;
    }
    // No other entry ticked: the output stays where it is, and so does its tick (unticking
    // the output ticks it again; a click on an entry's text changes nothing).
    if (k < 0) {
        if (current)
            SetTicked(clbOutputDevices, c, true);
        return;
    }

    // Another entry ticked: the output moves there. A failing port is a device that has gone
    // away (see clbInputDevicesClick).
    try {
        if (current) {
            AnnounceOutputChange();
            SetTicked(clbOutputDevices, c, false);
            output.Close(c);
        }
        output.Open(k);
        UseOutput(k);
    } catch (const std::exception&) {
        OutputRecovery();
    }
}

void TfrmPortWahl::CloseTickedInputs()
{
    TMidiInput& input = MidiInput();
    for (int i = clbInputDevices->count() - 1; i >= 0; --i) {
        if (!IsTicked(clbInputDevices, i))
            continue;
        // A port whose device has gone away may refuse to close; the re-enumeration that
        // follows forgets it.
        try {
            input.Close(i);
        } catch (const std::exception&) {
        }
    }
}

void TfrmPortWahl::InputRecovery()
{
    tarv::skin::ShowNotice(DeviceGoneText, this);
    CloseTickedInputs();
    Reenumerate(MidiInput());
    FillInputList();
}

void TfrmPortWahl::SelectFirstOutput()
{
    // The output port is set before the port is opened, so that a failing open leaves the
    // senders pointing at a port of the new list.
    UseOutput(0);
    if (clbOutputDevices->count() == 0)
        return;
    SetTicked(clbOutputDevices, 0, true);
    MidiOutput().Open(0);
}

void TfrmPortWahl::UseOutput(int aDeviceIndex)
{
    fPlayer.UseOutput(aDeviceIndex);
}

void TfrmPortWahl::PublishTicks()
{
    int ticked = 0;
    for (int i = 0; i < clbOutputDevices->count(); ++i)
        ticked += IsTicked(clbOutputDevices, i) ? 1 : 0;
    fPlayer.SetTickedOutputs(ticked);
}

void TfrmPortWahl::ShowInput(int aDeviceIndex, std::uint8_t aStatus, std::uint8_t aData1, std::uint8_t aData2)
{
    const std::vector<std::string> names = MidiInput().Devices();
    const QString name = aDeviceIndex >= 0 && std::size_t(aDeviceIndex) < names.size()
        ? QString::fromStdString(names[std::size_t(aDeviceIndex)])
        : QString();
    StatusBar1->showMessage(QString::asprintf("%s: Statusbyte %.2X, Parameter 1 %.2X, Parameter 2 %.2X",
                                              qUtf8Printable(name), unsigned(aStatus), unsigned(aData1),
                                              unsigned(aData2)));
}

void TfrmPortWahl::AnnounceOutputChange()
{
    if (OnOutputChanging)
        OnOutputChanging();
}

void TfrmPortWahl::OutputRecovery()
{
    AnnounceOutputChange();
    tarv::skin::ShowNotice(DeviceGoneText, this);
    clbOutputDevices->clear();
    Reenumerate(MidiOutput());
    FillOutputList();
    SelectFirstOutput();
}

void TfrmPortWahl::btnRestInClick()
{
    CloseTickedInputs();
    Reenumerate(MidiInput());
    FillInputList();
    StatusBar1->clearMessage();
}

void TfrmPortWahl::btnResetOutClick()
{
    AnnounceOutputChange();
    TMidiOutput& output = MidiOutput();
    const int c = fPlayer.OutputPort();
    if (c >= 0 && c < output.Count()) {
        // The Reset is how the player gets rid of a removed device: a port that refuses to
        // close does not stop it (the re-enumeration forgets the port).
        try {
            output.Close(c);
        } catch (const std::exception&) {
        }
        SetTicked(clbOutputDevices, c, false);
    }
    clbOutputDevices->clear();
    Reenumerate(output);
    FillOutputList();
    StatusBar1->clearMessage();
    SelectFirstOutput();
}

void TfrmPortWahl::centreOnMainWindow()
{
    if (!fMainWindow)
        return;
    const QRect main = fMainWindow->frameGeometry();
    const QRect mine = frameGeometry();
    MoveOnScreen(this, main.center() - QPoint(mine.width() / 2, mine.height() / 2), fMainWindow);
}

void TfrmPortWahl::ShowPortsInForce()
{
    // Ports may have been opened without the dialog (the input named at start); ticks are
    // set from code, so the lists' click handling does not see them as the player's.
    TMidiInput& input = MidiInput();
    for (int i = 0; i < clbInputDevices->count(); ++i)
        SetTicked(clbInputDevices, i, input.IsOpen(i));
    const int output = fPlayer.OutputPort();
    for (int i = 0; i < clbOutputDevices->count(); ++i)
        SetTicked(clbOutputDevices, i, i == output);
}

void TfrmPortWahl::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    fPlayer.SetPortDialogShowing(true);
    StatusBar1->clearMessage();
    // The frame, and with it the size that has to fit on the screen, is known only now.
    centreOnMainWindow();
    ShowPortsInForce();
    // Space, the key for ticking, belongs to the input list, never to a Reset button.
    clbInputDevices->setFocus(Qt::OtherFocusReason);
}

void TfrmPortWahl::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        fPlayer.SetPortDialogShowing(false);
}

void TfrmPortWahl::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        StatusBar1->clearMessage();
}

void ShowPortDialog()
{
    if (!frmPortWahl)
        return;
    frmPortWahl->centreOnMainWindow();
    frmPortWahl->exec();
}
