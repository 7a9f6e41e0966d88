// MIDI input, controller sliders and learning (not built yet: the handlers do nothing).
#include "Pemo.h"

void TfrmPemo::DoMidiInData(int, std::uint8_t, std::uint8_t, std::uint8_t) {}
void TfrmPemo::HandleMidiInData(int, std::uint8_t, std::uint8_t, std::uint8_t) {}
void TfrmPemo::tbVolumeChange() {}
void TfrmPemo::tbPanoramaChange() {}
void TfrmPemo::tbChorusChange() {}
void TfrmPemo::tbReverbChange() {}
void TfrmPemo::tbVelocityChange() {}
void TfrmPemo::slVelocityChanging(QObject*, bool&) {}
void TfrmPemo::btnLerneClick() {}
