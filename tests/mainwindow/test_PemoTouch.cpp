// Fingers on a touch screen: each plays its own note, and taps on the other controls keep working
// while fingers hold keys. The bytes on the wire.
#include "PemoFixture.h"

#include "widgets/Klavier.h"

#include <QPushButton>
#include <QSlider>

#include <optional>
#include <set>

namespace {

class PemoTouchTest : public PemoTest {
protected:
    void SetUp() override
    {
        PemoTest::SetUp();
        startUp();
        showWindow();
        static QPointingDevice* const screen = QTest::createTouchDevice();
        fDevice = screen;
        fScreen.emplace(QTest::touchEvent(frm.get(), fDevice, false));
        loop->clearSent();
    }
    void TearDown() override
    {
        liftAll();
        PemoTest::TearDown();
    }

    // One event of the screen: finger `id` lands, moves or lifts at `at` in `widget` (the keyboard
    // unless given); the other fingers down are in it as staying, as most screens send them.
    enum Action { Land, Move, Lift };
    void touch(int id, Action action, QPoint at, QWidget* widget = nullptr, bool alone = false)
    {
        widget = widget ? widget : frm->Pemo;
        action == Land ? fScreen->press(id, at, widget)
                       : (action == Move ? fScreen->move(id, at, widget) : fScreen->release(id, at, widget));
        for (int other : fDown)
            if (other != id && !alone)
                fScreen->stationary(other);
        fScreen->commit();
        action == Lift ? void(fDown.erase(id)) : void(fDown.insert(id));
    }
    void tap(QWidget* control, QPoint at, bool alone = false)
    {
        touch(9, Land, at, control, alone);
        touch(9, Lift, at, control, alone);
    }
    void liftAll()
    {
        while (!fDown.empty())
            touch(*fDown.begin(), Lift, {});
    }
    // A white key's point where it plays with velocity 118.
    QPoint key(int note) const { return {frm->Pemo->KeyRect(note).center().x(), 100}; }
    static Bytes on(int note, int channel = 0) { return {std::uint8_t(0x90 + channel), std::uint8_t(note), 118}; }
    static Bytes off(int note, int channel = 0) { return {std::uint8_t(0x80 + channel), std::uint8_t(note), 0}; }

    QPointingDevice* fDevice = nullptr;
    std::optional<QTest::QTouchEventWidgetSequence> fScreen;
    std::set<int> fDown;
};

// A finger keeps its key off the keys as the view shows them; a press must start on them.
TEST_F(PemoTouchTest, AChordOnBothSidesOfTheSplitGlidesSlidesOffAndLiftsInAnotherOrderWhereItStarted)
{
    chooseMode(1);
    frm->seRkanal->setValue(3);
    touch(1, Land, key(48));
    touch(2, Land, key(72));
    touch(3, Land, key(60));
    touch(3, Move, key(62));
    touch(1, Move, {100, 100});   // on the part of the keyboard that the view hides
    touch(2, Move, {700, 200});   // below the keyboard
    touch(4, Land, {key(64).x(), 113});
    touch(4, Move, key(64));
    chooseMode(0);
    touch(2, Lift, {700, 200});
    touch(1, Lift, {100, 100});
    touch(3, Lift, key(62));
    EXPECT_EQ(
        sentNotes(),
        (std::vector<Bytes>{on(48), on(72, 2), on(60, 2), off(60, 2), on(62, 2), off(72, 2), off(48), off(62, 2)}));
}

TEST_F(PemoTouchTest, TwoFingersAndTheMouseOnOneKeyArePressesOfTheirOwnMarkedUntilTheLastLetsGo)
{
    QTest::mousePress(frm->Pemo, Qt::LeftButton, {}, key(60));
    touch(1, Land, key(60));
    touch(2, Land, key(60));
    touch(1, Lift, key(60));
    QTest::mouseRelease(frm->Pemo, Qt::LeftButton, {}, key(60));
    EXPECT_TRUE(frm->Pemo->IsMarked(60));
    QTest::mousePress(frm->Pemo, Qt::LeftButton, {}, key(60));
    touch(2, Lift, key(60));
    EXPECT_TRUE(frm->Pemo->IsMarked(60));
    QTest::mouseRelease(frm->Pemo, Qt::LeftButton, {}, key(60));
    EXPECT_FALSE(frm->Pemo->IsMarked(60));
    touch(3, Land, key(60));   // a right click releases the mouse's last note, but not a finger's
    QTest::mouseClick(frm->Pemo, Qt::RightButton, {}, key(60));
    EXPECT_TRUE(frm->Pemo->IsMarked(60));
    touch(3, Lift, key(60));
    EXPECT_EQ(sentNotes(), (std::vector<Bytes>{on(60), on(60), on(60), off(60), off(60), on(60), off(60), off(60),
                                               on(60), off(60)}));
}

// Qt makes no mouse of the taps whose events carry the fingers that stay, and its own mouse of a
// tap that comes alone (the slider moves one page all the same); a system's mouse of a finger,
// near its point, plays nothing. While the mode list is open Qt hands the widgets no touch at all.
TEST_F(PemoTouchTest, TapsOnACoverSustainASliderAndTheModeListWorkOnceWhileTwoFingersHoldKeys)
{
    QTest::mouseClick(frm->panelAL, Qt::LeftButton);
    touch(1, Land, key(60));
    touch(2, Land, key(64));
    tap(frm->panelAU, frm->panelAU->rect().center());
    tap(frm->btnSustain, frm->btnSustain->rect().center());
    tap(frm->tbVolume, {15, frm->tbVolume->height() - 3}, true);
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        const QPointF at = frm->Pemo->mapTo(frm.get(), key(60) + QPoint(1, 0));
        QMouseEvent mouse(type, at, at, frm->mapToGlobal(at), Qt::LeftButton, {}, {}, fDevice);
        QApplication::sendEvent(frm->windowHandle(), &mouse);
    }
    touch(5, Land, frm->btnSustain->rect().center(), frm->btnSustain);
    touch(5, Land, key(67));   // its lift never came: the tap ends as it would have
    tap(frm->cbModus, frm->cbModus->rect().center());
    ASSERT_TRUE(QApplication::activePopupWidget());
    liftAll();
    QApplication::activePopupWidget()->close();
    EXPECT_EQ(sentBytes(), (std::vector<Bytes>{on(60), on(64), {0xB0, 64, 127}, {0xB0, 7, 123}, {0xB0, 64, 0}, on(67),
                                               off(60), off(64), off(67)}));
}

// The lifts of the fingers that have ended play nothing.
TEST_F(PemoTouchTest, ACancelTheHiddenWindowThePortButtonAndResetEndEveryFinger)
{
    for (const int note : {60, 64, 67})
        touch(note, Land, key(note));
    QTouchEvent cancel(QEvent::TouchCancel, fDevice);
    QApplication::sendEvent(frm->windowHandle(), &cancel);   // as the system takes the touch away
    touch(1, Land, key(72));
    frm->hide();
    showWindow();
    touch(2, Land, key(74));
    QTest::mouseClick(frm->bbtnPorts, Qt::LeftButton);
    liftAll();
    EXPECT_EQ(
        sentNotes(),
        (std::vector<Bytes>{on(60), on(64), on(67), off(60), off(64), off(67), on(72), off(72), on(74), off(74)}));
    touch(3, Land, key(76));
    QTest::mouseClick(frm->btnReset, Qt::LeftButton);
    EXPECT_FALSE(frm->Pemo->IsMarked(76));
    loop->clearSent();
    liftAll();
    EXPECT_TRUE(sentNotes().empty());
}

}   // namespace
