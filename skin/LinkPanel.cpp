// TLinkPanel: a label that acts as a link button.
#include "skin/LinkPanel.h"

#include <QMouseEvent>

TLinkPanel::TLinkPanel(QWidget* parent) : TLinkPanel(QString(), parent)
{
}

TLinkPanel::TLinkPanel(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    setAlignment(Qt::AlignCenter);
    setTextFormat(Qt::PlainText);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
}

void TLinkPanel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        fPressed = true;
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

void TLinkPanel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && fPressed) {
        fPressed = false;
        event->accept();
        if (rect().contains(event->position().toPoint()))
            emit clicked();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}
