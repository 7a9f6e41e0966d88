// Note routing, the split keyboard, sustain, Reset and the readout strip.
#include "Pemo.h"

#include "mainwindow/Application.h"
#include "mainwindow/ClickPanel.h"
#include "midi/MidiSenders.h"
#include "settings/PlayerState.h"
#include "settings/Settings.h"
#include "settings/uTonFamilie.h"
#include "widgets/Klavier.h"
#include "widgets/KlavierO.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

#include <exception>

namespace {

// A routed note can leave the MIDI range (a transposition at the top of the keyboard, the
// highest PC keys); such a note is neither sent nor shown on the readout strip.
bool IsMidiNote(int note)
{
    return note >= 0 && note <= 127;
}

}  // namespace

std::optional<std::pair<std::uint8_t, int>> TfrmPemo::RouteNote(int note) const
{
    switch (GeneralSettings.PlayMode) {
    case 0:
        return std::pair{LeftChannel, note + Transpose};
    case 1:
        // The split key itself belongs to the right side.
        if (note < SplitNote)
            return std::pair{LeftChannel, note + Transpose};
        return std::pair{RightChannel, note + Transpose - 12 * (SplitOctave - SplitChannelOctave)};
    default:
        // Any other mode routes nothing until the player picks one.
        return std::nullopt;
    }
}

void TfrmPemo::PemoNoteOn(QObject*, int note, int velocity)
{
    if (SplitArmed) {
        // The split point is at least C1: lower notes are swallowed and leave it armed.
        if (note < 12)
            return;
        SplitNote = static_cast<std::uint8_t>(note);
        SplitOctave = static_cast<std::uint8_t>(note / 12);
        // The spin edit clamps the note to its new maximum, and its change handler takes the
        // value: a new split point always clears the octave shift.
        seSplitOktave->setMaximum(SplitOctave);
        seSplitOktave->setValue(note);
        btnSetSplit->setText(QStringLiteral("Set %1%2").arg(QString::fromLatin1(NoteNames[static_cast<std::size_t>(note % 12)])).arg(note / 12));
        SplitArmed = false;
    }
    const auto route = RouteNote(note);
    if (!route || !IsMidiNote(route->second))
        return;
    SendNote(route->first, route->second, static_cast<std::uint8_t>(velocity), true);
    RefreshReadout();
}

void TfrmPemo::PemoNoteOff(QObject*, int note, int velocity)
{
    // Routed with the settings in force at the release.
    const auto route = RouteNote(note);
    if (!route || !IsMidiNote(route->second))
        return;
    SendNote(route->first, route->second, static_cast<std::uint8_t>(velocity), false);
    RefreshReadout();
}

void TfrmPemo::RefreshReadout()
{
    if (!ReadoutOn)
        return;
    // The strip keeps no marks of its own: it is rebuilt from the notes that went out.
    PemoOM->AllNotesOff(true);
    PemoOM->update();
    for (int note = 0; note < 128; ++note)
        if (NotesOn[static_cast<std::size_t>(note)])
            PemoOM->PressNote(note, 0, true);
}

void TfrmPemo::cbModusChange()
{
    // No selection (-1) gives 255, which routes nothing.
    GeneralSettings.PlayMode = static_cast<std::uint8_t>(cbModus->currentIndex());
    if (GeneralSettings.PlayMode > 1)
        return;
    const bool split = GeneralSettings.PlayMode == 1;
    for (QWidget* control : {static_cast<QWidget*>(btnSetSplit), static_cast<QWidget*>(seRkanal),
                             static_cast<QWidget*>(seSplitOktave), static_cast<QWidget*>(lblSplitoktave),
                             static_cast<QWidget*>(lblSplitkanal), static_cast<QWidget*>(lblSplit)})
        control->setEnabled(split);
}

void TfrmPemo::cbModusCloseUp()
{
    panelAO->setFocus();
}

void TfrmPemo::seLkanalChange()
{
    try {
        SaveSettings(LeftChannel);
    } catch (const std::exception& e) {
        // Without the save the switch would lose the channel's changes: it does not happen,
        // and the spin edit goes back to the channel in force.
        const QSignalBlocker blocker(seLKanal);
        seLKanal->setValue(LeftChannel + 1);
        tarv::ShowError(QString::fromUtf8(e.what()));
        return;
    }
    LeftChannel = static_cast<std::uint8_t>(seLKanal->value() - 1);
    LoadSettings(LeftChannel);
    // The controls show the new channel also when its sending fails.
    std::exception_ptr failure;
    try {
        SendStoredChannel(LeftChannel);
    } catch (...) {
        failure = std::current_exception();
    }
    RefreshControls();
    if (failure)
        std::rethrow_exception(failure);
}

void TfrmPemo::seLKanalMouseLeave()
{
    panelAO->setFocus();
}

void TfrmPemo::seRkanalChange()
{
    RightChannel = static_cast<std::uint8_t>(seRkanal->value() - 1);
}

void TfrmPemo::seSplitOktaveChange()
{
    SplitChannelOctave = static_cast<std::uint8_t>(seSplitOktave->value());
}

void TfrmPemo::btnSetSplitClick()
{
    // The caption changes only when a note sets the split point.
    SplitArmed = !SplitArmed;
}

void TfrmPemo::btnSustainClick()
{
    if (LearnOn) {
        // Learning: the last controller received drives the sustain button from now on.
        GeneralSettings.Sustaincontroller = LearnedController;
        LearnOn = false;
        btnLerne->setText(QStringLiteral("Lerne Aus"));
        return;
    }
    SustainOn = !SustainOn;
    SendSustain(LeftChannel, SustainOn ? 127 : 0);
    btnSustain->setText(SustainOn ? QStringLiteral("Sustain Ein") : QStringLiteral("Sustain Aus"));
    ChannelSettings.Sustain = SustainOn ? 127 : 0;
}

void TfrmPemo::btnResetClick()
{
    const std::uint8_t rightSustain = StoredChannelSettings(RightChannel).Sustain;
    const std::uint8_t leftSustain = ChannelSettings.Sustain;
    SendSustain(RightChannel, 0);
    SendSustain(LeftChannel, 0);
    SendAllNotesOff(LeftChannel);
    SendAllNotesOff(RightChannel);
    // Every note number gets its routed Note Off, held or not.
    for (int note = 0; note < 128; ++note) {
        NotesOn[static_cast<std::size_t>(note)] = false;
        Pemo->ReleaseNote(note, 0, true);
        PemoOM->ReleaseNote(note, 0, true);
    }
    // The pedals of both channels are as they were before the notes were ended.
    SendSustain(RightChannel, rightSustain);
    SendSustain(LeftChannel, leftSustain);
    Pemo->update();
}

void TfrmPemo::btnKlangAnzClick()
{
    ReadoutOn = !ReadoutOn;
    // Shown or hidden, the strip stays disabled: it never reacts to the mouse.
    PemoOM->setVisible(ReadoutOn);
}
