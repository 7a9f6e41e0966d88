// A list box whose one event stands for the player's choices only.
#pragma once

#include <QListWidget>

// chosen() is emitted when the player chooses with the mouse (a left-button release after a
// press on an item, or after a drag that moved the selection, wherever the button is let go),
// walks the list with the keyboard (when ChooseOnKeyboardMove is on) or changes an item's tick
// with the mouse or the space key. Selecting or ticking from code never emits it: code that
// sets ticks blocks the list's signals. The right and middle buttons, and a press beside the items, leave
// the selection alone, so that what the list shows selected is always what the player chose.
// A choice is the list's own gesture, not a click of skin/Click.h: a drag that ends outside the
// list still chooses what it moved the selection to.
class TListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TListBox(QWidget* parent = nullptr);

    // The instrument and key lists treat a move with the arrow keys as a choice; the check
    // lists of the port dialog do not (there a choice is a tick).
    bool ChooseOnKeyboardMove = true;

    // Row of the selected item, or -1 when nothing is selected.
    int selectedRow() const;
    // Gives every item the same height in pixels (the lists of the dialogs use 13).
    void setItemHeight(int height);

signals:
    void chosen();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool fPressed = false;       // a left-button press on an item is under way
    int fRowAtPress = -1;        // the selected row when the left button went down
    bool fTickChanged = false;   // the player changed a tick during the event in hand
};
