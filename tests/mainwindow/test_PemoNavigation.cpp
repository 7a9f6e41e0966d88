// The main window's keyboard view: octave labels, covers and the focus from the mouse wheel.
#include "PemoFixture.h"

#include "skin/Skin.h"
#include "widgets/Klavier.h"

#include <QApplication>
#include <QLabel>
#include <QSlider>
#include <QWheelEvent>

namespace {

class PemoNavigationTest : public PemoTest {
protected:
    void SetUp() override
    {
        PemoTest::SetUp();
        startUp();
        showWindow();
    }

    void clickLabel(int k) { QTest::mouseClick(frm->lblC[static_cast<std::size_t>(k)], Qt::LeftButton); }

    // The note whose key the view shows at its column (near the bottom edge of the keys).
    int noteAtViewColumn(int column) const
    {
        const QPoint at = frm->Pemo->mapFrom(frm->panelKBview, QPoint(column, 0));
        int velocity = 0;
        return frm->Pemo->NoteAt(at.x(), frm->Pemo->height() - 2, velocity);
    }

    // A wheel notch with the pointer at the centre of `control`: the window's topmost child there
    // receives it, as from the windowing system.
    void wheelOver(QWidget* control)
    {
        const QPoint local = control->mapTo(frm.get(), control->rect().center());
        QWidget* receiver = frm->childAt(local);
        ASSERT_NE(receiver, nullptr);
        QWheelEvent wheel(receiver->mapFrom(frm.get(), local), frm->mapToGlobal(local), QPoint(), QPoint(0, 120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(receiver, &wheel);
    }

    // Parks the focus on the top cover, as the window does.
    void parkFocus()
    {
        frm->panelAO->setFocus();
        ASSERT_EQ(frm->focusWidget(), frm->panelAO);
    }
};

TEST_F(PemoNavigationTest, OctaveLabelsPutTheirCInTheMiddleOfTheView)
{
    EXPECT_EQ(noteAtViewColumn(378), 60);
    for (int k : {3, 7, 7, 4, 6, 5}) {
        clickLabel(k);
        EXPECT_EQ(frm->panelKB->x(), -126 * (k - 3)) << "C" << k;
        EXPECT_EQ(frm->lblC[static_cast<std::size_t>(k)]->mapTo(frm->panelKBview, QPoint()).x(), 378) << "C" << k;
        EXPECT_EQ(noteAtViewColumn(378), 12 * k) << "C" << k;
        EXPECT_EQ(noteAtViewColumn(377), 12 * k - 1) << "C" << k;
    }
    clickLabel(3);
    EXPECT_EQ(noteAtViewColumn(0), 0);
}

TEST_F(PemoNavigationTest, DisabledLabelsDoNothingAndAfterC7TheViewsLastColumnIsNotKeyboard)
{
    clickLabel(7);
    for (int k : {0, 1, 2, 8, 9}) {
        clickLabel(k);
        EXPECT_EQ(frm->panelKB->x(), -504) << "C" << k;
    }
    EXPECT_EQ(frm->panelKBview->childAt(755, 70), frm->Pemo);
    const QWidget* last = frm->panelKBview->childAt(756, 70);
    EXPECT_TRUE(last == nullptr || !frm->panelKB->isAncestorOf(last));
}

TEST_F(PemoNavigationTest, MovingTheViewKeepsHeldNotesMarked)
{
    frm->Pemo->PressNote(60, 100, false);
    clickLabel(3);
    const QImage view = frm->panelKBview->grab().toImage();
    const auto faceColumn = [&](int note) {
        return frm->Pemo->mapTo(frm->panelKBview, frm->Pemo->KeyRect(note).center());
    };
    // White keys: the held C is drawn inverted, its neighbour D is not.
    EXPECT_LT(qGray(view.pixel(faceColumn(60))), 128);
    EXPECT_GT(qGray(view.pixel(faceColumn(62))), 128);
}

TEST_F(PemoNavigationTest, CoversToggleIndependently)
{
    struct Cover {
        TClickPanel* panel;
        QPoint closed, open;
    };
    const Cover covers[] = {{frm->panelAO, {67, 36}, {67, 0}},
                            {frm->panelAU, {67, 216}, {67, 264}},
                            {frm->panelAL, {36, 72}, {0, 72}},
                            {frm->panelAR, {824, 72}, {860, 72}}};
    for (const Cover& cover : covers) {
        ASSERT_EQ(cover.panel->pos(), cover.closed) << cover.panel->objectName().toStdString();
        QTest::mouseClick(cover.panel, Qt::LeftButton);
        EXPECT_EQ(cover.panel->pos(), cover.open) << cover.panel->objectName().toStdString();
        for (const Cover& other : covers) {
            if (other.panel != cover.panel) {
                EXPECT_EQ(other.panel->pos(), other.closed) << other.panel->objectName().toStdString();
            }
        }
        QTest::mouseClick(cover.panel, Qt::LeftButton);
        EXPECT_EQ(cover.panel->pos(), cover.closed) << cover.panel->objectName().toStdString();
    }
    // From any other place the first click closes.
    frm->panelAR->move(900, 72);
    frm->panelARClick();
    EXPECT_EQ(frm->panelAR->pos(), QPoint(824, 72));
}

// What Qt paints of a control is its visible region: nothing while a cover hides it.
TEST_F(PemoNavigationTest, AClosedCoverHidesItsStripFromThePaintingUntilItOpens)
{
    tarv::skin::apply(*qApp);   // the covers' look is the style sheet's
    for (QWidget* hidden : std::initializer_list<QWidget*>{frm->bbtnPorts, frm->tbReverb, frm->seLKanal,
                                                           frm->cbModus, frm->bbtnPckey})
        EXPECT_TRUE(hidden->visibleRegion().isEmpty()) << hidden->objectName().toStdString();

    // A closed cover shows its grille inside its frame: holes darker than the face between them.
    const QImage cover = frm->panelAO->grab().toImage();
    EXPECT_LT(qGray(cover.pixel(1, 1)), qGray(cover.pixel(3, 1)));

    QTest::mouseClick(frm->panelAU, Qt::LeftButton);
    EXPECT_EQ(frm->seLKanal->visibleRegion(), QRegion(frm->seLKanal->rect()));
    EXPECT_TRUE(frm->bbtnPorts->visibleRegion().isEmpty());
}

TEST_F(PemoNavigationTest, TheWheelFocusesAnEnabledSpinEditUnderThePointerButNotTheKeyboard)
{
    frm->panelAUClick();
    parkFocus();
    wheelOver(frm->seRkanal);   // disabled outside the split keyboard
    EXPECT_EQ(frm->focusWidget(), frm->panelAO);
    chooseMode(1);
    wheelOver(frm->seRkanal);
    EXPECT_EQ(frm->focusWidget(), frm->seRkanal);
    wheelOver(frm->Pemo);
    EXPECT_EQ(frm->focusWidget(), frm->seRkanal);
}

TEST_F(PemoNavigationTest, AClosedCoverKeepsTheWheelFromItsStrip)
{
    parkFocus();
    for (QWidget* control : {static_cast<QWidget*>(frm->tbVolume), static_cast<QWidget*>(frm->tbChorus)}) {
        wheelOver(control);
        EXPECT_EQ(frm->focusWidget(), frm->panelAO) << control->objectName().toStdString();
    }
    frm->panelALClick();
    wheelOver(frm->tbVolume);
    EXPECT_EQ(frm->focusWidget(), frm->tbVolume);
    frm->panelAOClick();
    wheelOver(frm->tbChorus);
    EXPECT_EQ(frm->focusWidget(), frm->tbChorus);
}

}   // namespace
