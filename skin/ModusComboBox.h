// TModusComboBox: a drop-down list that tells when its list closes.
#pragma once

#include <QComboBox>

// The play mode list of the main window: closedUp() is emitted whenever its list closes,
// whether the player chose an item or not. The box starts under a cover, so its list (a
// drop-down window with a view of its own) is made when it first opens.
class TModusComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;

    void showPopup() override;
    void hidePopup() override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void closedUp();

protected:
    void changeEvent(QEvent* event) override;

private:
    // Hands the list the font change that the box has held back.
    void TakeHeldFont() const;
    mutable bool fFontHeld = false;   // the box's font changed while it had no list
};
