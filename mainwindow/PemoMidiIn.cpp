// MIDI input (notes, bound controllers, pass-through, the port dialog's monitor), the controller
// sliders and learning.
#include "Pemo.h"

#include "dialogs/portWahl.h"
#include "midi/Midi.h"
#include "midi/MidiSenders.h"
#include "settings/PlayerState.h"
#include "settings/Settings.h"
#include "skin/ErrorDisplay.h"
#include "skin/SlideSwitch.h"
#include "widgets/Klavier.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include <exception>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr std::uint8_t kActiveSensing = 0xFE;

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

}   // namespace

// One controller that an external box can drive: a slider, or the sustain button (no slider).
struct TControllerRow {
    QSlider* TfrmPemo::*slider;
    QLabel* TfrmPemo::*label;
    const char* prefix;                                       // the label's text before the value
    std::uint8_t TChannelSettings::*value;                    // the channel setting the slider shows
    std::uint8_t TGeneralSettings::*number;                   // the bound external controller number
    bool inverted;                                            // 0 at the top: the position is 127 - value
    void (*send)(std::uint8_t channel, std::uint8_t value);   // on the left channel; null: nothing
    const char* valueHint;                                    // UTF-8; the slider's own hint shows this and the value
};

namespace {

// In the order in which incoming controllers are matched: with two equal numbers the first wins.
constexpr TControllerRow Controllers[] = {
    {&TfrmPemo::tbVolume, &TfrmPemo::lblVolume, "", &TChannelSettings::Volume, &TGeneralSettings::Volumecontroller,
     true, &SendVolume, "Kanallautstärke "},
    {&TfrmPemo::tbPanorama, &TfrmPemo::lblPanorama, "Panorama ", &TChannelSettings::Panorama,
     &TGeneralSettings::Panoramacontroller, false, &SendPanorama, nullptr},
    {nullptr, nullptr, nullptr, &TChannelSettings::Sustain, &TGeneralSettings::Sustaincontroller, false, nullptr,
     nullptr},
    {&TfrmPemo::tbChorus, &TfrmPemo::lblChorus, "Chorus ", &TChannelSettings::Chorus,
     &TGeneralSettings::Choruscontroller, false, &SendChorus, nullptr},
    {&TfrmPemo::tbReverb, &TfrmPemo::lblReverb, "Reverb ", &TChannelSettings::Reverb,
     &TGeneralSettings::Reverbcontroller, false, &SendReverb, nullptr},
    {&TfrmPemo::tbVelocity, &TfrmPemo::lblVelocity, "Velocity ", &TChannelSettings::Velocity,
     &TGeneralSettings::Velocitycontroller, false, nullptr, nullptr},
};
const TControllerRow& VolumeRow = Controllers[0];
const TControllerRow& PanoramaRow = Controllers[1];
const TControllerRow& ChorusRow = Controllers[3];
const TControllerRow& ReverbRow = Controllers[4];
const TControllerRow& VelocityRow = Controllers[5];

int SliderPosition(const TControllerRow& row, int value)
{
    return row.inverted ? 127 - value : value;
}

}   // namespace

// Runs on the MIDI service thread. The lock orders the messages of all input ports and keeps the
// UI thread's handlers out while a message is handled. The widgets follow on the UI thread: the
// first change after a quiet time posts a sync, later ones are taken by the syncs that follow
// it (PemoShown.cpp). Never waits for the UI thread, never lets anything out.
void TfrmPemo::DoMidiInData(int aDeviceIndex, std::uint8_t aStatus, std::uint8_t aData1, std::uint8_t aData2)
{
    if (aStatus == kActiveSensing || !isWellFormed(aStatus, aData1, aData2))
        return;
    try {
        bool post = false;
        {
            std::lock_guard lock(fCriticalSection);
            try {
                if (PortDialogShowing)
                    MonitorMidiIn(aDeviceIndex, aStatus, aData1, aData2);
                else
                    PlayMidiIn(aStatus, aData1, aData2);
                fLastMidiInError.clear();
            } catch (const std::exception& e) {
                NoteMidiInFailure(e.what());
            } catch (...) {
                NoteMidiInFailure("Unbekannter Fehler");
            }
            post = fShownChanged && !std::exchange(fSyncPosted, true);
        }
        if (post)
            PostSync();
    } catch (...) {
        // Out of memory while noting a failure: nothing can be reported from this thread.
    }
}

// While the port dialog shows: the message goes out unchanged once per ticked output entry, and
// the dialog's status bar shows it.
void TfrmPemo::MonitorMidiIn(int aDeviceIndex, std::uint8_t aStatus, std::uint8_t aData1, std::uint8_t aData2)
{
    // The monitor line shows the message also when its echo fails.
    fShownState.monitorDevice = aDeviceIndex;
    fShownState.monitorBytes = {aStatus, aData1, aData2};
    ++fShownState.monitorCount;
    Show();
    // An echoed note sounds like a routed one: its Note Off goes where the echo went, also after
    // the dialog has closed.
    bool echoed = false;
    try {
        for (int tick = 0; tick < TickedOutputCount; ++tick) {
            MidiOutput().Send(CurrentOutputPort, aStatus, aData1, aData2);
            echoed = true;
        }
    } catch (...) {
        if (echoed)
            fRouter.Echoed(aStatus, aData1, aData2);
        throw;
    }
    if (echoed)
        fRouter.Echoed(aStatus, aData1, aData2);
}

// The rules for one message, the first that applies decides.
void TfrmPemo::PlayMidiIn(std::uint8_t aStatus, std::uint8_t aData1, std::uint8_t aData2)
{
    const std::uint8_t kind = aStatus & 0xF0;
    if (isController(aStatus)) {
        if (LearnOn) {
            LearnedController = aData1;
            return;
        }
        for (const TControllerRow& row : Controllers) {
            if (aData1 != GeneralSettings.*row.number)
                continue;
            if (!row.slider) {
                // A pedal value that leaves sustain as it is gives way to the rules below.
                if (SustainOn ? aData2 >= 64 : aData2 < 64)
                    continue;
                SustainClickLocked();
                return;
            }
            MoveSliderLocked(row, SliderPosition(row, aData2));
            return;
        }
    }
    // A key of Pemo goes down or up; a release always carries velocity 0, as the keyboard's own.
    if (kind == 0x90 && aData2 > 0) {
        NoteOnLocked(aData1, ManualVelocity ? ChannelSettings.Velocity : aData2);
        return;
    }
    if (kind == 0x90 || kind == 0x80) {
        NoteOffLocked(aData1, 0);
        return;
    }
    // Everything else passes through: a channel message on the left and then on the right
    // channel, whatever channel it came on; a system message once, as it came.
    if (aStatus < 0xF0) {
        for (const std::uint8_t channel : {LeftChannel, RightChannel}) {
            MidiOutput().Send(CurrentOutputPort, std::uint8_t(kind | (channel & 0x0F)), aData1, aData2);
            if (kind == 0xB0 && aData1 == 64)
                fRouter.SustainSent(channel & 0x0F, aData2);
        }
    } else {
        MidiOutput().Send(CurrentOutputPort, aStatus, aData1, aData2);
    }
}

// A failure that input handling meets again and again (an output that has gone away while a
// keyboard keeps playing) is shown once, until a message goes through.
void TfrmPemo::NoteMidiInFailure(const char* text)
{
    if (fLastMidiInError == text)
        return;
    fLastMidiInError = text;
    // While the player has not seen the last ones, a few are enough.
    if (fMidiInFailures.size() < 4)
        fMidiInFailures.emplace_back(text);
    Show();
}

// Shows a failure of the MIDI output met by input handling or a handler. While a message box is
// up no second one opens.
void TfrmPemo::ReportMidiFailure(const QString& text)
{
    if (fShowingMidiError)
        return;
    fShowingMidiError = true;
    try {
        tarv::skin::ShowError(text);
    } catch (...) {
        // The display itself failed; there is nowhere else to show it.
    }
    fShowingMidiError = false;
}

void TfrmPemo::EndLearning()
{
    ChangeShared([] { LearnOn = false; });
}

void TfrmPemo::MoveSliderLocked(const TControllerRow& row, int position)
{
    static_assert(std::size(Controllers) == ControllerCount);
    const auto i = std::size_t(&row - Controllers);
    if (fShownState.positions[i] == position)
        return;
    fShownState.positions[i] = std::uint8_t(position);
    Show();
    if (LearnOn) {
        // The slider's new position is neither stored nor sent; its label keeps the old value.
        GeneralSettings.*row.number = LearnedController;
        LearnOn = false;
        return;
    }
    const auto value = std::uint8_t(SliderPosition(row, position));
    ChannelSettings.*row.value = value;
    fShownState.values[i] = value;
    ++fShownState.valueChanges[i];
    if (row.send)
        row.send(LeftChannel, value);
}

// The sliders' change handlers run on every change of a widget's position by the player. In
// learn mode they bind the learned controller number instead.
void TfrmPemo::SliderChange(const TControllerRow& row)
{
    const int position = (this->*row.slider)->value();
    try {
        ChangeShared([&] { MoveSliderLocked(row, position); });
    } catch (const std::exception& e) {
        ReportMidiFailure(QString::fromUtf8(e.what()));
    }
}

void TfrmPemo::tbVolumeChange()
{
    SliderChange(VolumeRow);
}

void TfrmPemo::tbPanoramaChange()
{
    SliderChange(PanoramaRow);
}

void TfrmPemo::tbChorusChange()
{
    SliderChange(ChorusRow);
}

void TfrmPemo::tbReverbChange()
{
    SliderChange(ReverbRow);
}

// The velocity only takes effect on the next note: nothing is sent.
void TfrmPemo::tbVelocityChange()
{
    SliderChange(VelocityRow);
}

// The velocity slider first, then the table's order: in learn mode the first slider that moves
// takes the learned number. A slider whose position really changes does its change handler's
// work (which sends); the sustain button only shows the stored state, nothing is sent.
void TfrmPemo::RefreshControllers()
{
    std::vector<QString> failures;
    const auto refresh = [&](const TControllerRow& row) {
        const std::uint8_t value = ChannelSettings.*row.value;
        if (!row.slider) {
            SustainOn = value >= 64;
            Show();
            return;
        }
        try {
            MoveSliderLocked(row, SliderPosition(row, value));
        } catch (const std::exception& e) {
            failures.push_back(QString::fromUtf8(e.what()));
        }
    };
    ChangeShared([&] {
        refresh(VelocityRow);
        for (const TControllerRow& row : Controllers) {
            if (&row != &VelocityRow)
                refresh(row);
        }
    });
    for (const QString& failure : failures)
        ReportMidiFailure(failure);
}

void TfrmPemo::TakeSliderPositions()
{
    std::lock_guard lock(fCriticalSection);
    for (const TControllerRow& row : Controllers) {
        if (row.slider)
            fShownState.positions[std::size_t(&row - Controllers)] = std::uint8_t((this->*row.slider)->value());
    }
    fApplied = fShownState;
}

// The slider positions (set without their signals: the model has done the change handler's
// work already), the labels and the volume hint where a value was set, and the two captions.
void TfrmPemo::ShowControllers(const TShown& now, bool sustainOn, bool learnOn)
{
    for (const TControllerRow& row : Controllers) {
        if (!row.slider)
            continue;
        const auto i = std::size_t(&row - Controllers);
        QSlider* slider = this->*row.slider;
        if (slider->value() != now.positions[i]) {
            const QSignalBlocker blocker(slider);
            slider->setValue(now.positions[i]);
        }
        if (now.valueChanges[i] == fApplied.valueChanges[i])
            continue;
        const QString text = QString::number(now.values[i]);
        if (row.valueHint)
            slider->setToolTip(QString::fromUtf8(row.valueHint) + text);
        (this->*row.label)->setText(QString::fromUtf8(row.prefix) + text);
    }
    btnSustain->setText(sustainOn ? QStringLiteral("Sustain Ein") : QStringLiteral("Sustain Aus"));
    btnLerne->setText(learnOn ? QStringLiteral("Lerne Ein") : QStringLiteral("Lerne Aus"));
}

// Runs before the switch changes; it always lets it change. State 0 is "Auto" (velocity from the
// input), state 1 "Manu" (the manual velocity for MIDI input too).
void TfrmPemo::slVelocityChanging(QObject* /*Sender*/, bool& /*CanChange*/)
{
    const bool manual = slVelocity->State() == 0;
    tbVelocity->setEnabled(manual);
    lblVelocity->setEnabled(manual);
    if (manual)
        tbVelocity->setFocus();
    ChangeShared([&] {
        ManualVelocity = manual;
        if (manual)
            ChannelSettings.Velocity = fShownState.positions[std::size_t(&VelocityRow - Controllers)];
    });
}

// Learn mode binds the next moved slider (or btnSustain) to the last controller received.
void TfrmPemo::btnLerneClick()
{
    ChangeShared([] { LearnOn = !LearnOn; });
}
