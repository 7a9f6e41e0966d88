// Keyboard view navigation, covers and mouse wheel (not built yet: the handlers do nothing).
#include "Pemo.h"

void TfrmPemo::lblC3Click() {}
void TfrmPemo::lblC4Click() {}
void TfrmPemo::lblC5Click() {}
void TfrmPemo::lblC6Click() {}
void TfrmPemo::lblC7Click() {}
void TfrmPemo::panelAOClick() {}
void TfrmPemo::panelAUClick() {}
void TfrmPemo::panelALClick() {}
void TfrmPemo::panelARClick() {}
void TfrmPemo::FormMouseWheel(const QPoint&) {}
