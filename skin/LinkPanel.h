// TLinkPanel: a panel showing a web address that reports clicks.
#pragma once

#include "skin/Click.h"

// Shows its text centred with a hand pointer; a click on it emits clicked() (skin/Click.h).
// Opening the address is the owner's business.
class TLinkPanel : public TClickLabel {
    Q_OBJECT
public:
    explicit TLinkPanel(QWidget* parent = nullptr);
    explicit TLinkPanel(const QString& text, QWidget* parent = nullptr);
};
