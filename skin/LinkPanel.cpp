// TLinkPanel: a label that acts as a link button.
#include "skin/LinkPanel.h"

TLinkPanel::TLinkPanel(QWidget* parent) : TLinkPanel(QString(), parent) {}

TLinkPanel::TLinkPanel(const QString& text, QWidget* parent) : TClickLabel(parent)
{
    setText(text);
    setAlignment(Qt::AlignCenter);
    setTextFormat(Qt::PlainText);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
}
