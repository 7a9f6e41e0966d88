// TModusComboBox: a drop-down list that tells when its list closes.
#pragma once

#include <QComboBox>

// The play mode list of the main window: closedUp() is emitted whenever its list closes,
// whether the player chose an item or not.
class TModusComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;

    void hidePopup() override;

signals:
    void closedUp();
};
