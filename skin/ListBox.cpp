// The list box of the dialogs: a choice signalled for the player's actions only.
#include "skin/ListBox.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include <utility>

TListBox::TListBox(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Code that sets ticks blocks the signals, so a change seen here is the player's. A click
    // on a check box changes the tick without moving the selection: the tick, not the
    // selection, tells what the player did.
    connect(this, &QListWidget::itemChanged, this, [this] { fTickChanged = true; });
}

int TListBox::selectedRow() const
{
    const QList<QListWidgetItem*> items = selectedItems();
    if (items.isEmpty())
        return -1;
    // With several items selected the current one is the one the player acted on.
    if (currentItem() && currentItem()->isSelected())
        return currentRow();
    return row(items.first());
}

void TListBox::setItemHeight(int height)
{
    setUniformItemSizes(true);
    for (int i = 0; i < count(); ++i)
        item(i)->setSizeHint(QSize(width(), height));
}

void TListBox::mousePressEvent(QMouseEvent* event)
{
    // Only the left button chooses, and only on an item: anything else would move the
    // selection away from what is in force.
    if (event->button() == Qt::LeftButton)
        fRowAtPress = selectedRow();
    if (event->button() != Qt::LeftButton || !indexAt(event->position().toPoint()).isValid()) {
        event->accept();
        return;
    }
    fPressed = true;
    QListWidget::mousePressEvent(event);
}

void TListBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    QListWidget::mouseDoubleClickEvent(event);
}

void TListBox::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    // The base class toggles a tick whose box was clicked, so the handler sees the new tick.
    // A drag may have moved the selection, also one that ends outside the list: that is the
    // player's choice as well.
    const bool pressed = std::exchange(fPressed, false);
    fTickChanged = false;
    QListWidget::mouseReleaseEvent(event);
    if (pressed || fTickChanged || selectedRow() != fRowAtPress)
        emit chosen();
}

void TListBox::keyPressEvent(QKeyEvent* event)
{
    const int rowBefore = currentRow();
    fTickChanged = false;
    QListWidget::keyPressEvent(event);
    if (fTickChanged || (ChooseOnKeyboardMove && currentRow() != rowBefore && currentRow() >= 0))
        emit chosen();
}
