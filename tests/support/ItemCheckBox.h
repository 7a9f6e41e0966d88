// Where a list's style draws an entry's check box, for tests that click it as the player does.
#pragma once

#include <QListWidget>
#include <QStyle>
#include <QStyleOptionViewItem>

namespace tarv::test {

// In the list's viewport coordinates, like visualItemRect.
inline QRect checkBoxRect(QListWidget* list, QListWidgetItem* item)
{
    QStyleOptionViewItem option;
    option.initFrom(list->viewport());
    option.widget = list;
    option.rect = list->visualItemRect(item);
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    option.checkState = item->checkState();
    option.text = item->text();
    return list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
}

}   // namespace tarv::test
