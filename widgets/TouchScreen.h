// TTouchScreen: the touch screen's points in the application's windows, fingers for the widgets
// that play them and taps for the other controls.
#pragma once

#include <QEvent>
#include <QEventPoint>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QWidget>

#include <exception>
#include <map>

class QPointingDevice;
class QTouchEvent;
class QWindow;

// Runs `step` for every item, for all of them also when one fails (a note handler that throws);
// the first failure is raised afterwards.
template <typename Items, typename Step>
void forEachEvenIfOneFails(const Items& items, Step step)
{
    std::exception_ptr failure;
    for (const auto& item : items) {
        try {
            step(item);
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    if (failure)
        std::rethrow_exception(failure);
}

// Whether the events of `device` come from a touch screen (not a touch pad).
bool isTouchScreen(const QPointingDevice* device);

// A widget that plays the fingers landing on it (the keyboard). It accepts touch, so that Qt makes
// no mouse of its fingers, but takes every point from TTouchScreen: Qt drops the moves and the
// lift of a finger that lands while others are down when the point nearest to it has no widget,
// and hands the widgets no touch at all while a popup is open.
class TFingerPlayer {
public:
    // Finger `id` landed, moved or lifted at `at`, in the widget's coordinates.
    virtual void FingerEvent(int id, QEventPoint::State state, QPointF at) = 0;
    // The system took the touch away.
    virtual void FingersCancelled() = 0;

protected:
    ~TFingerPlayer() = default;
};

// The one reader of the touch screen, an application event filter that sees each window's touch
// events before Qt hands them to the widgets:
// - A point landing on a TFingerPlayer is its finger until it lifts, wherever it slides.
// - Qt makes a mouse of one point of a touch sequence only, and of no point while fingers hold a
//   widget that takes touch; a tap on a button, a cover or a slider would be lost then. So while
//   such fingers are down, each point that lands on a control that takes no touch gives it a left
//   press, its moves and a release, as a mouse of the touch screen.
// - The mouse events that Qt makes of these points itself are dropped: one tap, one press, and no
//   mouse of a finger (which would also close a popup and replay the press as the mouse's).
// Runs on the UI thread. Installed once, by the first keyboard.
class TTouchScreen : public QObject {
public:
    static void Install();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A point down: the widget that takes its touch, or for a tap the control under it.
    struct TPoint {
        QPointer<QWidget> widget;
        bool tap = false;
        QPointF global;        // where it is on the screen
        bool lifted = false;   // in the last event; kept until Qt's own mouse events for it have passed
    };

    using QObject::QObject;
    void Touch(const QWindow& window, const QTouchEvent& event);
    void Land(QWidget& top, const QEventPoint& point, const QPointingDevice* device);
    void Take(const QEventPoint& point, const QPointingDevice* device);
    bool FingersDown() const;
    bool IsPointAt(const QPointF& global) const;
    static void Finger(const TPoint& finger, int id, QEventPoint::State state, const QPointF& global);
    static void Send(const TPoint& tap, QEvent::Type type, const QPointingDevice* device);

    std::map<int, TPoint> fPoints;   // by touch point id
};
