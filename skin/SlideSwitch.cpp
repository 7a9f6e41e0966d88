// TSlideSwitch: painting, the player's toggle by click and space key, veto and notification.
#include "skin/SlideSwitch.h"

#include "skin/Skin.h"

#include <QFontInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int TrackLeft = 3;
constexpr int TrackWidth = 13;
constexpr int CaptionGap = 3;   // between track and captions
constexpr int SmallestCaptionPixels = 7;

}   // namespace

TSlideSwitch::TSlideSwitch(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
}

void TSlideSwitch::setState(int state, bool notify)
{
    state = state != 0 ? 1 : 0;
    if (state == fState)
        return;
    if (notify) {
        bool canChange = true;
        emit changing(canChange);
        if (!canChange)
            return;
    }
    fState = state;
    update();
    if (notify)
        emit changed();
}

bool TSlideSwitch::Toggle()
{
    const int before = fState;
    setState(1 - fState, true);
    return fState != before;
}

void TSlideSwitch::setCaptions(const QString& caption0, const QString& caption1)
{
    fCaption0 = caption0;
    fCaption1 = caption1;
    update();
}

QSize TSlideSwitch::sizeHint() const
{
    return {40, 36};
}

void TSlideSwitch::paintEvent(QPaintEvent*)
{
    namespace colour = tarv::skin::colour;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool enabled = isEnabled();

    // The slot the knob runs in; its rim turns yellow while the switch has the focus.
    const QRectF track(TrackLeft + 0.5, 1.5, TrackWidth - 1, height() - 3);
    QPainterPath slot;
    slot.addRoundedRect(track, 3, 3);
    p.setPen(hasFocus() && enabled ? colour::Yellow : colour::PanelDark);
    p.setBrush(colour::Groove);
    p.drawPath(slot);

    // The knob: a ribbed silver cap in the upper or lower half.
    const int half = (height() - 4) / 2;
    const QRectF knob(TrackLeft + 1.5, (fState == 0 ? 2.5 : 2.5 + half), TrackWidth - 3, half - 1);
    QLinearGradient face(knob.topLeft(), knob.bottomLeft());
    if (enabled) {
        const int shade = fClick.isPressed() ? 20 : 0;
        face.setColorAt(0, QColor(0xf0 - shade, 0xf0 - shade, 0xf0 - shade));
        face.setColorAt(1, QColor(0x90 - shade, 0x90 - shade, 0x90 - shade));
    } else {
        face.setColorAt(0, QColor(0x70, 0x70, 0x70));
        face.setColorAt(1, QColor(0x48, 0x48, 0x48));
    }
    QPainterPath cap;
    cap.addRoundedRect(knob, 2, 2);
    p.setPen(QColor(0x08, 0x08, 0x08));
    p.setBrush(face);
    p.drawPath(cap);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(enabled ? QColor(0x50, 0x50, 0x50) : QColor(0x38, 0x38, 0x38));
    const int ribLeft = int(knob.left()) + 2, ribRight = int(knob.right()) - 2;
    const int ribMiddle = int(knob.center().y());
    for (int y = ribMiddle - 3; y <= ribMiddle + 3; y += 3)
        p.drawLine(ribLeft, y, ribRight, y);

    // The captions right of the slot, the one in force lit.
    const QRect captionArea(TrackLeft + TrackWidth + CaptionGap, 0, width() - (TrackLeft + TrackWidth + CaptionGap),
                            height());
    QFont captionFont = font();
    captionFont.setBold(true);
    for (int pixels = QFontInfo(captionFont).pixelSize(); pixels > SmallestCaptionPixels; --pixels) {
        const QFontMetrics fm(captionFont);
        if (fm.horizontalAdvance(fCaption0) <= captionArea.width()
            && fm.horizontalAdvance(fCaption1) <= captionArea.width())
            break;
        captionFont.setPixelSize(pixels - 1);
    }
    p.setFont(captionFont);
    const QRect top(captionArea.left(), 2, captionArea.width(), half);
    const QRect bottom(captionArea.left(), 2 + half, captionArea.width(), half);
    const QColor lit = enabled ? colour::Yellow : colour::TextDisabled;
    const QColor dim = enabled ? QColor(0x8a, 0x8a, 0x8a) : QColor(0x55, 0x55, 0x55);
    p.setPen(fState == 0 ? lit : dim);
    p.drawText(top, Qt::AlignLeft | Qt::AlignVCenter, fCaption0);
    p.setPen(fState == 1 ? lit : dim);
    p.drawText(bottom, Qt::AlignLeft | Qt::AlignVCenter, fCaption1);
}

void TSlideSwitch::mousePressEvent(QMouseEvent* event)
{
    if (!fClick.press(*event)) {
        QWidget::mousePressEvent(event);
        return;
    }
    update();
}

void TSlideSwitch::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !fClick.isPressed()) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const bool click = fClick.release(*event, *this);
    update();
    if (click)
        Toggle();
}

void TSlideSwitch::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        Toggle();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TSlideSwitch::focusInEvent(QFocusEvent* event)
{
    update();
    QWidget::focusInEvent(event);
}

void TSlideSwitch::focusOutEvent(QFocusEvent* event)
{
    update();
    QWidget::focusOutEvent(event);
}
