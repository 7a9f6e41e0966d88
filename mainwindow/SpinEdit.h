// The spin edit of the main window's channel and octave fields.
#pragma once

#include <QSpinBox>

// A spin edit that takes no typing and no stepping keys: only its buttons (and the wheel)
// change the value. A key would step a focused edit by accident while the player plays the PC
// keys, and the page keys jump ten channels at once.
class TSpinEdit : public QSpinBox {
public:
    explicit TSpinEdit(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
