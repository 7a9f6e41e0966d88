// The instrument picker "Ovelin GM Instrumente".
#pragma once

#include <QDialog>

class QListWidget;
class TPlayer;

// Picks the General MIDI program of the player's left channel, sent at once as a program change
// (TPlayer::SetInstrument). UI thread only.
class TfrmInstrument : public QDialog {
public:
    // `mainWindow` owns the picker and is the window it is placed against.
    TfrmInstrument(QWidget* mainWindow, TPlayer& player);
    ~TfrmInstrument() override;

    // The 128 General MIDI names, index = program number, in 8 columns of 16.
    QListWidget* ListBox1 = nullptr;

    // Fills ListBox1 (run by the constructor).
    void FormCreate();
    // Selects the current channel's instrument without sending anything; runs on every
    // activation. Selecting an item of ListBox1 from code never sends either.
    void FormActivate();
    // Selects a program without sending anything (the main window shows the instrument of a
    // new left channel while the picker is open); a program outside 0..127 (a hand-edited
    // settings file) selects nothing.
    void SelectProgram(int program);
    // The player picked an instrument (mouse or arrow keys): set Instrument and send it.
    void ListBox1Click();

    // Places the picker at the main window's left edge, its top 340 pixels below the main
    // window's top (or as near as fits on the screen), and shows it (not modal).
    void placeAndShow();

protected:
    void changeEvent(QEvent* event) override;

private:
    QWidget* fMainWindow = nullptr;
    TPlayer& fPlayer;
};

extern TfrmInstrument* frmInstrument;
