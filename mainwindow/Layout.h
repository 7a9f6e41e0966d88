// The placing of the main window's controls: each made with its parent, object name and
// geometry in one call, so that the layout reads as a table.
#pragma once

#include "skin/Skin.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QRect>
#include <QString>

class QSlider;
class QSpinBox;

template <typename T>
T* place(QWidget* parent, const char* name, const QRect& geometry)
{
    auto* widget = new T(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(geometry);
    return widget;
}

// A panel with the skin's role (none: a plain frame).
QFrame* panel(QWidget* parent, const char* name, const QRect& geometry, const char* role = tarv::skin::role::Panel);

template <typename T = QLabel>
T* label(QWidget* parent, const char* name, const QString& caption, const QRect& geometry,
         Qt::Alignment alignment = Qt::AlignCenter, const char* role = nullptr)
{
    auto* widget = place<T>(parent, name, geometry);
    widget->setText(caption);
    widget->setAlignment(alignment);
    if (role)
        tarv::skin::setRole(widget, role);
    return widget;
}

template <typename T = QPushButton>
T* button(QWidget* parent, const char* name, const QString& caption, const QRect& geometry, const char* role = nullptr)
{
    auto* widget = place<T>(parent, name, geometry);
    widget->setText(caption);
    if (role)
        tarv::skin::setRole(widget, role);
    return widget;
}

// Horizontal controller slider: 2 per arrow key, 16 per page, a tick every 16.
QSlider* horizontalSlider(QWidget* parent, const char* name, const QRect& geometry, int position);

// A spin edit that takes no typing and no stepping keys: only its buttons (and the wheel)
// change the value. A key would step a focused edit by accident while the player plays the PC
// keys, and the page keys jump ten channels at once.
QSpinBox* spinEdit(QWidget* parent, const char* name, const QRect& geometry, int minimum, int maximum, int value);
