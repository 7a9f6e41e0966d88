// The key selector: the keys and their transposition, the empty items, the memo.
#include "DialogsFixture.h"

#include "skin/ListBox.h"

#include <QPlainTextEdit>

namespace {

using StimmungTest = DialogsTest;

TEST_F(StimmungTest, EveryKeyTransposesUpwardByItsTonicAboveC)
{
    start({}, {"Out 1"});
    frmStimmung->placeAndShow();
    QListWidget* list = frmStimmung->lbStimmung;
    ASSERT_EQ(list->count(), 20);
    EXPECT_EQ(list->currentRow(), 0);
    EXPECT_EQ(state().Transpose, 0);

    // clang-format off
    const struct { const char* text; int offset; } keys[] = {
        {"C dur ( Amoll)", 0},        {"G dur-1#- (Emoll)", 7},     {"D dur-2#- (Hmoll)", 2},
        {"A dur-3#- (Fismoll)", 9},   {"E dur-4#- (Cismoll)", 4},   {"H dur-5#- (Gismoll)", 11},
        {"Fis dur-6#- (Dismoll)", 6}, {"Ges dur-6b- (Esmoll)", 6},  {"Des dur-5b- (Bbmoll)", 1},
        {"As dur-4b- (Fmoll)", 8},    {"Es dur-3b- (Cmoll)", 3},    {"Bb dur-2b- (Gmoll)", 10},
        {"F dur-1b- (Dmoll)", 5},
    };
    // clang-format on
    for (int row = 12; row >= 0; --row) {
        EXPECT_EQ(list->item(row)->text(), QString::fromUtf8(keys[row].text));
        clickItem(list, row);
        EXPECT_EQ(state().Transpose, keys[row].offset) << keys[row].text;
    }
    for (int row = 13; row < 20; ++row)
        EXPECT_TRUE(list->item(row)->text().isEmpty());
}

TEST_F(StimmungTest, EmptyItemsChangeNothingWhetherClickedOrReachedWithTheKeys)
{
    start({}, {"Out 1"});
    frmStimmung->placeAndShow();
    QListWidget* list = frmStimmung->lbStimmung;
    clickItem(list, 1);
    ASSERT_EQ(state().Transpose, 7);

    // The first empty items lie above the memo, the rest under it. What the list shows
    // selected stays the key in force.
    clickItem(list, 13);
    EXPECT_EQ(state().Transpose, 7);
    EXPECT_EQ(static_cast<TListBox*>(list)->selectedRow(), 1);
    list->setCurrentRow(12);   // from code: no choice of the player
    EXPECT_EQ(state().Transpose, 7);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(list->currentRow(), 12);
    EXPECT_EQ(state().Transpose, 7);
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_EQ(state().Transpose, 10);

    frmStimmung->close();
    frmStimmung->placeAndShow();
    EXPECT_EQ(list->currentRow(), 11);
    EXPECT_EQ(state().Transpose, 10);
    EXPECT_TRUE(loop->sent().empty());
}

TEST_F(StimmungTest, TheSelectorStandsBesideTheMainWindowWithItsMemo)
{
    start({}, {"Out 1"});
    frmStimmung->placeAndShow();
    EXPECT_EQ(frmStimmung->windowTitle(), QStringLiteral("OV Stimmung"));
    EXPECT_EQ(frmStimmung->size(), QSize(105, 316));
    EXPECT_EQ(frmStimmung->frameGeometry().topLeft(), mainWindow->frameGeometry().topLeft() + QPoint(900, 0));
    EXPECT_EQ(
        frmStimmung->memInt->toPlainText(),
        QStringLiteral("International\n \nDur = Major\nMoll = Minor\n \nHdur=Bmajor\nHmoll=Bminor\n \nXis=X#\nXes=Xb"));
    EXPECT_TRUE(frmStimmung->memInt->isReadOnly());
    // The memo starts below the 13th key.
    QListWidget* list = frmStimmung->lbStimmung;
    const QRect last = list->visualItemRect(list->item(12));
    EXPECT_LE(list->viewport()->mapTo(frmStimmung, last.bottomLeft()).y(), frmStimmung->memInt->geometry().top());
}

// What the list shows selected is the key the keyboard plays in.
TEST_F(StimmungTest, ARightClickOrAPressDraggedOffTheListLeavesTheSelectionInForce)
{
    start({}, {"Out 1"});
    frmStimmung->placeAndShow();
    auto* list = static_cast<TListBox*>(frmStimmung->lbStimmung);

    clickItem(list, 1, Qt::RightButton);   // "G dur-1#- (Emoll)"
    EXPECT_EQ(list->selectedRow(), 0);
    EXPECT_EQ(state().Transpose, 0);

    dragOffList(list, 2, 3);
    const int row = list->selectedRow();
    ASSERT_GE(row, 2);
    ASSERT_LE(row, 3);
    EXPECT_EQ(state().Transpose, KeyTable[std::size_t(row)].Offset);
}

}   // namespace
