// Hint texts in German and English, the hint switch and the language button.
#include "HintTexts.h"
#include "Pemo.h"

#include "skin/Skin.h"

#include <QPushButton>
#include <QSlider>

bool HintLanguageGerman = true;

void TfrmPemo::ApplyHintTexts(bool german)
{
    for (const THintText& row : hintTexts()) {
        auto* control = findChild<QWidget*>(QLatin1String(row.control));
        Q_ASSERT(control);
        if (control)
            control->setToolTip(QString::fromUtf8(german ? row.german : row.english));
    }
    // The flag says which texts are in force, also for a window created after another.
    HintLanguageGerman = german;
    // These four sliders show their hints even while the window's hints are off: their own
    // switch, on and not inherited, goes with their texts from the window's creation on.
    for (QWidget* slider : {tbVelocity, tbPanorama, tbChorus, tbReverb})
        tarv::skin::setShowHint(slider, true);
}

void TfrmPemo::ApplyGermanHints()
{
    ApplyHintTexts(true);
}

void TfrmPemo::ApplyEnglishHints()
{
    ApplyHintTexts(false);
}

// Hint is a general setting: saved with them (on close and on a channel change).
void TfrmPemo::btnHintClick()
{
    const bool hint = fPlayer.ToggleHint();
    btnHint->setText(hint ? QStringLiteral("Hint Ein") : QStringLiteral("Hint Aus"));
    // The window's switch; every control that inherits it follows.
    tarv::skin::setShowHint(this, hint);
}

// The button names the language in force.
void TfrmPemo::btnSprClick()
{
    if (!HintLanguageGerman) {
        ApplyGermanHints();
        btnSpr->setText(QStringLiteral("Deu"));
    } else {
        ApplyEnglishHints();
        btnSpr->setText(QStringLiteral("Eng"));
    }
}
