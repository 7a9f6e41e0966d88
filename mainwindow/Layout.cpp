// The placing of the main window's controls.
#include "Layout.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>

namespace {

class TSpinEdit : public QSpinBox {
public:
    using QSpinBox::QSpinBox;

protected:
    void keyPressEvent(QKeyEvent* event) override
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
};

}   // namespace

QFrame* panel(QWidget* parent, const char* name, const QRect& geometry, const char* role)
{
    auto* frame = place<QFrame>(parent, name, geometry);
    if (role)
        tarv::skin::setRole(frame, role);
    return frame;
}

QSlider* horizontalSlider(QWidget* parent, const char* name, const QRect& geometry, int position)
{
    auto* slider = place<QSlider>(parent, name, geometry);
    slider->setOrientation(Qt::Horizontal);
    slider->setRange(0, 127);
    slider->setSingleStep(2);
    slider->setPageStep(16);
    slider->setTickInterval(16);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setValue(position);
    return slider;
}

QSpinBox* spinEdit(QWidget* parent, const char* name, const QRect& geometry, int minimum, int maximum, int value)
{
    auto* spin = place<TSpinEdit>(parent, name, geometry);
    spin->setRange(minimum, maximum);
    spin->setValue(value);
    if (auto* edit = spin->findChild<QLineEdit*>())
        edit->setReadOnly(true);
    spin->setContextMenuPolicy(Qt::NoContextMenu);
    return spin;
}
