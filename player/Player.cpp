// The player's actions, the switch of the left channel, Reset, the ending of sounding notes and
// the display the window takes.
#include "Player.h"

#include "midi/MidiSenders.h"
#include "sending/SettingsSending.h"

#include <utility>

void TPlayer::TOutput::Note(std::uint8_t channel, std::uint8_t note, std::uint8_t velocity, bool on)
{
    if (SendNote(fState.CurrentOutputPort, channel, note, velocity, on))
        fState.NotesOn[note & 0x7F] = on;
}

void TPlayer::TOutput::Sustain(std::uint8_t channel, std::uint8_t value)
{
    SendSustain(fState.CurrentOutputPort, channel, value);
}

void TPlayer::TOutput::AllNotesOff(std::uint8_t channel)
{
    SendAllNotesOff(fState.CurrentOutputPort, channel);
}

void TPlayer::SetOnDisplayChanged(std::function<void()> onDisplayChanged)
{
    TLockGuard lock(fCriticalSection);
    fOnDisplayChanged = std::move(onDisplayChanged);
    // A call that a window before this one never answered does not keep input from asking.
    fDisplayPosted = false;
}

TPlayerState TPlayer::State() const
{
    TLockGuard lock(fCriticalSection);
    return fState;
}

void TPlayer::Edit(const std::function<void(TPlayerState&)>& change)
{
    TLockGuard lock(fCriticalSection);
    change(fState);
    DisplayChangedLocked();
}

void TPlayer::SendAllStoredChannels()
{
    const std::array<TChannelSettings, 16> stored = AllStoredChannelSettings();
    {
        TLockGuard lock(fCriticalSection);
        PlayOnlyChannels(fState.CurrentOutputPort, fState.LeftChannel, fState.RightChannel);
    }
    for (int channel = 0; channel < 16; ++channel) {
        TLockGuard lock(fCriticalSection);
        SendChannelSettings(fState.CurrentOutputPort, channel, stored[std::size_t(channel)]);
    }
}

void TPlayer::LoadStoredSettings()
{
    const std::uint8_t channel = State().LeftChannel;
    const TChannelSettings settings = StoredChannelSettings(channel);
    const TGeneralSettings general = StoredGeneralSettings();
    TLockGuard lock(fCriticalSection);
    fState.ChannelSettings = settings;
    fState.GeneralSettings = general;
}

void TPlayer::SaveSettings()
{
    const TPlayerState state = State();
    ::SaveSettings(state.LeftChannel, state.ChannelSettings, state.GeneralSettings);
}

void TPlayer::NoteStoredPedals()
{
    const std::array<TChannelSettings, 16> stored = AllStoredChannelSettings();
    TLockGuard lock(fCriticalSection);
    for (std::uint8_t channel = 0; channel < 16; ++channel)
        fRouter.SustainSent(channel, stored[channel].Sustain);
}

TRouting TPlayer::RoutingLocked() const
{
    return {
        fState.GeneralSettings.PlayMode, fState.LeftChannel, fState.RightChannel, fState.SplitNote, fState.SplitOctave,
        fState.SplitChannelOctave,       fState.Transpose};
}

void TPlayer::PressNoteLocked(int note, int velocity)
{
    if (note >= 0 && note <= 127) {
        fDisplay.keys.set(std::size_t(note));
        DisplayChangedLocked();
    }
    if (fState.SplitArmed) {
        // The split point is at least C1: lower notes are swallowed and leave it armed.
        if (note < 12)
            return;
        // A new split point always clears the octave shift.
        fState.SplitNote = std::uint8_t(note);
        fState.SplitOctave = std::uint8_t(note / 12);
        fState.SplitChannelOctave = fState.SplitOctave;
        fState.SplitArmed = false;
    }
    fRouter.Press(note, velocity, RoutingLocked(), fOutput);
}

// The Note Off goes where the key's Note On went, whatever changed since.
void TPlayer::ReleaseNoteLocked(int note, int velocity)
{
    if (note >= 0 && note <= 127) {
        fDisplay.keys.reset(std::size_t(note));
        DisplayChangedLocked();
    }
    fRouter.Release(note, velocity, RoutingLocked(), fOutput);
}

void TPlayer::PressNote(int note, int velocity)
{
    TLockGuard lock(fCriticalSection);
    PressNoteLocked(note, velocity);
}

void TPlayer::ReleaseNote(int note, int velocity)
{
    TLockGuard lock(fCriticalSection);
    ReleaseNoteLocked(note, velocity);
}

void TPlayer::ClickSustainLocked()
{
    DisplayChangedLocked();
    if (fState.LearnOn) {
        // Learning: the last controller received drives the sustain button from now on.
        fState.GeneralSettings.Sustaincontroller = fState.LearnedController;
        fState.LearnOn = false;
        return;
    }
    fState.SustainOn = !fState.SustainOn;
    const std::uint8_t value = fState.SustainOn ? 127 : 0;
    fState.ChannelSettings.Sustain = value;
    fRouter.SustainSent(fState.LeftChannel, value);
    SendSustain(fState.CurrentOutputPort, fState.LeftChannel, value);
}

void TPlayer::ClickSustain()
{
    TLockGuard lock(fCriticalSection);
    ClickSustainLocked();
}

void TPlayer::ToggleLearning()
{
    TLockGuard lock(fCriticalSection);
    fState.LearnOn = !fState.LearnOn;
    DisplayChangedLocked();
}

void TPlayer::EndLearning()
{
    TLockGuard lock(fCriticalSection);
    fState.LearnOn = false;
    DisplayChangedLocked();
}

void TPlayer::SetManualVelocity(bool manual)
{
    TLockGuard lock(fCriticalSection);
    fState.ManualVelocity = manual;
    if (manual)
        fState.ChannelSettings.Velocity = fDisplay.positions[std::size_t(TControllerRow::Velocity)];
}

void TPlayer::SetPlayMode(std::uint8_t mode)
{
    TLockGuard lock(fCriticalSection);
    fState.GeneralSettings.PlayMode = mode;
}

void TPlayer::SetRightChannel(std::uint8_t channel)
{
    TLockGuard lock(fCriticalSection);
    fState.RightChannel = channel;
    PlayOnlyChannels(fState.CurrentOutputPort, fState.LeftChannel, fState.RightChannel);
}

void TPlayer::SetSplitChannelOctave(std::uint8_t octave)
{
    TLockGuard lock(fCriticalSection);
    fState.SplitChannelOctave = octave;
}

void TPlayer::ToggleSplitArmed()
{
    TLockGuard lock(fCriticalSection);
    fState.SplitArmed = !fState.SplitArmed;
}

void TPlayer::SetTranspose(std::uint8_t semitones)
{
    TLockGuard lock(fCriticalSection);
    fState.Transpose = semitones;
}

bool TPlayer::ToggleHint()
{
    TLockGuard lock(fCriticalSection);
    fState.GeneralSettings.Hint = !fState.GeneralSettings.Hint;
    return fState.GeneralSettings.Hint;
}

void TPlayer::SetInstrument(std::uint8_t program)
{
    TLockGuard lock(fCriticalSection);
    fState.ChannelSettings.Instrument = program;
    SendProgramChange(fState.CurrentOutputPort, fState.LeftChannel, program);
}

TChannelSwitch TPlayer::SwitchLeftChannel(std::uint8_t channel)
{
    const TPlayerState before = State();
    // Without the save the switch would lose the channel's changes: then it does not happen.
    ::SaveSettings(before.LeftChannel, before.ChannelSettings, before.GeneralSettings);
    const TChannelSettings loaded = StoredChannelSettings(channel);
    const TGeneralSettings loadedGeneral = StoredGeneralSettings();
    TChannelSwitch result;
    TChannelSettings left;
    {
        TLockGuard lock(fCriticalSection);
        left = fState.ChannelSettings;
        fState.LeftChannel = channel;
        fState.ChannelSettings = loaded;
        fState.GeneralSettings = loadedGeneral;
        // The stored settings that go out now carry the channel's pedal.
        fRouter.SustainSent(channel, loaded.Sustain);
        PlayOnlyChannels(fState.CurrentOutputPort, fState.LeftChannel, fState.RightChannel);
        // The state is the new channel's also when its sending fails.
        try {
            SendChannelSettings(fState.CurrentOutputPort, channel, loaded);
        } catch (...) {
            result.sendFailure = std::current_exception();
        }
    }
    // A controller moved a slider of the old channel while the file was written: that is stored too.
    if (!(left == before.ChannelSettings)) {
        try {
            ::SaveSettings(before.LeftChannel, left, before.GeneralSettings);
        } catch (const std::exception& e) {
            result.saveFailure = e.what();
        }
    }
    return result;
}

void TPlayer::Reset()
{
    const std::array<TChannelSettings, 16> stored = AllStoredChannelSettings();
    const TStoredSustain storedSustain = [&stored](std::uint8_t channel) { return stored[channel & 0x0F].Sustain; };
    TLockGuard lock(fCriticalSection);
    // Every key is released on screen, also after a failed send.
    fDisplay.keys.reset();
    DisplayChangedLocked();
    try {
        fRouter.Reset(RoutingLocked(), fState.ChannelSettings.Sustain, storedSustain, fOutput);
    } catch (...) {
        fState.NotesOn.fill(false);
        throw;
    }
    fState.NotesOn.fill(false);
}

std::string TPlayer::EndSoundingNotes(bool monitor)
{
    // A failed send forgets its note; the others are tried all the same.
    std::string failure;
    TLockGuard lock(fCriticalSection);
    do {
        try {
            fRouter.EndAll(fOutput);
        } catch (const std::exception& e) {
            if (failure.empty())
                failure = e.what();
        } catch (...) {
            if (failure.empty())
                failure = UnknownErrorText;
        }
    } while (fRouter.AnySounding());
    fState.NotesOn.fill(false);
    fDisplay.keys.reset();
    DisplayChangedLocked();
    if (monitor)
        fState.PortDialogShowing = true;
    return failure;
}

int TPlayer::OutputPort() const
{
    TLockGuard lock(fCriticalSection);
    return fState.CurrentOutputPort;
}

void TPlayer::UseOutput(int port)
{
    TLockGuard lock(fCriticalSection);
    fState.CurrentOutputPort = port;
}

void TPlayer::SetTickedOutputs(int count)
{
    TLockGuard lock(fCriticalSection);
    fState.TickedOutputCount = count;
}

void TPlayer::SetPortDialogShowing(bool showing)
{
    TLockGuard lock(fCriticalSection);
    fState.PortDialogShowing = showing;
}

TDisplay TPlayer::TakeDisplay()
{
    TLockGuard lock(fCriticalSection);
    fDisplayChanged = false;
    TDisplay display = fDisplay;
    display.sustainOn = fState.SustainOn;
    display.learnOn = fState.LearnOn;
    display.splitNote = fState.SplitNote;
    display.splitOctave = fState.SplitOctave;
    display.splitChannelOctave = fState.SplitChannelOctave;
    display.notesOn = fState.NotesOn;
    return display;
}

bool TPlayer::DisplayFollowUp()
{
    TLockGuard lock(fCriticalSection);
    if (!fDisplayChanged)
        fDisplayPosted = false;
    return fDisplayChanged;
}

bool TPlayer::DisplayUpToDate() const
{
    TLockGuard lock(fCriticalSection);
    return !fDisplayChanged;
}

std::vector<std::string> TPlayer::TakeMidiInFailures()
{
    std::vector<std::string> failures;
    TLockGuard lock(fCriticalSection);
    failures.swap(fMidiInFailures);
    return failures;
}
