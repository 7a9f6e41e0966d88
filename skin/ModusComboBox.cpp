// TModusComboBox: the closing of the list as a signal.
#include "skin/ModusComboBox.h"

void TModusComboBox::hidePopup()
{
    QComboBox::hidePopup();
    emit closedUp();
}
