// Playing from the PC keyboard (not built yet: the handlers do nothing).
#include "Pemo.h"

void TfrmPemo::FormKeyDown(int, bool) {}
void TfrmPemo::FormKeyUp(int, bool) {}
void TfrmPemo::bbtnPckeyClick() {}
void TfrmPemo::bbtnPckeyMouseLeave() {}
void TfrmPemo::ReleaseHeldPcKeys() {}
