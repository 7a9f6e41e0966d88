// Where the dialogs stand: at their places beside the main window, or as near as the screen allows.
#include "DialogsFixture.h"

#include "dialogs/Placement.h"

#include <QScreen>
#include <QTimer>

namespace {

using PlacementTest = DialogsTest;

TEST(NearestPlaceInsideTest, MovesAFrameOnlyAsFarAsTheScreenRequires)
{
    const QRect laptop(0, 0, 1366, 768), small(0, 0, 1024, 768);
    const struct {
        const char* what;
        QPoint target;
        QSize size;
        QRect available;
        QPoint place;
        // clang-format off
    } cases[] = {
        {"fits where it is", {100, 420}, {898, 218}, laptop, {100, 420}},
        {"picker below a centred main window", {234, 566}, {898, 218}, laptop, {234, 550}},
        {"selector right of a centred main window", {963, 226}, {109, 342}, small, {915, 226}},
        {"both edges at once", {1000, 700}, {109, 342}, small, {915, 426}},
        {"above a panel at the top", {50, 0}, {486, 144}, QRect(0, 27, 1366, 741), {50, 27}},
        {"left of the screen", {-40, 10}, {486, 144}, laptop, {0, 10}},
        {"larger than the screen", {200, 100}, {1100, 900}, small, {0, 0}},
        {"on a second screen", {2300, 100}, {109, 342}, QRect(1366, 0, 1024, 768), {2281, 100}},
    };
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(NearestPlaceInside(c.target, c.size, c.available), c.place) << c.what;
}

TEST_F(PlacementTest, DialogsThatWouldEndPastTheScreenEdgeStayOnTheScreenNextToTheirPlace)
{
    start({}, {"Out 1"});
    mainWindow->move(400, 400);
    const QRect main = mainWindow->frameGeometry();
    const QRect screen = mainWindow->screen()->availableGeometry();
    ASSERT_TRUE(screen.contains(main));

    // The picker's place, 340 pixels below the main window's top, ends below the screen.
    frmInstrument->placeAndShow();
    const QRect picker = frmInstrument->frameGeometry();
    EXPECT_TRUE(screen.contains(picker)) << picker.bottom();
    EXPECT_EQ(picker.left(), main.left());
    EXPECT_EQ(picker.bottom(), screen.bottom());

    // The selector's place, 900 pixels right of the main window's left edge, ends past the right edge.
    frmStimmung->placeAndShow();
    const QRect selector = frmStimmung->frameGeometry();
    EXPECT_TRUE(screen.contains(selector)) << selector.right();
    EXPECT_EQ(selector.top(), main.top());
    EXPECT_EQ(selector.right(), screen.right());

    // A main window pushed half off the screen: its port dialog still shows whole.
    mainWindow->move(screen.right() - 300, screen.bottom() - 100);
    bool ran = false;
    QTimer::singleShot(0, frmPortWahl, [&] {
        ran = true;
        EXPECT_TRUE(screen.contains(frmPortWahl->frameGeometry()));
        frmPortWahl->close();
    });
    ShowPortDialog();
    EXPECT_TRUE(ran);
}

}   // namespace
