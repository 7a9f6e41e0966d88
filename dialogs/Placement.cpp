// Placing the dialogs next to the main window without letting them end past the screen's edge.
#include "Placement.h"

#include <QScreen>
#include <QWidget>

#include <algorithm>

QPoint NearestPlaceInside(QPoint target, QSize size, const QRect& available)
{
    // Pulled back from the right and bottom edges first, so that the left and top edges win
    // when the frame does not fit at all.
    const int x = std::max(std::min(target.x(), available.right() + 1 - size.width()), available.left());
    const int y = std::max(std::min(target.y(), available.bottom() + 1 - size.height()), available.top());
    return {x, y};
}

void MoveOnScreen(QWidget* window, QPoint target, const QWidget* reference)
{
    const QScreen* screen = (reference ? reference : window)->screen();
    const QPoint place =
        screen ? NearestPlaceInside(target, window->frameGeometry().size(), screen->availableGeometry()) : target;
    if (window->frameGeometry().topLeft() != place)
        window->move(place);
}

void ShowNextTo(QWidget* window, const QWidget* mainWindow, QPoint offset)
{
    const QPoint target = mainWindow ? mainWindow->frameGeometry().topLeft() + offset : window->pos();
    MoveOnScreen(window, target, mainWindow);
    window->show();
    // The frame, and with it the size that has to fit, is known only once the window shows.
    MoveOnScreen(window, target, mainWindow);
    window->raise();
    window->activateWindow();
}
