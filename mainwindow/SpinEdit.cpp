// The spin edit of the main window's channel and octave fields.
#include "SpinEdit.h"

#include <QKeyEvent>
#include <QLineEdit>

TSpinEdit::TSpinEdit(QWidget* parent) : QSpinBox(parent)
{
    if (auto* edit = findChild<QLineEdit*>())
        edit->setReadOnly(true);
    setContextMenuPolicy(Qt::NoContextMenu);
}

void TSpinEdit::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        event->ignore();
        return;
    default:
        QSpinBox::keyPressEvent(event);
    }
}
