// The instrument picker: the list layout, choosing with mouse and keys, and selecting without sending.
#include "DialogsFixture.h"

#include "skin/ListBox.h"

namespace {

using InstrumentTest = DialogsTest;

TEST_F(InstrumentTest, TheNamesFillEightColumnsOfSixteenColumnByColumn)
{
    start({}, {"Out 1"});
    frmInstrument->placeAndShow();
    QListWidget* list = frmInstrument->ListBox1;
    ASSERT_EQ(list->count(), 128);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("AcousticGrandPiano"));
    EXPECT_EQ(list->item(40)->text(), QStringLiteral("Violin"));
    EXPECT_EQ(list->item(127)->text(), QStringLiteral("Gunshot"));

    const QRect first = list->visualItemRect(list->item(0));
    const QRect window(QPoint(0, 0), frmInstrument->size());
    for (int i = 0; i < 128; ++i) {
        const QRect r = list->visualItemRect(list->item(i));
        EXPECT_EQ(r.top(), first.top() + (i % 16) * 13) << "program " << i;
        EXPECT_EQ(r.left(), first.left() + (i / 16) * 112) << "program " << i;
        EXPECT_TRUE(window.contains(QRect(list->viewport()->mapTo(frmInstrument, r.topLeft()), QSize(1, 13))))
            << "program " << i << " lies outside the window";
    }
}

TEST_F(InstrumentTest, OpeningSelectsTheInstrumentAndSelectingFromCodeSendsNothing)
{
    start({}, {"Out 1"});
    edit([&](TPlayerState& s) { s.ChannelSettings.Instrument = 73; });
    frmInstrument->placeAndShow();
    EXPECT_EQ(frmInstrument->windowTitle(), QStringLiteral("Ovelin GM Instrumente"));
    EXPECT_EQ(frmInstrument->size(), QSize(894, 214));
    EXPECT_EQ(frmInstrument->frameGeometry().topLeft(), mainWindow->frameGeometry().topLeft() + QPoint(0, 340));

    frmInstrument->FormActivate();
    EXPECT_EQ(frmInstrument->ListBox1->currentRow(), 73);
    // The main window selects the instrument of a new left channel while the picker is open;
    // a program from a hand-edited file outside 0..127 selects nothing.
    frmInstrument->SelectProgram(56);
    EXPECT_EQ(frmInstrument->ListBox1->currentRow(), 56);
    frmInstrument->SelectProgram(200);
    EXPECT_EQ(frmInstrument->ListBox1->currentRow(), -1);
    QCoreApplication::processEvents();
    EXPECT_TRUE(loop->sent().empty());
    EXPECT_EQ(state().ChannelSettings.Instrument, 73);
}

TEST_F(InstrumentTest, ClickingViolinSendsItsProgramAndTheChannelKeepsIt)
{
    start({}, {"Out 1"});
    frmInstrument->placeAndShow();
    frmInstrument->FormActivate();

    clickItem(frmInstrument->ListBox1, 40);
    EXPECT_EQ(sentBytes(), (std::vector<std::vector<std::uint8_t>>{{0xC0, 0x28}}));
    EXPECT_EQ(state().ChannelSettings.Instrument, 40);

    // Switching the left channel away and back (what the main window's channel switch does
    // with the settings file) brings Violin back.
    const auto switchTo = [&](std::uint8_t channel) {
        player.SaveSettings();
        edit([&](TPlayerState& s) { s.LeftChannel = channel; });
        player.LoadStoredSettings();
    };
    switchTo(1);
    frmInstrument->FormActivate();
    EXPECT_EQ(frmInstrument->ListBox1->currentRow(), 0);
    clickItem(frmInstrument->ListBox1, 19);
    switchTo(0);
    frmInstrument->FormActivate();
    EXPECT_EQ(state().ChannelSettings.Instrument, 40);
    EXPECT_EQ(frmInstrument->ListBox1->currentRow(), 40);
    EXPECT_EQ(sentBytes(), (std::vector<std::vector<std::uint8_t>>{{0xC0, 0x28}, {0xC1, 0x13}}));
}

TEST_F(InstrumentTest, ArrowKeysSendOneProgramChangePerStep)
{
    start({}, {"Out 1"});
    edit([&](TPlayerState& s) { s.LeftChannel = 2; });
    edit([&](TPlayerState& s) { s.ChannelSettings.Instrument = 10; });
    frmInstrument->placeAndShow();
    frmInstrument->FormActivate();

    QTest::keyClick(frmInstrument->ListBox1, Qt::Key_Down);
    QTest::keyClick(frmInstrument->ListBox1, Qt::Key_Down);
    QTest::keyClick(frmInstrument->ListBox1, Qt::Key_Down);
    QTest::keyClick(frmInstrument->ListBox1, Qt::Key_Up);
    EXPECT_EQ(sentBytes(), (std::vector<std::vector<std::uint8_t>>{{0xC2, 11}, {0xC2, 12}, {0xC2, 13}, {0xC2, 12}}));
    EXPECT_EQ(state().ChannelSettings.Instrument, 12);
}

// What the list shows selected is the instrument the channel plays.
TEST_F(InstrumentTest, ARightClickOrAPressDraggedOffTheListLeavesTheSelectionInForce)
{
    start({}, {"Out 1"});
    edit([&](TPlayerState& s) { s.ChannelSettings.Instrument = 10; });
    frmInstrument->placeAndShow();
    frmInstrument->FormActivate();
    auto* list = static_cast<TListBox*>(frmInstrument->ListBox1);

    clickItem(list, 40, Qt::RightButton);
    clickItem(list, 41, Qt::MiddleButton);
    EXPECT_EQ(list->selectedRow(), 10);
    EXPECT_TRUE(loop->sent().empty());

    dragOffList(list, 40, 42);
    EXPECT_NE(state().ChannelSettings.Instrument, 10);
    EXPECT_EQ(list->selectedRow(), state().ChannelSettings.Instrument);
    ASSERT_FALSE(loop->sent().empty());
    EXPECT_EQ(loop->sent().back().bytes, (std::vector<std::uint8_t>{0xC0, state().ChannelSettings.Instrument}));
}

}   // namespace
