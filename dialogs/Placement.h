// Where a dialog stands: its own place next to the main window, kept on the screen.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

// The top-left corner nearest to `target` at which a frame of `size` lies wholly inside
// `available`; a frame wider or taller than `available` starts at its left or top edge.
QPoint NearestPlaceInside(QPoint target, QSize size, const QRect& available);

// Moves the top-level `window` so that its frame's top-left corner is at `target`, or as near
// to it as keeps the whole frame on the available area (without task bars and docks) of the
// screen that `reference` shows on. UI thread only.
void MoveOnScreen(QWidget* window, QPoint target, const QWidget* reference);

// Shows the tool window `window` (not modal) with its frame `offset` pixels from the top-left
// corner of the frame of `mainWindow`, as near to that as the screen allows, and activates it.
void ShowNextTo(QWidget* window, const QWidget* mainWindow, QPoint offset);
