// The list box of the dialogs: a click event raised by the player's actions only.
#include "ListBox.h"

#include <QColor>
#include <QKeyEvent>
#include <QMouseEvent>

TListBox::TListBox(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
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

void TListBox::setFace(const QColor& background)
{
    setStyleSheet(QStringLiteral("QListWidget { background-color: %1; color: black; border: 1px solid black; }"
                                 "QListWidget::item { color: black; }"
                                 "QListWidget::item:hover:!selected { background-color: %2; }")
                      .arg(background.name(), background.darker(110).name()));
}

void TListBox::Click()
{
    if (OnClick)
        OnClick();
}

void TListBox::mousePressEvent(QMouseEvent* event)
{
    fPressedOnItem = event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid();
    QListWidget::mousePressEvent(event);
}

void TListBox::mouseReleaseEvent(QMouseEvent* event)
{
    // The base class toggles a tick whose box was clicked, so the handler sees the new tick.
    const bool pressed = fPressedOnItem;
    fPressedOnItem = false;
    QListWidget::mouseReleaseEvent(event);
    if (pressed && event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid())
        Click();
}

void TListBox::keyPressEvent(QKeyEvent* event)
{
    const int rowBefore = currentRow();
    QListWidgetItem* itemBefore = currentItem();
    const bool checkable = itemBefore && (itemBefore->flags() & Qt::ItemIsUserCheckable);
    const Qt::CheckState checkBefore = checkable ? itemBefore->checkState() : Qt::Unchecked;

    QListWidget::keyPressEvent(event);

    if (ClickOnKeyboardMove && currentRow() != rowBefore && currentRow() >= 0) {
        Click();
        return;
    }
    if (checkable && currentItem() == itemBefore && itemBefore->checkState() != checkBefore)
        Click();
}
