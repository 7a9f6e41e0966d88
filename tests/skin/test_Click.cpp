// The skin's controls that report a click: a left press, then the release inside the control.
#include "skin/Click.h"
#include "skin/LinkPanel.h"
#include "skin/SlideSwitch.h"

#include "TestSupport.h"

#include <QTest>

#include <gtest/gtest.h>

#include <type_traits>
#include <utility>

namespace {

class ClickTest : public ::testing::Test {
protected:
    void SetUp() override { tarv::test::ensureApplication(); }
};

// What the player does with the mouse on a 40 x 20 control.
enum class Gesture { LeftClick, LeftReleasedOutside, RightClick, ReleaseWithoutPress };

void play(QWidget& control, Gesture gesture)
{
    const QPoint inside(20, 10);
    const QPoint outside(60, 10);
    switch (gesture) {
    case Gesture::LeftClick:
        QTest::mouseClick(&control, Qt::LeftButton, {}, inside);
        break;
    case Gesture::LeftReleasedOutside:
        QTest::mousePress(&control, Qt::LeftButton, {}, inside);
        QTest::mouseRelease(&control, Qt::LeftButton, {}, outside);
        break;
    case Gesture::RightClick:
        QTest::mouseClick(&control, Qt::RightButton, {}, inside);
        break;
    case Gesture::ReleaseWithoutPress:
        QTest::mouseRelease(&control, Qt::LeftButton, {}, inside);
        break;
    }
}

// Each control counts its clicks its own way; all of them follow the same rule.
template <typename Control>
int clicksOf(Gesture gesture)
{
    QWidget window;
    window.resize(100, 40);
    auto* control = new Control(&window);
    control->setGeometry(0, 0, 40, 20);
    window.show();
    int clicks = 0;
    if constexpr (std::is_same_v<Control, TSlideSwitch>)
        QObject::connect(control, &TSlideSwitch::changed, [&clicks] { ++clicks; });
    else
        QObject::connect(control, &Control::clicked, [&clicks] { ++clicks; });
    play(*control, gesture);
    return clicks;
}

TEST_F(ClickTest, OnlyALeftPressReleasedInsideIsAClick)
{
    const std::pair<Gesture, int> cases[] = {{Gesture::LeftClick, 1},
                                             {Gesture::LeftReleasedOutside, 0},
                                             {Gesture::RightClick, 0},
                                             {Gesture::ReleaseWithoutPress, 0}};
    for (const auto& [gesture, expected] : cases) {
        const int i = static_cast<int>(gesture);
        EXPECT_EQ(clicksOf<TClickPanel>(gesture), expected) << "panel, gesture " << i;
        EXPECT_EQ(clicksOf<TClickLabel>(gesture), expected) << "label, gesture " << i;
        EXPECT_EQ(clicksOf<TLinkPanel>(gesture), expected) << "link panel, gesture " << i;
        EXPECT_EQ(clicksOf<TSlideSwitch>(gesture), expected) << "slide switch, gesture " << i;
    }
}

// A right press while the left button is down neither ends the left press nor clicks itself.
TEST_F(ClickTest, ARightPressDuringALeftPressLeavesTheLeftClick)
{
    TClickPanel panel;
    panel.resize(40, 20);
    panel.show();
    int clicks = 0;
    QObject::connect(&panel, &TClickPanel::clicked, [&clicks] { ++clicks; });
    QTest::mousePress(&panel, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mousePress(&panel, Qt::RightButton, Qt::NoModifier, QPoint(6, 5));
    QTest::mouseRelease(&panel, Qt::RightButton, {}, QPoint(6, 5));
    QTest::mouseRelease(&panel, Qt::LeftButton, {}, QPoint(7, 5));
    EXPECT_EQ(clicks, 1);
}

TEST_F(ClickTest, ADisabledLabelReportsNoClick)
{
    QWidget window;
    auto* label = new TClickLabel(&window);
    label->setGeometry(0, 0, 40, 20);
    label->setEnabled(false);
    window.show();
    int clicks = 0;
    QObject::connect(label, &TClickLabel::clicked, [&clicks] { ++clicks; });
    QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_EQ(clicks, 0);
}

}   // namespace
