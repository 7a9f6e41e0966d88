// TSlideSwitch: the two-state vertical slide switch ("Auto" / "Manu").
#pragma once

#include "skin/Click.h"

#include <QString>
#include <QWidget>

// State 0 shows the knob at the top (first caption), state 1 at the bottom (second caption).
// A click or the space key toggles it; it is the one control of the skin with a tab stop.
class TSlideSwitch : public QWidget {
    Q_OBJECT
public:
    explicit TSlideSwitch(QWidget* parent = nullptr);

    int State() const { return fState; }
    // Sets the state from code. With notify the change goes the player's way: changing may
    // veto it, changed follows; without, no signal is emitted.
    void setState(int state, bool notify = false);
    // Toggles as the player does (changing, then changed); returns whether the state changed.
    bool Toggle();

    QString Caption0() const { return fCaption0; }
    QString Caption1() const { return fCaption1; }
    void setCaptions(const QString& caption0, const QString& caption1);

    QSize sizeHint() const override;

signals:
    // Emitted before the player's change; a receiver that clears canChange vetoes it. Connect
    // it directly (the flag is read back when the receivers have run).
    void changing(bool& canChange);
    // Emitted after the state changed by the player's action.
    void changed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int fState = 0;
    TClickTracker fClick;
    QString fCaption0 = QStringLiteral("Auto");
    QString fCaption1 = QStringLiteral("Manu");
};
