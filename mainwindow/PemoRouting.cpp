// The keyboard, the split controls, sustain, Reset, the readout strip and the ending of sounding notes.
#include "Pemo.h"

#include "dialogs/portWahl.h"
#include "skin/Click.h"
#include "skin/ErrorDisplay.h"
#include "skin/ModusComboBox.h"
#include "widgets/Klavier.h"
#include "widgets/KlavierO.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

#include <array>
#include <exception>

void TfrmPemo::Act(const std::function<void()>& action)
{
    std::exception_ptr failure;
    try {
        action();
    } catch (...) {
        failure = std::current_exception();
    }
    SyncWidgets();
    if (failure)
        std::rethrow_exception(failure);
}

void TfrmPemo::PemoNoteOn(QObject*, int note, int velocity)
{
    Act([&] { fPlayer.PressNote(note, velocity); });
}

void TfrmPemo::PemoNoteOff(QObject*, int note, int velocity)
{
    Act([&] { fPlayer.ReleaseNote(note, velocity); });
}

void TfrmPemo::RefreshReadout()
{
    const std::array<bool, 128> notes = fPlayer.State().NotesOn;
    fApplied.notesOn = notes;
    ShowReadout(notes);
}

void TfrmPemo::ShowReadout(const std::array<bool, 128>& notes)
{
    if (!fReadoutOn)
        return;
    // The strip keeps no marks of its own: it is rebuilt from the notes that went out.
    PemoOM->AllNotesOff(true);
    PemoOM->update();
    for (int note = 0; note < 128; ++note)
        if (notes[static_cast<std::size_t>(note)])
            PemoOM->PressNote(note, 0, true);
}

void TfrmPemo::cbModusChange()
{
    // No selection (-1) gives 255, which routes nothing.
    const auto mode = static_cast<std::uint8_t>(cbModus->currentIndex());
    fPlayer.SetPlayMode(mode);
    if (mode > 1)
        return;
    const bool split = mode == 1;
    for (QWidget* control :
         {static_cast<QWidget*>(btnSetSplit), static_cast<QWidget*>(seRkanal), static_cast<QWidget*>(seSplitOktave),
          static_cast<QWidget*>(lblSplitoktave), static_cast<QWidget*>(lblSplitkanal), static_cast<QWidget*>(lblSplit)})
        control->setEnabled(split);
}

void TfrmPemo::cbModusCloseUp()
{
    panelAO->setFocus();
}

void TfrmPemo::seLkanalChange()
{
    const auto channel = static_cast<std::uint8_t>(seLKanal->value() - 1);
    const std::uint8_t old = fPlayer.State().LeftChannel;
    TChannelSwitch result;
    try {
        result = fPlayer.SwitchLeftChannel(channel);
    } catch (const std::exception& e) {
        // The old channel's settings could not be stored: the spin edit goes back to it.
        const QSignalBlocker blocker(seLKanal);
        seLKanal->setValue(old + 1);
        tarv::skin::ShowError(QString::fromUtf8(e.what()));
        return;
    }
    if (!result.saveFailure.empty())
        tarv::skin::ShowError(QString::fromStdString(result.saveFailure));
    RefreshControls();
    if (result.sendFailure)
        std::rethrow_exception(result.sendFailure);
}

void TfrmPemo::seLKanalMouseLeave()
{
    panelAO->setFocus();
}

void TfrmPemo::seRkanalChange()
{
    fPlayer.SetRightChannel(static_cast<std::uint8_t>(seRkanal->value() - 1));
}

void TfrmPemo::seSplitOktaveChange()
{
    fPlayer.SetSplitChannelOctave(static_cast<std::uint8_t>(seSplitOktave->value()));
}

void TfrmPemo::btnSetSplitClick()
{
    // The caption changes only when a note sets the split point.
    fPlayer.ToggleSplitArmed();
}

void TfrmPemo::btnSustainClick()
{
    Act([this] { fPlayer.ClickSustain(); });
}

void TfrmPemo::btnResetClick()
{
    std::exception_ptr failure;
    try {
        fPlayer.Reset();
    } catch (...) {
        failure = std::current_exception();
    }
    PemoOM->AllNotesOff(false);
    Pemo->AllFingersOff(false);
    SyncWidgets();
    Pemo->update();
    if (failure)
        std::rethrow_exception(failure);
}

void TfrmPemo::btnKlangAnzClick()
{
    fReadoutOn = !fReadoutOn;
    // Shown or hidden, the strip stays disabled: it never reacts to the mouse. Shown again, it
    // shows what sounds now, not what it showed when it was hidden.
    PemoOM->setVisible(fReadoutOn);
    RefreshReadout();
}

std::string TfrmPemo::EndSoundingNotes(bool monitor)
{
    const std::string failure = fPlayer.EndSoundingNotes(monitor);
    fPcKeyHeld.fill(false);
    Pemo->AllFingersOff(false);
    SyncWidgets();
    return failure;
}
