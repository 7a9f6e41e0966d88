// TWrapButton: the face from the style, the caption wrapped on top of it.
#include "skin/WrapButton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

void TWrapButton::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    const int shift = isDown() ? 1 : 0;
    painter.drawText(rect().adjusted(1 + shift, 1 + shift, -1 + shift, -1 + shift), Qt::AlignCenter | Qt::TextWordWrap,
                     caption);
}
