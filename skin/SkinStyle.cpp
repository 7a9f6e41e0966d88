// The skin's style: sliders with tick marks, no focus rectangles, captions fitted to small buttons.
#include "skin/SkinStyle.h"

#include "skin/Skin.h"

#include <QFontInfo>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOptionSlider>

#include <algorithm>

namespace tarv::skin {

namespace {

constexpr int HandleLength = 9;   // along the slider, pixels
constexpr int MaxHandleThickness = 16;
constexpr int TickSpace = 4;   // room for tick marks on each side that has them
constexpr int TrackThickness = 4;
constexpr int SmallestFontPixels = 7;

struct SliderGeometry {
    QRect content;   // the area across which the handle runs (full length of the slider)
    QRect handle;
};

SliderGeometry sliderGeometry(const QStyleOptionSlider& o)
{
    const bool horizontal = o.orientation == Qt::Horizontal;
    const QRect r = o.rect;
    const int length = horizontal ? r.width() : r.height();
    const int across = horizontal ? r.height() : r.width();
    const int before = (o.tickPosition & QSlider::TicksAbove) ? TickSpace : 0;   // above = left
    const int after = (o.tickPosition & QSlider::TicksBelow) ? TickSpace : 0;    // below = right
    const int contentAcross = std::max(1, across - before - after);
    const int thickness = std::clamp(contentAcross - 2, 1, MaxHandleThickness);
    const int handleLen = std::min(HandleLength, length);
    const int pos =
        QStyle::sliderPositionFromValue(o.minimum, o.maximum, o.sliderPosition, length - handleLen, o.upsideDown);
    const int handleAcross = before + (contentAcross - thickness) / 2;

    SliderGeometry g;
    if (horizontal) {
        g.content = QRect(r.x(), r.y() + before, r.width(), contentAcross);
        g.handle = QRect(r.x() + pos, r.y() + handleAcross, handleLen, thickness);
    } else {
        g.content = QRect(r.x() + before, r.y(), contentAcross, r.height());
        g.handle = QRect(r.x() + handleAcross, r.y() + pos, thickness, handleLen);
    }
    return g;
}

int tickInterval(const QStyleOptionSlider& o, int span)
{
    int interval = o.tickInterval;
    if (interval <= 0) {
        interval = o.singleStep;
        if (QStyle::sliderPositionFromValue(o.minimum, o.maximum, interval, span)
                - QStyle::sliderPositionFromValue(o.minimum, o.maximum, 0, span)
            < 3)
            interval = o.pageStep;
    }
    return std::max(1, interval);
}

void drawSlider(const QStyleOptionSlider& o, QPainter* p)
{
    const bool horizontal = o.orientation == Qt::Horizontal;
    const bool enabled = o.state & QStyle::State_Enabled;
    const SliderGeometry g = sliderGeometry(o);
    const QRect r = o.rect;
    const int length = horizontal ? r.width() : r.height();
    const int handleLen = horizontal ? g.handle.width() : g.handle.height();
    const int span = length - handleLen;

    p->save();
    p->setRenderHint(QPainter::Antialiasing, false);

    // The track: a dark slot along the travel of the handle's centre.
    const QPoint centre = g.handle.center();
    QRect track;
    if (horizontal)
        track = QRect(r.x() + handleLen / 2, centre.y() - TrackThickness / 2 + 1, span + 1, TrackThickness);
    else
        track = QRect(centre.x() - TrackThickness / 2 + 1, r.y() + handleLen / 2, TrackThickness, span + 1);
    p->fillRect(track, colour::Groove);
    p->setPen(colour::PanelLight);
    if (horizontal)
        p->drawLine(track.bottomLeft() + QPoint(0, 1), track.bottomRight() + QPoint(0, 1));
    else
        p->drawLine(track.topRight() + QPoint(1, 0), track.bottomRight() + QPoint(1, 0));

    // The value bar: from the left end, or from the bottom of a vertical slider (a fader's zero).
    QRect bar = track.adjusted(1, 1, -1, -1);
    if (horizontal)
        bar.setRight(centre.x());
    else
        bar.setTop(centre.y());
    if (bar.isValid())
        p->fillRect(bar, enabled ? colour::Yellow.darker(135) : QColor(0x55, 0x55, 0x55));

    // Tick marks, at every interval and at the maximum.
    if (o.tickPosition != QSlider::NoTicks) {
        p->setPen(enabled ? QColor(0x9a, 0x9a, 0x9a) : QColor(0x5a, 0x5a, 0x5a));
        const int interval = tickInterval(o, span);
        auto tickAt = [&](int value) {
            const int a =
                QStyle::sliderPositionFromValue(o.minimum, o.maximum, value, span, o.upsideDown) + handleLen / 2;
            if (horizontal) {
                const int x = r.x() + a;
                if (o.tickPosition & QSlider::TicksAbove)
                    p->drawLine(x, r.top(), x, r.top() + TickSpace - 2);
                if (o.tickPosition & QSlider::TicksBelow)
                    p->drawLine(x, r.bottom() - TickSpace + 2, x, r.bottom());
            } else {
                const int y = r.y() + a;
                if (o.tickPosition & QSlider::TicksAbove)
                    p->drawLine(r.left(), y, r.left() + TickSpace - 2, y);
                if (o.tickPosition & QSlider::TicksBelow)
                    p->drawLine(r.right() - TickSpace + 2, y, r.right(), y);
            }
        };
        for (qint64 v = o.minimum; v <= o.maximum; v += interval)
            tickAt(int(v));
        if ((o.maximum - o.minimum) % interval != 0)
            tickAt(o.maximum);
    }

    // The handle: a fader cap with an index line, the line yellow while the slider has the focus.
    const QRect h = g.handle;
    QLinearGradient face(h.topLeft(), horizontal ? h.bottomLeft() : h.topRight());
    if (enabled) {
        const bool hot = (o.state & QStyle::State_MouseOver) && (o.activeSubControls & QStyle::SC_SliderHandle);
        face.setColorAt(0, hot ? QColor(0xff, 0xff, 0xff) : QColor(0xec, 0xec, 0xec));
        face.setColorAt(1, hot ? QColor(0xa8, 0xa8, 0xa8) : QColor(0x8c, 0x8c, 0x8c));
    } else {
        face.setColorAt(0, QColor(0x70, 0x70, 0x70));
        face.setColorAt(1, QColor(0x4a, 0x4a, 0x4a));
    }
    p->fillRect(h, face);
    p->setPen(QColor(0x0a, 0x0a, 0x0a));
    p->drawRect(h.adjusted(0, 0, -1, -1));
    const QColor index = (o.state & QStyle::State_HasFocus) && enabled ? colour::Yellow : QColor(0x1a, 0x1a, 0x1a);
    if (horizontal)
        p->fillRect(QRect(h.center().x(), h.top() + 2, 1, h.height() - 4), index);
    else
        p->fillRect(QRect(h.left() + 2, h.center().y(), h.width() - 4, 1), index);
    p->restore();
}

QString withoutMnemonic(QString text)
{
    text.replace(QLatin1String("&&"), QLatin1String("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text;
}

}   // namespace

TSkinStyle::TSkinStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

void TSkinStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                                    const QWidget* widget) const
{
    if (control == CC_Slider) {
        if (const auto* slider = qstyleoption_cast<const QStyleOptionSlider*>(option)) {
            drawSlider(*slider, painter);
            return;
        }
    }
    QProxyStyle::drawComplexControl(control, option, painter, widget);
}

QRect TSkinStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                                 const QWidget* widget) const
{
    if (control == CC_Slider) {
        if (const auto* slider = qstyleoption_cast<const QStyleOptionSlider*>(option)) {
            const SliderGeometry g = sliderGeometry(*slider);
            switch (sub) {
            case SC_SliderGroove:
                return g.content;
            case SC_SliderHandle:
                return g.handle;
            case SC_SliderTickmarks:
                return slider->rect;
            default:
                break;
            }
        }
    }
    return QProxyStyle::subControlRect(control, option, sub, widget);
}

int TSkinStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const
{
    switch (metric) {
    case PM_SliderLength:
        return HandleLength;
    case PM_SliderThickness:
    case PM_SliderControlThickness:
        return MaxHandleThickness;
    case PM_SliderTickmarkOffset:
        return TickSpace;
    default:
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
}

int TSkinStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                          QStyleHintReturn* returnData) const
{
    switch (hint) {
    case SH_ToolTip_WakeUpDelay:
        return 500;   // milliseconds the pointer rests before a hint appears
    default:
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
}

void TSkinStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                               const QWidget* widget) const
{
    if (element == PE_FrameFocusRect)
        return;   // the skin marks focus in the controls themselves
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void TSkinStyle::drawItemText(QPainter* painter, const QRect& rect, int flags, const QPalette& palette, bool enabled,
                              const QString& text, QPalette::ColorRole textRole) const
{
    const QFontMetrics fm(painter->font());
    const QString shown = withoutMnemonic(text);
    const bool wraps = flags & (Qt::TextWordWrap | Qt::TextWrapAnywhere);
    if (text.isEmpty() || wraps || shown.contains(QLatin1Char('\n')) || rect.width() <= 0
        || fm.horizontalAdvance(shown) <= rect.width()) {
        QProxyStyle::drawItemText(painter, rect, flags, palette, enabled, text, textRole);
        return;
    }

    // Too wide for one line: break it at its blanks when the rectangle has room for the lines,
    // else take smaller type until it fits.
    if (shown.contains(QLatin1Char(' ')) && rect.height() >= 2 * fm.height()) {
        const QRect need = fm.boundingRect(rect, flags | Qt::TextWordWrap, shown);
        if (need.width() <= rect.width() && need.height() <= rect.height()) {
            QProxyStyle::drawItemText(painter, rect, flags | Qt::TextWordWrap, palette, enabled, text, textRole);
            return;
        }
    }
    QFont font = painter->font();
    int pixels = QFontInfo(font).pixelSize();
    while (pixels > SmallestFontPixels) {
        font.setPixelSize(--pixels);
        if (QFontMetrics(font).horizontalAdvance(shown) <= rect.width())
            break;
    }
    painter->save();
    painter->setFont(font);
    QProxyStyle::drawItemText(painter, rect, flags, palette, enabled, text, textRole);
    painter->restore();
}

}   // namespace tarv::skin
