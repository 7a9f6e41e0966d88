// The player without a window: its state, the left channel's settings, the notes sounding, the
// routing, the controllers, learning and the MIDI input rules, under one lock; and what the
// window shows of it.
#pragma once

#include "ErrorText.h"
#include "Mutex.h"
#include "NoteRouter.h"
#include "settings/Settings.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

// The player's state as one record. The play mode is GeneralSettings.PlayMode.
struct TPlayerState {
    std::uint8_t LeftChannel = 0;          // 0..15, shown plus 1
    std::uint8_t RightChannel = 0;         // 0..15
    std::uint8_t SplitNote = 60;           // lowest note of the right side
    std::uint8_t SplitOctave = 5;          // SplitNote div 12
    std::uint8_t SplitChannelOctave = 5;   // 0..SplitOctave
    bool SplitArmed = false;               // the next note sets the split point
    std::uint8_t Transpose = 0;            // 0..11 semitones
    bool SustainOn = false;
    bool ManualVelocity = false;
    bool LearnOn = false;
    std::uint8_t LearnedController = 0;   // the last controller number received
    // The left channel's settings as the player edits them, and the general settings.
    TChannelSettings ChannelSettings;
    TGeneralSettings GeneralSettings;
    // Outgoing notes switched on, by note number as sent.
    std::array<bool, 128> NotesOn{};
    // Device index of the output port the program plays on; 0 at start, set by the port dialog.
    int CurrentOutputPort = 0;
    // True while the port dialog shows (MIDI input is then monitored instead of played).
    bool PortDialogShowing = false;
    // The ticked outputs of the port dialog; the monitor echoes each message once per tick.
    int TickedOutputCount = 0;
};

// The controllers that an external box can drive, in the order in which incoming controllers
// are matched: with two equal numbers the first wins. Sustain is the button, the others sliders.
enum class TControllerRow : std::uint8_t { Volume, Panorama, Sustain, Chorus, Reverb, Velocity };
inline constexpr std::size_t ControllerCount = 6;

// What the window shows of the player: one consistent picture, taken under the lock.
struct TDisplay {
    std::bitset<128> keys;   // the marks on the keyboard
    // Per controller row: the slider's position (the mirror the controller rules compare with),
    // the value its label shows and how often the label has been set.
    std::array<std::uint8_t, ControllerCount> positions{};
    std::array<std::uint8_t, ControllerCount> values{};
    std::array<std::uint32_t, ControllerCount> valueChanges{};
    // The monitor line: the last message the port dialog's monitor took, and a count of them.
    std::uint32_t monitorCount = 0;
    int monitorDevice = -1;
    std::array<std::uint8_t, 3> monitorBytes{};
    // Copied from the state when the picture is taken.
    bool sustainOn = false;
    bool learnOn = false;
    std::uint8_t splitNote = 60;
    std::uint8_t splitOctave = 5;
    std::uint8_t splitChannelOctave = 5;
    std::array<bool, 128> notesOn{};
};

// The failures of a switch of the left channel that come after the switch itself.
struct TChannelSwitch {
    std::string saveFailure;          // the old channel's late changes could not be stored
    std::exception_ptr sendFailure;   // the new channel's settings could not all be sent
};

// Threads: MidiIn runs on the MIDI service thread; every other member runs on the UI thread (and,
// before any window, on the start-up's). Each takes the lock itself and holds it only for changes
// of the state and for sends: never while a file is read or written, never while it calls out.
// A failing send is raised after the state is up to date, unless the member says otherwise.
class TPlayer {
public:
    // `onDisplayChanged` runs on the MIDI service thread, outside the lock, when MIDI input has
    // changed the display and no earlier call waits for the window: it asks the UI thread to
    // take the display (TakeDisplay, then DisplayFollowUp). It must not block or throw. Set it
    // before MIDI input runs and clear it after input has stopped.
    void SetOnDisplayChanged(std::function<void()> onDisplayChanged);

    // The state as it is now, copied.
    TPlayerState State() const EXCLUDES(fCriticalSection);
    // Arranges the state directly (tests, and the start of a session).
    void Edit(const std::function<void(TPlayerState&)>& change) EXCLUDES(fCriticalSection);

    // The start-up sending: every channel's stored settings on the output, channel by channel
    // (MIDI input waits at most for one channel's messages), from one reading of the file.
    void SendAllStoredChannels() EXCLUDES(fCriticalSection);
    // Takes the left channel's stored settings and the general settings from the file.
    void LoadStoredSettings() EXCLUDES(fCriticalSection);
    // Stores the left channel's settings and the general settings (SettingsWriteError).
    void SaveSettings() EXCLUDES(fCriticalSection);
    // The stored pedals of every channel went out by other means.
    void NoteStoredPedals() EXCLUDES(fCriticalSection);

    // The player's actions.
    // A key went down or came up (a note 0..127 is marked, also when nothing is sent).
    void PressNote(int note, int velocity) EXCLUDES(fCriticalSection);
    void ReleaseNote(int note, int velocity) EXCLUDES(fCriticalSection);
    // A slider is moved to `position` (0..127): only a real change does the work, in learn mode
    // the binding of the learned controller, otherwise the value and its send.
    void MoveController(TControllerRow row, int position) EXCLUDES(fCriticalSection);
    // The sustain button: the pedal toggles and is sent, or learning binds it.
    void ClickSustain() EXCLUDES(fCriticalSection);
    void ToggleLearning() EXCLUDES(fCriticalSection);
    void EndLearning() EXCLUDES(fCriticalSection);
    // Manual velocity plays every note, also MIDI input's, with the velocity slider's value.
    void SetManualVelocity(bool manual) EXCLUDES(fCriticalSection);
    void SetPlayMode(std::uint8_t mode) EXCLUDES(fCriticalSection);
    void SetRightChannel(std::uint8_t channel) EXCLUDES(fCriticalSection);
    void SetSplitChannelOctave(std::uint8_t octave) EXCLUDES(fCriticalSection);
    void ToggleSplitArmed() EXCLUDES(fCriticalSection);
    void SetTranspose(std::uint8_t semitones) EXCLUDES(fCriticalSection);
    // The hints show or not (a general setting); returns the new choice.
    bool ToggleHint() EXCLUDES(fCriticalSection);
    // The left channel's instrument, sent at once as a program change.
    void SetInstrument(std::uint8_t program) EXCLUDES(fCriticalSection);
    // Stores the left channel's settings, then takes the new channel's from the file and sends
    // them. A failing first save raises its SettingsWriteError and switches nothing.
    TChannelSwitch SwitchLeftChannel(std::uint8_t channel) EXCLUDES(fCriticalSection);
    // The sliders and the sustain button follow the left channel's settings, the velocity row
    // first (in learn mode the first slider that moves takes the learned number); a slider whose
    // position really changes sends. Returns the texts of the failed sends.
    std::vector<std::string> FollowChannelSettings() EXCLUDES(fCriticalSection);
    // Reset: ends everything the program started (TNoteRouter::Reset) and releases every key.
    void Reset() EXCLUDES(fCriticalSection);
    // The output is about to change (and the program's end): every note the program has sounding
    // ends where its Note On went. Every note gets its Note Off also when a send fails; the text
    // of the first failure is returned (empty: none). With `monitor`, MIDI input turns to the
    // port dialog's monitor in the same step, so that no note slips in between.
    std::string EndSoundingNotes(bool monitor = false) EXCLUDES(fCriticalSection);

    // The port dialog's part.
    int OutputPort() const EXCLUDES(fCriticalSection);
    void UseOutput(int port) EXCLUDES(fCriticalSection);
    void SetTickedOutputs(int count) EXCLUDES(fCriticalSection);
    void SetPortDialogShowing(bool showing) EXCLUDES(fCriticalSection);

    // Runs on the MIDI service thread (any thread may call it): one incoming message, handled
    // under the lock (rules, routing, sends). Lets no exception out; a failure is kept for the
    // window (TakeMidiInFailures) and shown once until a message goes through.
    void MidiIn(int device, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) EXCLUDES(fCriticalSection);

    // The window's part (UI thread).
    // The sliders' positions as the window created them (before input runs).
    void TakeControllerPositions(const std::array<std::uint8_t, ControllerCount>& positions) EXCLUDES(fCriticalSection);
    // The display as it is now; the window shows every change up to this one.
    TDisplay TakeDisplay() EXCLUDES(fCriticalSection);
    // After a posted display: true when there are changes again; false ends the posted run, and
    // the next change of MIDI input calls onDisplayChanged again.
    bool DisplayFollowUp() EXCLUDES(fCriticalSection);
    // No change waits for TakeDisplay.
    bool DisplayUpToDate() const EXCLUDES(fCriticalSection);
    // The failures that MIDI input met since the last call.
    std::vector<std::string> TakeMidiInFailures() EXCLUDES(fCriticalSection);

private:
    TRouting RoutingLocked() const REQUIRES(fCriticalSection);
    void PressNoteLocked(int note, int velocity) REQUIRES(fCriticalSection);
    void ReleaseNoteLocked(int note, int velocity) REQUIRES(fCriticalSection);
    void MoveControllerLocked(TControllerRow row, int position) REQUIRES(fCriticalSection);
    void ClickSustainLocked() REQUIRES(fCriticalSection);
    void FollowChannelSettingLocked(TControllerRow row, std::vector<std::string>& failures) REQUIRES(fCriticalSection);
    void MonitorMidiInLocked(int device, std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
        REQUIRES(fCriticalSection);
    void PlayMidiInLocked(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) REQUIRES(fCriticalSection);
    void NoteMidiInFailureLocked(const char* text) REQUIRES(fCriticalSection);
    void DisplayChangedLocked() REQUIRES(fCriticalSection) { fDisplayChanged = true; }

    // The router's messages go out on the current output and keep NotesOn.
    class TOutput final : public TNoteOutput {
    public:
        explicit TOutput(TPlayerState& state) : fState(state) {}
        void Note(std::uint8_t channel, std::uint8_t note, std::uint8_t velocity, bool on) override;
        void Sustain(std::uint8_t channel, std::uint8_t value) override;
        void AllNotesOff(std::uint8_t channel) override;

    private:
        TPlayerState& fState;   // used under the player's lock only
    };

    // The one lock of the state that MIDI input shares with the windows.
    mutable TMutex fCriticalSection;
    TPlayerState fState GUARDED_BY(fCriticalSection);
    TNoteRouter fRouter GUARDED_BY(fCriticalSection);
    TOutput fOutput GUARDED_BY(fCriticalSection){fState};
    TDisplay fDisplay GUARDED_BY(fCriticalSection);
    bool fDisplayChanged GUARDED_BY(fCriticalSection) = false;   // a change waits for TakeDisplay
    // onDisplayChanged has run and the window has not ended its run of follow-ups.
    bool fDisplayPosted GUARDED_BY(fCriticalSection) = false;
    std::string fLastMidiInError GUARDED_BY(fCriticalSection);
    std::vector<std::string> fMidiInFailures GUARDED_BY(fCriticalSection);
    // Set and cleared under the lock while no MIDI input runs; MIDI input calls it outside.
    std::function<void()> fOnDisplayChanged;
};
