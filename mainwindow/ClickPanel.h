// TClickPanel: a plain panel that reports clicks (the sliding covers of the main window).
#pragma once

#include <QFrame>
#include <QMouseEvent>

#include <functional>

// A left button pressed and released over the panel is a click; OnClick runs after the release.
class TClickPanel : public QFrame {
public:
    explicit TClickPanel(QWidget* parent = nullptr) : QFrame(parent) {}

    std::function<void(QObject* Sender)> OnClick;

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        fPressed = event->button() == Qt::LeftButton;
        event->accept();
    }

    void mouseReleaseEvent(QMouseEvent* event) override
    {
        const bool click = fPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
        fPressed = false;
        event->accept();
        if (click && OnClick)
            OnClick(this);
    }

private:
    bool fPressed = false;
};
