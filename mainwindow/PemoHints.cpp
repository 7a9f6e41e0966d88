// Hint texts in German and English (not built yet: the handlers do nothing).
#include "Pemo.h"

bool HintLanguageGerman = true;

void TfrmPemo::ApplyGermanHints() {}
void TfrmPemo::ApplyEnglishHints() {}
void TfrmPemo::btnHintClick() {}
void TfrmPemo::btnSprClick() {}
