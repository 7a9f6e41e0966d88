// Clicks: the press-then-release-inside rule and the panel and label that report them.
#include "skin/Click.h"

#include "skin/Skin.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

bool TClickTracker::press(const QMouseEvent& event)
{
    if (event.button() != Qt::LeftButton)
        return false;
    fPressed = true;
    return true;
}

bool TClickTracker::release(const QMouseEvent& event, const QWidget& control)
{
    if (event.button() != Qt::LeftButton || !fPressed)
        return false;
    fPressed = false;
    return control.rect().contains(event.position().toPoint());
}

TClickPanel::TClickPanel(QWidget* parent) : QFrame(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

// Qt leaves the background of an opaque widget to it: the window colour, then the look of the
// style sheet (the face and its frame), then the grille.
void TClickPanel::paintEvent(QPaintEvent* event)
{
    {
        QPainter p(this);
        p.fillRect(rect(), palette().window());
        QStyleOption option;
        option.initFrom(this);
        style()->drawPrimitive(QStyle::PE_Widget, &option, &p, this);
        // The grille fills the face inside the style sheet's frame of one pixel.
        p.drawTiledPixmap(rect().adjusted(1, 1, -1, -1), tarv::skin::grillePicture());
    }
    QFrame::paintEvent(event);
}

void TClickPanel::mousePressEvent(QMouseEvent* event)
{
    fClick.press(*event);
    event->accept();
}

void TClickPanel::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    if (fClick.release(*event, *this))
        emit clicked();
}

void TClickLabel::mousePressEvent(QMouseEvent* event)
{
    if (fClick.press(*event)) {
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

void TClickLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && fClick.isPressed()) {
        event->accept();
        if (fClick.release(*event, *this))
            emit clicked();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}
