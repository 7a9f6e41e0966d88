// MIDI input (notes, bound controllers, pass-through, the port dialog's monitor), the
// controllers and learning.
#include "Player.h"

#include "midi/Midi.h"
#include "midi/MidiSenders.h"

#include <iterator>
#include <utility>

namespace {

constexpr std::uint8_t ActiveSensing = 0xFE;

bool isController(std::uint8_t status)
{
    return (status & 0xF0) == 0xB0;
}

// Only the data bytes its status carries are looked at; a byte above 127 there is a status byte
// that a faulty device or driver put in the wrong place. Running status and the framing bytes of
// system exclusive never make a short message of their own.
bool isWellFormed(std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    if (status < 0x80 || status == 0xF0 || status == 0xF7)
        return false;
    const int length = tarv::shortMessageLength(status);
    return (length < 2 || data1 <= 127) && (length < 3 || data2 <= 127);
}

// The model half of a controller row; the window keeps the view half by the same index.
struct TControllerModel {
    std::uint8_t TChannelSettings::*value;                              // the channel setting the row shows
    std::uint8_t TGeneralSettings::*number;                             // the bound external controller number
    bool inverted;                                                      // 0 at the top: the position is 127 - value
    bool slider;                                                        // false: the sustain button
    void (*send)(int port, std::uint8_t channel, std::uint8_t value);   // on the left channel; null: nothing
};

constexpr TControllerModel Controllers[] = {
    {&TChannelSettings::Volume, &TGeneralSettings::Volumecontroller, true, true, &SendVolume},
    {&TChannelSettings::Panorama, &TGeneralSettings::Panoramacontroller, false, true, &SendPanorama},
    {&TChannelSettings::Sustain, &TGeneralSettings::Sustaincontroller, false, false, nullptr},
    {&TChannelSettings::Chorus, &TGeneralSettings::Choruscontroller, false, true, &SendChorus},
    {&TChannelSettings::Reverb, &TGeneralSettings::Reverbcontroller, false, true, &SendReverb},
    {&TChannelSettings::Velocity, &TGeneralSettings::Velocitycontroller, false, true, nullptr},
};
static_assert(std::size(Controllers) == ControllerCount);

const TControllerModel& model(TControllerRow row)
{
    return Controllers[std::size_t(row)];
}

int sliderPosition(const TControllerModel& row, int value)
{
    return row.inverted ? 127 - value : value;
}

}   // namespace

// The lock orders the messages of all input ports and keeps the UI thread's actions out while a
// message is handled. The window follows on the UI thread: the first change after a quiet time
// asks for it, later ones are taken by the follow-ups of that one. Never waits for the UI
// thread, never lets anything out.
void TPlayer::MidiIn(int device, std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    if (status == ActiveSensing || !isWellFormed(status, data1, data2))
        return;
    try {
        bool post = false;
        {
            TLockGuard lock(fCriticalSection);
            try {
                if (fState.PortDialogShowing)
                    MonitorMidiInLocked(device, status, data1, data2);
                else
                    PlayMidiInLocked(status, data1, data2);
                fLastMidiInError.clear();
            } catch (const std::exception& e) {
                NoteMidiInFailureLocked(e.what());
            } catch (...) {
                NoteMidiInFailureLocked(UnknownErrorText);
            }
            post = fDisplayChanged && fOnDisplayChanged && !std::exchange(fDisplayPosted, true);
        }
        if (post)
            fOnDisplayChanged();
    } catch (...) {
        // Out of memory while noting a failure: nothing can be reported from this thread.
    }
}

// While the port dialog shows: the message goes out unchanged once per ticked output entry, and
// the dialog's monitor line shows it.
void TPlayer::MonitorMidiInLocked(int device, std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    // The monitor line shows the message also when its echo fails.
    fDisplay.monitorDevice = device;
    fDisplay.monitorBytes = {status, data1, data2};
    ++fDisplay.monitorCount;
    DisplayChangedLocked();
    // An echoed note sounds like a routed one: its Note Off goes where the echo went, also after
    // the dialog has closed.
    bool echoed = false;
    try {
        for (int tick = 0; tick < fState.TickedOutputCount; ++tick) {
            MidiOutput().Send(fState.CurrentOutputPort, status, data1, data2);
            echoed = true;
        }
    } catch (...) {
        if (echoed)
            fRouter.Echoed(status, data1, data2);
        throw;
    }
    if (echoed)
        fRouter.Echoed(status, data1, data2);
}

// The rules for one message, the first that applies decides.
void TPlayer::PlayMidiInLocked(std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    const std::uint8_t kind = status & 0xF0;
    if (isController(status)) {
        if (fState.LearnOn) {
            fState.LearnedController = data1;
            return;
        }
        for (std::size_t i = 0; i < ControllerCount; ++i) {
            const TControllerModel& row = Controllers[i];
            if (data1 != fState.GeneralSettings.*row.number)
                continue;
            if (!row.slider) {
                // A pedal value that leaves sustain as it is gives way to the rules below.
                if (fState.SustainOn ? data2 >= 64 : data2 < 64)
                    continue;
                ClickSustainLocked();
                return;
            }
            MoveControllerLocked(TControllerRow(i), sliderPosition(row, data2));
            return;
        }
    }
    // A key goes down or up; a release always carries velocity 0, as the keyboard's own.
    if (kind == 0x90 && data2 > 0) {
        PressNoteLocked(data1, fState.ManualVelocity ? fState.ChannelSettings.Velocity : data2);
        return;
    }
    if (kind == 0x90 || kind == 0x80) {
        ReleaseNoteLocked(data1, 0);
        return;
    }
    // Everything else passes through: a channel message on the left and then on the right
    // channel, whatever channel it came on; a system message once, as it came.
    if (status < 0xF0) {
        for (const std::uint8_t channel : {fState.LeftChannel, fState.RightChannel}) {
            MidiOutput().Send(fState.CurrentOutputPort, std::uint8_t(kind | (channel & 0x0F)), data1, data2);
            if (kind == 0xB0 && data1 == 64)
                fRouter.SustainSent(channel & 0x0F, data2);
        }
    } else {
        MidiOutput().Send(fState.CurrentOutputPort, status, data1, data2);
    }
}

// A failure that input handling meets again and again (an output that has gone away while a
// keyboard keeps playing) is kept once, until a message goes through.
void TPlayer::NoteMidiInFailureLocked(const char* text)
{
    if (fLastMidiInError == text)
        return;
    fLastMidiInError = text;
    // While the player has not seen the last ones, a few are enough.
    if (fMidiInFailures.size() < 4)
        fMidiInFailures.emplace_back(text);
    DisplayChangedLocked();
}

void TPlayer::MoveControllerLocked(TControllerRow row, int position)
{
    const auto i = std::size_t(row);
    if (fDisplay.positions[i] == position)
        return;
    fDisplay.positions[i] = std::uint8_t(position);
    DisplayChangedLocked();
    if (fState.LearnOn) {
        // The slider's new position is neither stored nor sent; its label keeps the old value.
        fState.GeneralSettings.*model(row).number = fState.LearnedController;
        fState.LearnOn = false;
        return;
    }
    const auto value = std::uint8_t(sliderPosition(model(row), position));
    fState.ChannelSettings.*model(row).value = value;
    fDisplay.values[i] = value;
    ++fDisplay.valueChanges[i];
    if (model(row).send)
        model(row).send(fState.CurrentOutputPort, fState.LeftChannel, value);
}

void TPlayer::MoveController(TControllerRow row, int position)
{
    TLockGuard lock(fCriticalSection);
    MoveControllerLocked(row, position);
}

void TPlayer::FollowChannelSettingLocked(TControllerRow row, std::vector<std::string>& failures)
{
    const std::uint8_t value = fState.ChannelSettings.*model(row).value;
    if (!model(row).slider) {
        fState.SustainOn = value >= 64;
        DisplayChangedLocked();
        return;
    }
    try {
        MoveControllerLocked(row, sliderPosition(model(row), value));
    } catch (const std::exception& e) {
        failures.emplace_back(e.what());
    }
}

std::vector<std::string> TPlayer::FollowChannelSettings()
{
    std::vector<std::string> failures;
    TLockGuard lock(fCriticalSection);
    FollowChannelSettingLocked(TControllerRow::Velocity, failures);
    for (std::size_t i = 0; i < ControllerCount; ++i) {
        if (TControllerRow(i) != TControllerRow::Velocity)
            FollowChannelSettingLocked(TControllerRow(i), failures);
    }
    return failures;
}

void TPlayer::TakeControllerPositions(const std::array<std::uint8_t, ControllerCount>& positions)
{
    TLockGuard lock(fCriticalSection);
    for (std::size_t i = 0; i < ControllerCount; ++i) {
        if (Controllers[i].slider)
            fDisplay.positions[i] = positions[i];
    }
}
