// TModusComboBox: the closing of the list as a signal; its list made when it first opens.
#include "skin/ModusComboBox.h"

#include <QAbstractItemView>
#include <QEvent>

void TModusComboBox::showPopup()
{
    TakeHeldFont();
    QComboBox::showPopup();
}

void TModusComboBox::hidePopup()
{
    QComboBox::hidePopup();
    emit closedUp();
}

// The box's size follows its font: a font held back is taken first.
QSize TModusComboBox::sizeHint() const
{
    TakeHeldFont();
    return QComboBox::sizeHint();
}

QSize TModusComboBox::minimumSizeHint() const
{
    TakeHeldFont();
    return QComboBox::minimumSizeHint();
}

// On a change of font a combo box makes its list if it has none yet, gives the list the font
// and lays it out. The style sheet gives this box its bold face when the window first shows,
// with the box under its cover: that would cost the window's first picture the list and a font
// of their own. Until the list is needed, only the box takes the font.
void TModusComboBox::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange && !findChild<QAbstractItemView*>()) {
        fFontHeld = true;
        QWidget::changeEvent(event);
        return;
    }
    QComboBox::changeEvent(event);
}

void TModusComboBox::TakeHeldFont() const
{
    if (!fFontHeld)
        return;
    fFontHeld = false;
    QEvent fontChange(QEvent::FontChange);
    // The box itself is never const: only its size hints are.
    const_cast<TModusComboBox*>(this)->QComboBox::changeEvent(&fontChange);
}
