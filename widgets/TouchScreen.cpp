// The touch screen's points: fingers for the widgets that play them, taps for the other controls.
#include "widgets/TouchScreen.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QTouchEvent>
#include <QWindow>

#include <array>
#include <utility>

namespace {

QWidget* widgetOf(const QWindow& window)
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->windowHandle() == &window)
            return widget;
    return nullptr;
}

}   // namespace

bool isTouchScreen(const QPointingDevice* device)
{
    return device && device->type() == QInputDevice::DeviceType::TouchScreen;
}

void TTouchScreen::Install()
{
    static QPointer<TTouchScreen> installed;
    if (installed || !qApp)
        return;
    installed = new TTouchScreen(qApp);
    qApp->installEventFilter(installed);
}

bool TTouchScreen::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel: {
        const auto* window = qobject_cast<QWindow*>(watched);
        const auto& touch = *static_cast<QTouchEvent*>(event);
        if (window && isTouchScreen(touch.pointingDevice()))
            Touch(*window, touch);
        return false;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease: {
        const auto& mouse = *static_cast<QMouseEvent*>(event);
        return qobject_cast<QWindow*>(watched) && isTouchScreen(mouse.pointingDevice())
            && IsPointAt(mouse.globalPosition());
    }
    default:
        return false;
    }
}

bool TTouchScreen::FingersDown() const
{
    for (const auto& [id, point] : fPoints)
        if (!point.tap && !point.lifted)
            return true;
    return false;
}

bool TTouchScreen::IsPointAt(const QPointF& global) const
{
    for (const auto& [id, point] : fPoints)
        if (point.global == global)
            return true;
    return false;
}

void TTouchScreen::Touch(const QWindow& window, const QTouchEvent& event)
{
    // Qt makes its mouse of a point right after the point's touch event: a tap lifted before this
    // event has no more to come.
    std::erase_if(fPoints, [](const auto& point) { return point.second.lifted; });
    const QPointingDevice* device = event.pointingDevice();
    if (event.type() == QEvent::TouchCancel) {
        // Taps end as Qt ends the mouse it made of a cancelled point: released where they were.
        forEachEvenIfOneFails(std::exchange(fPoints, {}), [device](const std::pair<const int, TPoint>& entry) {
            const TPoint& point = entry.second;
            if (point.tap)
                Send(point, QEvent::MouseButtonRelease, device);
            else if (auto* player = dynamic_cast<TFingerPlayer*>(point.widget.data()))
                player->FingersCancelled();
        });
        return;
    }
    // Two passes: the points land first, so that a tap landing with a finger in one event counts
    // it. Every point is taken also when a handler fails.
    QWidget* top = widgetOf(window);
    forEachEvenIfOneFails(std::array{true, false}, [&](bool landing) {
        forEachEvenIfOneFails(event.points(), [&](const QEventPoint& point) {
            if (!landing)
                Take(point, device);
            else if (top && point.state() == QEventPoint::State::Pressed)
                Land(*top, point, device);
        });
    });
}

// A finger plays on; a tap moves or lifts (it landed in Land). A lifted point is kept until Qt's
// own mouse events for it have passed.
void TTouchScreen::Take(const QEventPoint& point, const QPointingDevice* device)
{
    const auto found = fPoints.find(point.id());
    if (found == fPoints.end() || found->second.lifted || point.state() == QEventPoint::State::Stationary)
        return;
    const bool released = point.state() == QEventPoint::State::Released;
    TPoint& down = found->second;
    down.global = point.globalPosition();
    down.lifted = released;
    if (!down.tap)
        Finger(down, point.id(), point.state(), point.globalPosition());
    else if (point.state() != QEventPoint::State::Pressed)
        Send(down, released ? QEvent::MouseButtonRelease : QEvent::MouseMove, device);
}

// A point lands: on a widget that takes touch it is a finger (also a point whose lift was never
// seen lands anew); elsewhere it is a tap while fingers are down, else Qt's.
void TTouchScreen::Land(QWidget& top, const QEventPoint& point, const QPointingDevice* device)
{
    const auto before = fPoints.find(point.id());
    if (before != fPoints.end()) {
        const TPoint old = before->second;
        fPoints.erase(before);
        if (old.tap)
            Send(old, QEvent::MouseButtonRelease, device);
        else
            Finger(old, point.id(), QEventPoint::State::Released, old.global);
    }
    QWidget* under = top.childAt(top.mapFromGlobal(point.globalPosition().toPoint()));
    if (!under)
        under = &top;
    for (QWidget* widget = under; widget; widget = widget->isWindow() ? nullptr : widget->parentWidget()) {
        if (widget->testAttribute(Qt::WA_AcceptTouchEvents)) {
            fPoints[point.id()] = {widget, false, point.globalPosition()};
            return;
        }
    }
    if (!FingersDown())
        return;
    const TPoint& tap = fPoints[point.id()] = {under, true, point.globalPosition()};
    Send(tap, QEvent::MouseButtonPress, device);
}

void TTouchScreen::Finger(const TPoint& finger, int id, QEventPoint::State state, const QPointF& global)
{
    if (auto* player = dynamic_cast<TFingerPlayer*>(finger.widget.data()))
        player->FingerEvent(id, state, finger.widget->mapFromGlobal(global));
}

void TTouchScreen::Send(const TPoint& tap, QEvent::Type type, const QPointingDevice* device)
{
    QWidget* control = tap.widget;
    if (!control)
        return;
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent mouse(type, control->mapFromGlobal(tap.global), control->window()->mapFromGlobal(tap.global),
                      tap.global, button, buttons, QGuiApplication::keyboardModifiers(), device);
    QApplication::sendEvent(control, &mouse);
}
