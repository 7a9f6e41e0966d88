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

#include <cstdlib>
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
    try {
        QListWidget* outputs = frmPortWahl->clbOutputDevices;
        for (int i = outputs->count() - 1; i >= 0; --i) {
            if (outputs->item(i)->checkState() == Qt::Checked)
                MidiOutput().Send(CurrentOutputPort, aStatus, aData1, aData2);
        }
    } catch (...) {
        // The monitor line shows the message all the same.
        failure = std::current_exception();
    }
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
    // A moved slider runs its change handler only if its position really changes.
    if (isController(aStatus)) {
        const TGeneralSettings& numbers = GeneralSettings;
        if (LearnOn) {
            LearnedController = aData1;
            return;
        }
        if (aData1 == numbers.Volumecontroller) {
            tbVolume->setValue(127 - aData2);
            return;
        }
        if (aData1 == numbers.Panoramacontroller) {
            tbPanorama->setValue(aData2);
            return;
        }
        // A pedal value that leaves sustain as it is gives way to the rules below.
        if (aData1 == numbers.Sustaincontroller && (SustainOn ? aData2 < 64 : aData2 >= 64)) {
            btnSustainClick();
            return;
        }
        if (aData1 == numbers.Choruscontroller) {
            tbChorus->setValue(aData2);
            return;
        }
        if (aData1 == numbers.Reverbcontroller) {
            tbReverb->setValue(aData2);
            return;
        }
        if (aData1 == numbers.Velocitycontroller) {
            tbVelocity->setValue(aData2);
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
        MidiOutput().Send(CurrentOutputPort, std::uint8_t(kind | (LeftChannel & 0x0F)), aData1, aData2);
        MidiOutput().Send(CurrentOutputPort, std::uint8_t(kind | (RightChannel & 0x0F)), aData1, aData2);
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
void TfrmPemo::tbVolumeChange()
{
    if (LearnOn) {
        GeneralSettings.Volumecontroller = LearnedController;
        EndLearning();
        return;
    }
    // The slider has 0 at the top: the top is loudest.
    ChannelSettings.Volume = std::uint8_t(std::abs(tbVolume->value() - 127));
    const QString value = QString::number(ChannelSettings.Volume);
    tbVolume->setToolTip(QStringLiteral("Kanallautstärke ") + value);
    lblVolume->setText(value);
    try {
        SendVolume(LeftChannel, ChannelSettings.Volume);
    } catch (const std::exception& e) {
        ReportMidiFailure(QString::fromUtf8(e.what()));
    }
}

void TfrmPemo::tbPanoramaChange()
{
    if (LearnOn) {
        GeneralSettings.Panoramacontroller = LearnedController;
        EndLearning();
        return;
    }
    ChannelSettings.Panorama = std::uint8_t(tbPanorama->value());
    lblPanorama->setText(QStringLiteral("Panorama ") + QString::number(ChannelSettings.Panorama));
    try {
        SendPanorama(LeftChannel, ChannelSettings.Panorama);
    } catch (const std::exception& e) {
        ReportMidiFailure(QString::fromUtf8(e.what()));
    }
}

void TfrmPemo::tbChorusChange()
{
    if (LearnOn) {
        GeneralSettings.Choruscontroller = LearnedController;
        EndLearning();
        return;
    }
    ChannelSettings.Chorus = std::uint8_t(tbChorus->value());
    lblChorus->setText(QStringLiteral("Chorus ") + QString::number(ChannelSettings.Chorus));
    try {
        SendChorus(LeftChannel, ChannelSettings.Chorus);
    } catch (const std::exception& e) {
        ReportMidiFailure(QString::fromUtf8(e.what()));
    }
}

void TfrmPemo::tbReverbChange()
{
    if (LearnOn) {
        GeneralSettings.Reverbcontroller = LearnedController;
        EndLearning();
        return;
    }
    ChannelSettings.Reverb = std::uint8_t(tbReverb->value());
    lblReverb->setText(QStringLiteral("Reverb ") + QString::number(ChannelSettings.Reverb));
    try {
        SendReverb(LeftChannel, ChannelSettings.Reverb);
    } catch (const std::exception& e) {
        ReportMidiFailure(QString::fromUtf8(e.what()));
    }
}

// The velocity only takes effect on the next note: nothing is sent.
void TfrmPemo::tbVelocityChange()
{
    if (LearnOn) {
        GeneralSettings.Velocitycontroller = LearnedController;
        EndLearning();
        return;
    }
    ChannelSettings.Velocity = std::uint8_t(tbVelocity->value());
    lblVelocity->setText(QStringLiteral("Velocity ") + QString::number(ChannelSettings.Velocity));
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
