// The controller sliders, their labels and hints, the sustain and learn captions, learning.
#include "Pemo.h"

#include "skin/ErrorDisplay.h"
#include "skin/SlideSwitch.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include <exception>
#include <iterator>

// The view half of a controller row: the player keeps the model half by the same index.
struct TControllerView {
    QSlider* TfrmPemo::*slider;   // null: the sustain button
    QLabel* TfrmPemo::*label;
    const char* prefix;      // the label's text before the value
    const char* valueHint;   // UTF-8; the slider's own hint shows this and the value
};

namespace {

constexpr TControllerView ControllerViews[] = {
    {&TfrmPemo::tbVolume, &TfrmPemo::lblVolume, "", "Kanallautstärke "},
    {&TfrmPemo::tbPanorama, &TfrmPemo::lblPanorama, "Panorama ", nullptr},
    {nullptr, nullptr, nullptr, nullptr},
    {&TfrmPemo::tbChorus, &TfrmPemo::lblChorus, "Chorus ", nullptr},
    {&TfrmPemo::tbReverb, &TfrmPemo::lblReverb, "Reverb ", nullptr},
    {&TfrmPemo::tbVelocity, &TfrmPemo::lblVelocity, "Velocity ", nullptr},
};
static_assert(std::size(ControllerViews) == ControllerCount);

}   // namespace

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

// The sliders' change handlers run on every change of a widget's position by the player. In
// learn mode they bind the learned controller number instead.
void TfrmPemo::SliderChange(TControllerRow row)
{
    const int position = (this->*ControllerViews[std::size_t(row)].slider)->value();
    try {
        Act([&] { fPlayer.MoveController(row, position); });
    } catch (const std::exception& e) {
        ReportMidiFailure(QString::fromUtf8(e.what()));
    }
}

void TfrmPemo::tbVolumeChange()
{
    SliderChange(TControllerRow::Volume);
}

void TfrmPemo::tbPanoramaChange()
{
    SliderChange(TControllerRow::Panorama);
}

void TfrmPemo::tbChorusChange()
{
    SliderChange(TControllerRow::Chorus);
}

void TfrmPemo::tbReverbChange()
{
    SliderChange(TControllerRow::Reverb);
}

// The velocity only takes effect on the next note: nothing is sent.
void TfrmPemo::tbVelocityChange()
{
    SliderChange(TControllerRow::Velocity);
}

void TfrmPemo::RefreshControllers()
{
    const std::vector<std::string> failures = fPlayer.FollowChannelSettings();
    SyncWidgets();
    for (const std::string& failure : failures)
        ReportMidiFailure(QString::fromStdString(failure));
}

void TfrmPemo::TakeSliderPositions()
{
    std::array<std::uint8_t, ControllerCount> positions{};
    for (std::size_t i = 0; i < ControllerCount; ++i) {
        if (ControllerViews[i].slider)
            positions[i] = std::uint8_t((this->*ControllerViews[i].slider)->value());
    }
    fPlayer.TakeControllerPositions(positions);
    fApplied.positions = positions;
}

// The slider positions (set without their signals: the player has done the change handler's
// work already), the labels and the volume hint where a value was set, and the two captions.
void TfrmPemo::ShowControllers(const TDisplay& now)
{
    for (std::size_t i = 0; i < ControllerCount; ++i) {
        const TControllerView& view = ControllerViews[i];
        if (!view.slider)
            continue;
        QSlider* slider = this->*view.slider;
        if (slider->value() != now.positions[i]) {
            const QSignalBlocker blocker(slider);
            slider->setValue(now.positions[i]);
        }
        if (now.valueChanges[i] == fApplied.valueChanges[i])
            continue;
        const QString text = QString::number(now.values[i]);
        if (view.valueHint)
            slider->setToolTip(QString::fromUtf8(view.valueHint) + text);
        (this->*view.label)->setText(QString::fromUtf8(view.prefix) + text);
    }
    btnSustain->setText(now.sustainOn ? QStringLiteral("Sustain Ein") : QStringLiteral("Sustain Aus"));
    btnLerne->setText(now.learnOn ? QStringLiteral("Lerne Ein") : QStringLiteral("Lerne Aus"));
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
    Act([&] { fPlayer.SetManualVelocity(manual); });
}

// Learn mode binds the next moved slider (or btnSustain) to the last controller received.
void TfrmPemo::btnLerneClick()
{
    Act([this] { fPlayer.ToggleLearning(); });
}
