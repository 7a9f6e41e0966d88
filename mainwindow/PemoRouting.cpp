// Note routing, the split keyboard, sustain, Reset, the readout strip and the ending of sounding notes.
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

// The router's messages go out through the channel message senders on CurrentOutputPort, which
// keep NotesOn.
class TSenderOutput final : public TNoteOutput {
public:
    void Note(std::uint8_t channel, std::uint8_t note, std::uint8_t velocity, bool on) override
    {
        SendNote(channel, note, velocity, on);
    }
    void Sustain(std::uint8_t channel, std::uint8_t value) override { SendSustain(channel, value); }
    void AllNotesOff(std::uint8_t channel) override { SendAllNotesOff(channel); }
};

TSenderOutput Senders;

std::uint8_t StoredSustain(std::uint8_t channel)
{
    return StoredChannelSettings(channel).Sustain;
}

}  // namespace

TRouting TfrmPemo::CurrentRouting() const
{
    return {GeneralSettings.PlayMode, LeftChannel, RightChannel, SplitNote, SplitOctave, SplitChannelOctave, Transpose};
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
    fRouter.Press(note, velocity, CurrentRouting(), Senders);
    RefreshReadout();
}

// The Note Off goes where the key's Note On went, whatever changed since.
void TfrmPemo::PemoNoteOff(QObject*, int note, int velocity)
{
    fRouter.Release(note, velocity, CurrentRouting(), Senders);
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
    // The stored settings that go out now carry the channel's pedal.
    fRouter.SustainSent(LeftChannel, ChannelSettings.Sustain);
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
    fRouter.SustainSent(LeftChannel, SustainOn ? 127 : 0);
    btnSustain->setText(SustainOn ? QStringLiteral("Sustain Ein") : QStringLiteral("Sustain Aus"));
    ChannelSettings.Sustain = SustainOn ? 127 : 0;
}

void TfrmPemo::btnResetClick()
{
    std::exception_ptr failure;
    try {
        fRouter.Reset(CurrentRouting(), ChannelSettings.Sustain, StoredSustain, Senders);
    } catch (...) {
        failure = std::current_exception();
    }
    // Every key is released on screen, also after a failed send.
    NotesOn.fill(false);
    Pemo->AllNotesOff(false);
    PemoOM->AllNotesOff(false);
    Pemo->update();
    if (failure)
        std::rethrow_exception(failure);
}

void TfrmPemo::btnKlangAnzClick()
{
    ReadoutOn = !ReadoutOn;
    // Shown or hidden, the strip stays disabled: it never reacts to the mouse. Shown again, it
    // shows what sounds now, not what it showed when it was hidden.
    PemoOM->setVisible(ReadoutOn);
    RefreshReadout();
}

QString TfrmPemo::EndSoundingNotes()
{
    // A failed send forgets its note; the others are tried all the same.
    QString failure;
    do {
        try {
            fRouter.EndAll(Senders);
        } catch (const std::exception& e) {
            if (failure.isEmpty())
                failure = QString::fromUtf8(e.what());
        } catch (...) {
            if (failure.isEmpty())
                failure = QStringLiteral("Unbekannter Fehler");
        }
    } while (fRouter.AnySounding());
    NotesOn.fill(false);
    // Their key-ups would only repeat the Note Offs.
    PcKeyHeld.fill(false);
    Pemo->AllNotesOff(false);
    RefreshReadout();
    return failure;
}

void TfrmPemo::NoteStoredPedals()
{
    for (std::uint8_t channel = 0; channel < 16; ++channel)
        fRouter.SustainSent(channel, StoredSustain(channel));
}
