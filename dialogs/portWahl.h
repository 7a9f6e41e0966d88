// The MIDI port selection dialog "Ovelin MidiPorts".
#pragma once

#include <QDialog>

class QListWidget;
class QPushButton;
class QStatusBar;

class TfrmPortWahl : public QDialog {
public:
    explicit TfrmPortWahl(QWidget* mainWindow);
    QListWidget* clbInputDevices = nullptr;    // check list of the input ports
    QListWidget* clbOutputDevices = nullptr;   // check list of the output ports
    QPushButton* btnRestIn = nullptr;
    QPushButton* btnResetOut = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    // ... handlers and the rest as the dialog needs
};

extern TfrmPortWahl* frmPortWahl;
// True while the port dialog is shown (MIDI input is then monitored instead of played).
extern bool PortDialogShowing;
// Shows the port dialog modally; returns when it is closed.
void ShowPortDialog();
