// TWrapButton: a push button whose caption wraps onto a second line.
#pragma once

#include <QPushButton>

// The 35 x 36 buttons of the main window's right strip ("Klang Anz.", "Lerne Aus"): the
// caption is drawn centred and word-wrapped over the skin's button face, one pixel lower and
// further right while the button is down.
class TWrapButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override;
};
