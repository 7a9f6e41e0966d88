// The skin's one way of telling a click, and the plain panel and label whose one event it is.
#pragma once

#include <QFrame>
#include <QLabel>

class QMouseEvent;

// A click is a left-button press on a control followed by the left button's release inside
// it; a release after the pointer left the control ends the press without a click. Other
// buttons neither start nor end one. The controls feed their mouse events in.
class TClickTracker {
public:
    // From mousePressEvent: returns whether the press starts a click.
    bool press(const QMouseEvent& event);
    // From mouseReleaseEvent: returns whether the release completes a click on `control`.
    bool release(const QMouseEvent& event, const QWidget& control);
    bool isPressed() const { return fPressed; }

private:
    bool fPressed = false;
};

// A plain panel that reports clicks (the sliding covers of the main window). A frame of its
// own beside TClickLabel, not a label without text: the style sheet's look of labels would lay
// a transparent background over the covers' grille. (A QObject cannot be a template.)
// A panel paints its whole face and says so: Qt then paints nothing that a closed cover hides,
// and the window's first picture leaves out the strips under the covers.
class TClickPanel : public QFrame {
    Q_OBJECT
public:
    explicit TClickPanel(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    TClickTracker fClick;
};

// A label that reports clicks (the octave labels under the keyboard, the link panel). A
// disabled label gets no mouse events and so reports none.
class TClickLabel : public QLabel {
    Q_OBJECT
public:
    explicit TClickLabel(QWidget* parent = nullptr) : QLabel(parent) {}

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    TClickTracker fClick;
};
