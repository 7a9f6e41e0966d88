// MIDI input (notes, bound controllers, pass-through, the port dialog's monitor), the controller
// sliders and learning.
#include "Pemo.h"

#include "Application.h"
#include "dialogs/portWahl.h"
#include "midi/Midi.h"
#include "midi/MidiSenders.h"
#include "settings/PlayerState.h"
#include "settings/Settings.h"
#include "skin/SlideSwitch.h"
#include "widgets/Klavier.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>

#include <exception>
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

}  // namespace

// One controller that an external box can drive: a slider, or the sustain button (no slider).
struct TControllerRow {
    QSlider* TfrmPemo::*slider;
    QLabel* TfrmPemo::*label;
    const char* prefix;                        // the label's text before the value
    std::uint8_t TChannelSettings::*value;     // the channel setting the slider shows
    std::uint8_t TGeneralSettings::*number;    // the bound external controller number
    bool inverted;                             // 0 at the top: the position is 127 - value
    void (*send)(std::uint8_t channel, std::uint8_t value);   // on the left channel; null: nothing
    const char* valueHint;                     // UTF-8; the slider's own hint shows this and the value
};

namespace {

// In the order in which incoming controllers are matched: with two equal numbers the first wins.
constexpr TControllerRow Controllers[] = {
    {&TfrmPemo::tbVolume, &TfrmPemo::lblVolume, "", &TChannelSettings::Volume, &TGeneralSettings::Volumecontroller,
     true, &SendVolume, "Kanallautstärke "},
    {&TfrmPemo::tbPanorama, &TfrmPemo::lblPanorama, "Panorama ", &TChannelSettings::Panorama,
     &TGeneralSettings::Panoramacontroller, false, &SendPanorama, nullptr},
    {nullptr, nullptr, nullptr, &TChannelSettings::Sustain, &TGeneralSettings::Sustaincontroller, false, nullptr, nullptr},
    {&TfrmPemo::tbChorus, &TfrmPemo::lblChorus, "Chorus ", &TChannelSettings::Chorus, &TGeneralSettings::Choruscontroller,
     false, &SendChorus, nullptr},
    {&TfrmPemo::tbReverb, &TfrmPemo::lblReverb, "Reverb ", &TChannelSettings::Reverb, &TGeneralSettings::Reverbcontroller,
     false, &SendReverb, nullptr},
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

}  // namespace

// Runs on the MIDI service thread. The lock orders the messages of all input ports; the posted
// calls keep that order on the UI thread. Never waits for the UI thread, never lets anything out.
void TfrmPemo::DoMidiInData(int aDeviceIndex, std::uint8_t aStatus, std::uint8_t aData1, std::uint8_t aData2)
{
    if (aStatus == kActiveSensing)
        return;
    try {
        std::lock_guard<std::mutex> lock(*fCriticalSection);
        QMetaObject::invokeMethod(
            this, [this, aDeviceIndex, aStatus, aData1, aData2] { HandleMidiInData(aDeviceIndex, aStatus, aData1, aData2); },
            Qt::QueuedConnection);
    } catch (...) {
        // Nothing can be reported from this thread; the message is lost (out of memory).
    }
}

// Runs on the UI thread, one call per incoming message, in the order of arrival.
void TfrmPemo::HandleMidiInData(int aDeviceIndex, std::uint8_t aStatus, std::uint8_t aData1, std::uint8_t aData2)
{
    if (aStatus == kActiveSensing || !isWellFormed(aStatus, aData1, aData2))
        return;

    // A modal error box runs a nested event loop in which later messages are handled: keep the
    // outer message's bookkeeping apart.
    const bool outerHandling = std::exchange(fHandlingMidiIn, true);
    const bool outerFailed = std::exchange(fMidiInFailed, false);
    try {
        if (PortDialogShowing)
            MonitorMidiIn(aDeviceIndex, aStatus, aData1, aData2);
        else
            PlayMidiIn(aStatus, aData1, aData2);
    } catch (const std::exception& e) {
        ReportMidiFailure(QString::fromUtf8(e.what()));
    } catch (...) {
        ReportMidiFailure(QStringLiteral("Unbekannter Fehler"));
    }
    if (!fMidiInFailed)
        fLastMidiInError.clear();
    fHandlingMidiIn = outerHandling;
    fMidiInFailed = outerFailed;
}

// While the port dialog shows: the message goes out unchanged once per ticked output entry, and
// the dialog's status bar shows it.
void TfrmPemo::MonitorMidiIn(int aDeviceIndex, std::uint8_t aStatus, std::uint8_t aData1, std::uint8_t aData2)
{
    if (frmPortWahl == nullptr)
        return;
    std::exception_ptr failure;
    bool echoed = false;
    try {
        QListWidget* outputs = frmPortWahl->clbOutputDevices;
        for (int i = outputs->count() - 1; i >= 0; --i) {
            if (outputs->item(i)->checkState() == Qt::Checked) {
                MidiOutput().Send(CurrentOutputPort, aStatus, aData1, aData2);
                echoed = true;
            }
        }
    } catch (...) {
        // The monitor line shows the message all the same.
        failure = std::current_exception();
    }
    // An echoed note sounds like a routed one: its Note Off goes where the echo went, also after
    // the dialog has closed.
    if (echoed)
        fRouter.Echoed(aStatus, aData1, aData2);
    const std::vector<std::string> names = MidiInput().Devices();
    const QString name = aDeviceIndex >= 0 && std::size_t(aDeviceIndex) < names.size()
                             ? QString::fromStdString(names[std::size_t(aDeviceIndex)])
                             : QString();
    frmPortWahl->StatusBar1->showMessage(
        QString::asprintf("%s: Statusbyte %.2X, Parameter 1 %.2X, Parameter 2 %.2X", qUtf8Printable(name),
                          unsigned(aStatus), unsigned(aData1), unsigned(aData2)));
    if (failure)
        std::rethrow_exception(failure);
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
                btnSustainClick();
                return;
            }
            // A moved slider runs its change handler only if its position really changes.
            (this->*row.slider)->setValue(SliderPosition(row, aData2));
            return;
        }
    }
    if (kind == 0x90 && aData2 > 0) {
        Pemo->PressNote(aData1, ManualVelocity ? ChannelSettings.Velocity : aData2, true);
        return;
    }
    if (kind == 0x90 || kind == 0x80) {
        Pemo->ReleaseNote(aData1, kind == 0x80 ? aData2 : 0, true);
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

// Shows a failure of the MIDI output met by input handling or a slider. While a message box is
// up no second one opens; a failure that input handling meets again and again (an output that has
// gone away while a keyboard keeps playing) is shown once, until a message goes through.
void TfrmPemo::ReportMidiFailure(const QString& text)
{
    if (fHandlingMidiIn) {
        fMidiInFailed = true;
        if (text == fLastMidiInError)
            return;
        fLastMidiInError = text;
    }
    if (fShowingMidiError)
        return;
    fShowingMidiError = true;
    try {
        tarv::ShowError(text);
    } catch (...) {
        // The display itself failed; there is nowhere else to show it.
    }
    fShowingMidiError = false;
}

void TfrmPemo::EndLearning()
{
    LearnOn = false;
    btnLerne->setText(QStringLiteral("Lerne Aus"));
}

// The sliders' change handlers run on every real change of a position (player, MIDI input,
// RefreshControls). In learn mode they bind the learned controller number instead.
void TfrmPemo::SliderChange(const TControllerRow& row)
{
    if (LearnOn) {
        GeneralSettings.*row.number = LearnedController;
        EndLearning();
        return;
    }
    QSlider* slider = this->*row.slider;
    const auto value = std::uint8_t(SliderPosition(row, slider->value()));
    ChannelSettings.*row.value = value;
    const QString text = QString::number(value);
    if (row.valueHint)
        slider->setToolTip(QString::fromUtf8(row.valueHint) + text);
    (this->*row.label)->setText(QString::fromUtf8(row.prefix) + text);
    if (!row.send)
        return;
    try {
        row.send(LeftChannel, value);
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
// takes the learned number. A slider whose position really changes runs its change handler
// (which sends); the sustain button only shows the stored state, nothing is sent.
void TfrmPemo::RefreshControllers()
{
    const auto refresh = [this](const TControllerRow& row) {
        const std::uint8_t value = ChannelSettings.*row.value;
        if (row.slider) {
            (this->*row.slider)->setValue(SliderPosition(row, value));
            return;
        }
        SustainOn = value >= 64;
        btnSustain->setText(SustainOn ? QStringLiteral("Sustain Ein") : QStringLiteral("Sustain Aus"));
    };
    refresh(VelocityRow);
    for (const TControllerRow& row : Controllers) {
        if (&row != &VelocityRow)
            refresh(row);
    }
}

// Runs before the switch changes; it always lets it change. State 0 is "Auto" (velocity from the
// input), state 1 "Manu" (the manual velocity for MIDI input too).
void TfrmPemo::slVelocityChanging(QObject* /*Sender*/, bool& /*CanChange*/)
{
    if (slVelocity->State() == 0) {
        tbVelocity->setEnabled(true);
        lblVelocity->setEnabled(true);
        tbVelocity->setFocus();
        ManualVelocity = true;
        ChannelSettings.Velocity = std::uint8_t(tbVelocity->value());
    } else {
        tbVelocity->setEnabled(false);
        lblVelocity->setEnabled(false);
        ManualVelocity = false;
    }
}

// Learn mode binds the next moved slider (or btnSustain) to the last controller received.
void TfrmPemo::btnLerneClick()
{
    LearnOn = !LearnOn;
    btnLerne->setText(LearnOn ? QStringLiteral("Lerne Ein") : QStringLiteral("Lerne Aus"));
}
