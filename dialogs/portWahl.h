// The MIDI port selection dialog "Ovelin MidiPorts".
#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>

class QLabel;
class TPlayer;
class QListWidget;
class QPushButton;
class QStatusBar;

// Chooses the input ports the program listens to (any number, a tick opens the port at once)
// and the one output port the player plays on (TPlayer::OutputPort). The choice is not stored.
// Every handler runs on the UI thread; a failure of the MIDI layer that a handler does not
// handle itself leaves it as an exception for the application's error display.
class TfrmPortWahl : public QDialog {
public:
    // `mainWindow` owns the dialog and is the window it is centred on; the dialog tells
    // `player` the output port, its ticked outputs and whether it shows.
    TfrmPortWahl(QWidget* mainWindow, TPlayer& player);
    ~TfrmPortWahl() override;

    QLabel* lblEingaenge = nullptr;
    QPushButton* btnRestIn = nullptr;
    QListWidget* clbInputDevices = nullptr;   // entry i = input device i; a tick = port open
    QLabel* lblAusgaenge = nullptr;
    QPushButton* btnResetOut = nullptr;
    QListWidget* clbOutputDevices = nullptr;   // entry i = output device i; ticked: the player's output port
    // The monitor line: written with showMessage() while the dialog shows, emptied on
    // every activation and by the Reset buttons.
    QStatusBar* StatusBar1 = nullptr;

    // Fills both lists, ticks output 0 and makes it current (run by the constructor).
    void FormCreate();
    // The player ticked, unticked or selected an entry. Afterwards every input tick agrees
    // with its port (ticked = open), and exactly the entry of the output port is ticked:
    // ticking another entry moves the output there, anything else leaves it as it is.
    void clbInputDevicesClick();
    void clbOutputDevicesClick();
    void btnRestInClick();
    void btnResetOutClick();

    // Centres the dialog on the main window, as far as the screen allows.
    void centreOnMainWindow();

    // The monitor line for one incoming message: "<input name>: Statusbyte .., Parameter 1 ..,
    // Parameter 2 .." (MIDI input posts it to the UI thread while the dialog shows).
    void ShowInput(int aDeviceIndex, std::uint8_t aStatus, std::uint8_t aData1, std::uint8_t aData2);

    // Runs before the output port that the program plays on is closed or replaced (a tick on
    // another output, the output Reset, the recovery after a vanished device), while
    // the player's output port still names it; the main window ends its sounding notes there.
    std::function<void()> OnOutputChanging;

    // The text shown when a port of the lists cannot be used any more. The error display
    // (skin/ErrorDisplay.h) shows it, and the recovery goes on once the player confirmed it.
    static const QString DeviceGoneText;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void FillInputList();
    void FillOutputList();
    void CloseTickedInputs();
    void InputRecovery();
    void OutputRecovery();
    void SelectFirstOutput();
    void AnnounceOutputChange();
    void ShowPortsInForce();
    // Tells the player how many outputs are ticked (after every change of the output list).
    void PublishTicks();
    void UseOutput(int aDeviceIndex);

    QWidget* fMainWindow = nullptr;
    TPlayer& fPlayer;
};

extern TfrmPortWahl* frmPortWahl;
// Shows the port dialog modally; returns when it is closed.
void ShowPortDialog();
