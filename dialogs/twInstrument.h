// The instrument picker "Ovelin GM Instrumente".
#pragma once

#include <QDialog>

class QListWidget;

class TfrmInstrument : public QDialog {
public:
    explicit TfrmInstrument(QWidget* mainWindow);
    QListWidget* ListBox1 = nullptr;   // the 128 General MIDI names, index = program number
    // Selects the current channel's instrument without sending anything.
    void FormActivate();
    // The player picked an instrument (mouse or arrow keys): set Instrument and send it.
    void ListBox1Click();
};

extern TfrmInstrument* frmInstrument;
