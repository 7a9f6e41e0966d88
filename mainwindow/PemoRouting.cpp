// Note routing, the split keyboard, sustain, Reset, the readout strip and the ending of sounding notes.
#include "Pemo.h"

#include "dialogs/portWahl.h"
#include "midi/MidiSenders.h"
#include "sending/SettingsSending.h"
#include "settings/PlayerState.h"
#include "settings/Settings.h"
#include "settings/uTonFamilie.h"
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

}   // namespace

TRouting TfrmPemo::CurrentRouting() const
{
    return {GeneralSettings.PlayMode, LeftChannel, RightChannel, SplitNote, SplitOctave, SplitChannelOctave, Transpose};
}

void TfrmPemo::ChangeShared(const std::function<void()>& change)
{
    std::exception_ptr failure;
    {
        std::lock_guard lock(fCriticalSection);
        try {
            change();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    SyncWidgets();
    if (failure)
        std::rethrow_exception(failure);
}

// The key is marked as the keyboard marks it (a note 0..127, also when nothing is sent).
void TfrmPemo::NoteOnLocked(int note, int velocity)
{
    if (note >= 0 && note <= 127) {
        fShownState.keys.set(std::size_t(note));
        Show();
    }
    if (SplitArmed) {
        // The split point is at least C1: lower notes are swallowed and leave it armed.
        if (note < 12)
            return;
        // A new split point always clears the octave shift (seSplitOktave follows).
        SplitNote = static_cast<std::uint8_t>(note);
        SplitOctave = static_cast<std::uint8_t>(note / 12);
        SplitChannelOctave = SplitOctave;
        SplitArmed = false;
    }
    fRouter.Press(note, velocity, CurrentRouting(), Senders);
}

// The Note Off goes where the key's Note On went, whatever changed since.
void TfrmPemo::NoteOffLocked(int note, int velocity)
{
    if (note >= 0 && note <= 127) {
        fShownState.keys.reset(std::size_t(note));
        Show();
    }
    fRouter.Release(note, velocity, CurrentRouting(), Senders);
}

void TfrmPemo::PemoNoteOn(QObject*, int note, int velocity)
{
    ChangeShared([&] { NoteOnLocked(note, velocity); });
}

void TfrmPemo::PemoNoteOff(QObject*, int note, int velocity)
{
    ChangeShared([&] { NoteOffLocked(note, velocity); });
}

void TfrmPemo::RefreshReadout()
{
    std::array<bool, 128> notes{};
    {
        std::lock_guard lock(fCriticalSection);
        notes = NotesOn;
    }
    fAppliedNotesOn = notes;
    ShowReadout(notes);
}

void TfrmPemo::ShowReadout(const std::array<bool, 128>& notes)
{
    if (!ReadoutOn)
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
    {
        std::lock_guard lock(fCriticalSection);
        GeneralSettings.PlayMode = mode;
    }
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
    // LeftChannel and GeneralSettings change on this thread only: read without the lock.
    const std::uint8_t old = LeftChannel;
    const TGeneralSettings general = GeneralSettings;
    TChannelSettings saved;
    {
        std::lock_guard lock(fCriticalSection);
        saved = ChannelSettings;
    }
    try {
        SaveSettings(old, saved, general);
    } catch (const std::exception& e) {
        // Without the save the switch would lose the channel's changes: it does not happen, and
        // the spin edit goes back to the channel in force.
        const QSignalBlocker blocker(seLKanal);
        seLKanal->setValue(old + 1);
        tarv::skin::ShowError(QString::fromUtf8(e.what()));
        return;
    }
    const TChannelSettings loaded = StoredChannelSettings(channel);
    const TGeneralSettings loadedGeneral = StoredGeneralSettings();
    TChannelSettings left;
    std::exception_ptr failure;
    {
        std::lock_guard lock(fCriticalSection);
        left = ChannelSettings;
        LeftChannel = channel;
        ChannelSettings = loaded;
        GeneralSettings = loadedGeneral;
        // The stored settings that go out now carry the channel's pedal.
        fRouter.SustainSent(LeftChannel, loaded.Sustain);
        // The controls show the new channel also when its sending fails.
        try {
            SendChannelSettings(LeftChannel, loaded);
        } catch (...) {
            failure = std::current_exception();
        }
    }
    // A controller moved a slider of the old channel while the file was written: that is stored too.
    if (!(left == saved)) {
        try {
            SaveSettings(old, left, general);
        } catch (const std::exception& e) {
            tarv::skin::ShowError(QString::fromUtf8(e.what()));
        }
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
    const auto channel = static_cast<std::uint8_t>(seRkanal->value() - 1);
    std::lock_guard lock(fCriticalSection);
    RightChannel = channel;
}

void TfrmPemo::seSplitOktaveChange()
{
    const auto octave = static_cast<std::uint8_t>(seSplitOktave->value());
    std::lock_guard lock(fCriticalSection);
    SplitChannelOctave = octave;
}

void TfrmPemo::btnSetSplitClick()
{
    // The caption changes only when a note sets the split point.
    std::lock_guard lock(fCriticalSection);
    SplitArmed = !SplitArmed;
}

void TfrmPemo::SustainClickLocked()
{
    Show();
    if (LearnOn) {
        // Learning: the last controller received drives the sustain button from now on.
        GeneralSettings.Sustaincontroller = LearnedController;
        LearnOn = false;
        return;
    }
    SustainOn = !SustainOn;
    SendSustain(LeftChannel, SustainOn ? 127 : 0);
    fRouter.SustainSent(LeftChannel, SustainOn ? 127 : 0);
    ChannelSettings.Sustain = SustainOn ? 127 : 0;
}

void TfrmPemo::btnSustainClick()
{
    ChangeShared([this] { SustainClickLocked(); });
}

void TfrmPemo::btnResetClick()
{
    const std::array<TChannelSettings, 16> stored = AllStoredChannelSettings();
    const TStoredSustain storedSustain = [&stored](std::uint8_t channel) { return stored[channel & 0x0F].Sustain; };
    std::exception_ptr failure;
    {
        std::lock_guard lock(fCriticalSection);
        try {
            fRouter.Reset(CurrentRouting(), ChannelSettings.Sustain, storedSustain, Senders);
        } catch (...) {
            failure = std::current_exception();
        }
        // Every key is released on screen, also after a failed send.
        NotesOn.fill(false);
        fShownState.keys.reset();
        Show();
    }
    PemoOM->AllNotesOff(false);
    SyncWidgets();
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

QString TfrmPemo::EndSoundingNotes(bool monitor)
{
    // A failed send forgets its note; the others are tried all the same.
    QString failure;
    {
        std::lock_guard lock(fCriticalSection);
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
        fShownState.keys.reset();
        Show();
        if (monitor)
            PortDialogShowing = true;
    }
    // Their key-ups would only repeat the Note Offs.
    PcKeyHeld.fill(false);
    SyncWidgets();
    return failure;
}

void TfrmPemo::NoteStoredPedals()
{
    const std::array<TChannelSettings, 16> stored = AllStoredChannelSettings();
    std::lock_guard lock(fCriticalSection);
    for (std::uint8_t channel = 0; channel < 16; ++channel)
        fRouter.SustainSent(channel, stored[channel].Sustain);
}
