// Tests of the skin: the slide switch, focus and pointers, the hint window and its governance,
// the pictures and the style sheet.
#include "skin/ListBox.h"
#include "skin/ModusComboBox.h"
#include "skin/PictureButton.h"
#include "skin/Skin.h"
#include "skin/SlideSwitch.h"

#include "TestSupport.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <vector>

namespace skin = tarv::skin;
using namespace std::chrono_literals;

namespace {

class SkinTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tarv::test::ensureApplication();
        static bool applied = false;
        if (!applied) {
            skin::apply(*qApp);
            applied = true;
        }
        skin::setHintHideTimeout(10s);
    }

    void TearDown() override { skin::hideHint(); }
};

TEST_F(SkinTest, SlideSwitchAsksBeforeAndReportsAfterThePlayersChange)
{
    TSlideSwitch sw;
    sw.resize(40, 36);
    sw.show();
    std::vector<std::pair<std::string, int>> calls;
    QObject::connect(&sw, &TSlideSwitch::changing, [&](bool& canChange) {
        EXPECT_TRUE(canChange);
        calls.emplace_back("changing", sw.State());
    });
    QObject::connect(&sw, &TSlideSwitch::changed, [&] { calls.emplace_back("change", sw.State()); });

    QTest::mouseClick(&sw, Qt::LeftButton, {}, QPoint(20, 18));
    EXPECT_EQ(sw.State(), 1);
    sw.setFocus();
    QTest::keyClick(&sw, Qt::Key_Space);
    EXPECT_EQ(sw.State(), 0);

    const std::vector<std::pair<std::string, int>> expected = {
        {"changing", 0}, {"change", 1}, {"changing", 1}, {"change", 0}};
    EXPECT_EQ(calls, expected);
}

TEST_F(SkinTest, SlideSwitchVetoKeepsTheStateAndReportsNothing)
{
    TSlideSwitch sw;
    sw.resize(40, 36);
    sw.show();
    int changes = 0;
    QObject::connect(&sw, &TSlideSwitch::changing, [](bool& canChange) { canChange = false; });
    QObject::connect(&sw, &TSlideSwitch::changed, [&] { ++changes; });

    QTest::mouseClick(&sw, Qt::LeftButton, {}, QPoint(20, 18));
    EXPECT_FALSE(sw.Toggle());
    sw.setState(1, true);
    EXPECT_EQ(sw.State(), 0);
    EXPECT_EQ(changes, 0);
}

TEST_F(SkinTest, SlideSwitchSetFromCodeRaisesNoEvent)
{
    TSlideSwitch sw;
    int events = 0;
    QObject::connect(&sw, &TSlideSwitch::changing, [&](bool&) { ++events; });
    QObject::connect(&sw, &TSlideSwitch::changed, [&] { ++events; });
    sw.setState(1);
    EXPECT_EQ(sw.State(), 1);
    sw.setState(1, true);   // no change, so nothing to ask or report
    EXPECT_EQ(events, 0);
}

TEST_F(SkinTest, OnlyTheSlideSwitchIsATabStopAndClicksStillWork)
{
    QWidget window;
    auto* button = new QPushButton(QStringLiteral("Reset"), &window);
    button->setGeometry(0, 0, 35, 36);
    auto* slider = new QSlider(Qt::Horizontal, &window);
    slider->setGeometry(40, 0, 127, 24);
    auto* spin = new QSpinBox(&window);
    spin->setGeometry(0, 40, 35, 21);
    auto* sw = new TSlideSwitch(&window);
    sw->setGeometry(40, 40, 40, 36);
    auto* label = new QLabel(QStringLiteral("Kanal"), &window);
    label->setGeometry(90, 40, 33, 22);
    skin::prepareControls(&window);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(tarv::test::waitFor([&] { return window.isActiveWindow(); }));

    for (QWidget* w : window.findChildren<QWidget*>()) {
        SCOPED_TRACE(w->metaObject()->className());
        EXPECT_EQ(bool(w->focusPolicy() & Qt::TabFocus), w == sw);
    }
    for (QWidget* w : {static_cast<QWidget*>(button), static_cast<QWidget*>(slider), static_cast<QWidget*>(spin),
                       static_cast<QWidget*>(sw)})
        EXPECT_EQ(w->cursor().shape(), Qt::PointingHandCursor) << w->metaObject()->className();
    EXPECT_NE(label->cursor().shape(), Qt::PointingHandCursor);
    // The spin edit's text field must not bring back the I-beam.
    EXPECT_EQ(spin->findChild<QLineEdit*>()->cursor().shape(), Qt::PointingHandCursor);

    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    QTest::mouseClick(slider, Qt::LeftButton);
    EXPECT_TRUE(slider->hasFocus());   // arrow keys go on driving a clicked slider
}

struct HintedWindow {
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    QFrame* panel = new QFrame(window.get());
    QPushButton* button = new QPushButton(QStringLiteral("Reset"), panel);
    QSlider* slider = new QSlider(Qt::Horizontal, panel);
    QLabel* label = new QLabel(QStringLiteral("C3"), panel);

    HintedWindow()
    {
        window->resize(300, 200);
        panel->setGeometry(10, 10, 280, 180);
        button->setGeometry(0, 0, 35, 36);
        slider->setGeometry(40, 0, 127, 24);
        label->setGeometry(40, 40, 18, 16);
        panel->setToolTip(QStringLiteral("Rückt die geklickte Oktave\r\nin die Mitte der Anzeige"));
        button->setToolTip(QStringLiteral("Rücksetzen der Anzeige\r\nBeenden aller Töne"));
        slider->setToolTip(QStringLiteral("Balanceeinstellung\r\nLinks .. Rechts"));
        window->show();
    }

    // The request Qt sends when the pointer rests on `w`; returns whether it was taken.
    static bool restOn(QWidget* w)
    {
        QHelpEvent event(QEvent::ToolTip, QPoint(2, 2), w->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(w, &event);
        return event.isAccepted();
    }
};

TEST_F(SkinTest, WindowHintSwitchGovernsInheritingControls)
{
    HintedWindow w;
    EXPECT_TRUE(skin::effectiveShowHint(w.button));

    skin::setShowHint(w.window.get(), false);
    EXPECT_FALSE(skin::effectiveShowHint(w.button));
    HintedWindow::restOn(w.button);
    EXPECT_EQ(skin::currentHintWindow(), nullptr);
    EXPECT_FALSE(QToolTip::isVisible());   // nor does Qt's own tooltip step in

    skin::setShowHint(w.window.get(), true);
    EXPECT_TRUE(HintedWindow::restOn(w.button));
    ASSERT_NE(skin::currentHintWindow(), nullptr);
}

TEST_F(SkinTest, OwnHintSwitchShowsWhileTheWindowsIsOff)
{
    HintedWindow w;
    skin::setParentShowHint(w.slider, false);
    skin::setShowHint(w.slider, true);
    skin::setShowHint(w.window.get(), false);

    EXPECT_TRUE(skin::effectiveShowHint(w.slider));
    HintedWindow::restOn(w.slider);
    EXPECT_NE(skin::currentHintWindow(), nullptr);
    skin::hideHint();

    // Inheriting again, it follows the window once more.
    skin::setParentShowHint(w.slider, true);
    EXPECT_FALSE(skin::effectiveShowHint(w.slider));
    EXPECT_FALSE(skin::showHintFor(w.slider, QPoint(0, 0)));
    EXPECT_EQ(skin::currentHintWindow(), nullptr);
}

TEST_F(SkinTest, GivingUpTheParentsSwitchKeepsTheValueInForce)
{
    HintedWindow w;
    skin::setShowHint(w.window.get(), false);
    skin::setParentShowHint(w.button, false);
    skin::setShowHint(w.window.get(), true);
    EXPECT_FALSE(skin::effectiveShowHint(w.button));
}

TEST_F(SkinTest, ControlWithoutHintShowsItsParentsHint)
{
    HintedWindow w;
    EXPECT_TRUE(HintedWindow::restOn(w.label));
    EXPECT_TRUE(skin::currentHintText().startsWith(QStringLiteral("Rückt die geklickte Oktave")));
}

TEST_F(SkinTest, HintWindowIsAtMost250WideAndKeepsTheLines)
{
    HintedWindow w;
    w.button->setToolTip(QStringLiteral("Lernfunktion für externe Controller\r\n1. Dieser Schalter\r\n"
                                        "2. externen Regler betätigen\r\n3. internen Regler anklicken"));
    ASSERT_TRUE(skin::showHintFor(w.button, QPoint(10, 10)));
    QWidget* hint = skin::currentHintWindow();
    ASSERT_NE(hint, nullptr);
    EXPECT_LE(hint->width(), skin::hintMaxWidth);
    EXPECT_GE(hint->height(), 4 * hint->fontMetrics().lineSpacing());
    EXPECT_EQ(skin::currentHintText().count(QLatin1Char('\n')), 3);
    EXPECT_FALSE(skin::currentHintText().contains(QLatin1Char('\r')));
    skin::hideHint();

    // Long words and long lines are broken inside the width.
    w.button->setToolTip(QString(80, QLatin1Char('W')) + QStringLiteral("\r\n")
                         + QStringLiteral("Für den Splitkanal kann die Oktave nach unten verschoben werden"));
    ASSERT_TRUE(skin::showHintFor(w.button, QPoint(10, 10)));
    hint = skin::currentHintWindow();
    EXPECT_LE(hint->width(), skin::hintMaxWidth);
    EXPECT_GT(hint->height(), 3 * hint->fontMetrics().lineSpacing());
}

TEST_F(SkinTest, HintHidesAfterItsTimeAndStaysAwayUntilThePointerLeaves)
{
    HintedWindow w;
    skin::setHintHideTimeout(100ms);
    ASSERT_TRUE(HintedWindow::restOn(w.button));
    ASSERT_NE(skin::currentHintWindow(), nullptr);
    EXPECT_TRUE(tarv::test::waitFor([] { return skin::currentHintWindow() == nullptr; }, 5s));

    HintedWindow::restOn(w.button);
    EXPECT_EQ(skin::currentHintWindow(), nullptr);

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(w.button, &leave);
    HintedWindow::restOn(w.button);
    EXPECT_NE(skin::currentHintWindow(), nullptr);
}

TEST_F(SkinTest, HintHidesWhenThePointerLeavesTheControl)
{
    HintedWindow w;
    ASSERT_TRUE(HintedWindow::restOn(w.button));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(w.button, &leave);
    EXPECT_EQ(skin::currentHintWindow(), nullptr);
    // Leaving is no dismissal: resting on it again brings the hint back.
    HintedWindow::restOn(w.button);
    EXPECT_NE(skin::currentHintWindow(), nullptr);
}

int distinctColours(const QPixmap& picture)
{
    const QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32);
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0)
                colours.insert(image.pixel(x, y));
    return int(colours.size());
}

const std::array<int, 24> builtInKeyMap = {81, 50, 87, 51, 69, 82, 53, 84,  54, 90,  55,  85,
                                           86, 71, 66, 72, 78, 77, 75, 188, 76, 190, 192, 189};

TEST_F(SkinTest, PicturesHaveTheirSizesAndAreDrawn)
{
    const QPixmap connector = skin::midiConnectorPicture();
    EXPECT_EQ(connector.size(), QSize(30, 30));
    EXPECT_GT(distinctColours(connector), 10);

    const QPixmap keys = skin::pcKeysPicture(builtInKeyMap);
    EXPECT_EQ(keys.size(), QSize(192, 46));
    EXPECT_GT(distinctColours(keys), 10);

    EXPECT_FALSE(skin::appIcon().isNull());
}

#ifndef _WIN32   // see TARV_NOT_ON_WINDOWS in tests/CMakeLists.txt
TEST_F(SkinTest, PcKeysPictureShowsTheKeyMapItIsGiven)
{
    std::array<int, 24> other = builtInKeyMap;
    other[23] = 219;   // ß instead of -
    EXPECT_NE(skin::pcKeysPicture(builtInKeyMap).toImage(), skin::pcKeysPicture(other).toImage());
    EXPECT_EQ(skin::pcKeysPicture(builtInKeyMap).toImage(), skin::pcKeysPicture(builtInKeyMap).toImage());
}
#endif

TEST(KeyCaption, VirtualKeyCodesAsAGermanKeyboardLabelsThem)
{
    const std::pair<int, const char*> table[] = {{81, "Q"},  {90, "Z"},  {50, "2"},  {48, "0"},  {188, ","}, {190, "."},
                                                 {189, "-"}, {192, "Ö"}, {186, "Ü"}, {222, "Ä"}, {191, "#"}, {187, "+"},
                                                 {219, "ß"}, {0, ""},    {255, ""},  {97, ""}};
    for (const auto& [code, caption] : table)
        EXPECT_EQ(skin::keyCaption(code), QString::fromUtf8(caption)) << code;
}

// The dialogs' light faces inside the dark skin come from the style sheet's roles: the face
// colour inside, the frame, and black text.
TEST_F(SkinTest, TheDialogsListsAndMemoTakeTheirFacesFromTheirRoles)
{
    struct Case {
        const char* role;
        QColor face;
        QColor frame;
        bool memo;
    };
    const Case cases[] = {{skin::role::LightList, QColor(240, 240, 240), Qt::black, false},
                          {skin::role::CheckList, QColor(205, 205, 205), Qt::black, false},
                          {skin::role::NotePaper, QColor(244, 244, 240), skin::colour::PanelDark, true}};
    for (const Case& c : cases) {
        QWidget window;
        window.resize(120, 60);
        QWidget* control = nullptr;
        if (c.memo) {
            auto* memo = new QPlainTextEdit(QStringLiteral("Dur"), &window);
            memo->setFrameShape(QFrame::StyledPanel);
            control = memo;
        } else {
            auto* list = new TListBox(&window);
            list->addItem(QStringLiteral("Dur"));
            control = list;
        }
        control->setGeometry(0, 0, 120, 60);
        skin::setRole(control, c.role);
        window.show();
        const QImage image = window.grab().toImage();
        EXPECT_EQ(image.pixelColor(60, 50), c.face) << c.role;
        EXPECT_EQ(image.pixelColor(60, 0), c.frame) << c.role;
        // The text is dark on the light face.
        int darkest = 255;
        for (int x = 0; x < 40; ++x)
            for (int y = 1; y < 16; ++y)
                darkest = std::min(darkest, qGray(image.pixel(x, y)));
        EXPECT_LT(darkest, 64) << c.role;
    }
}

// The mode list starts under a cover: its drop-down list is made when it first opens, and the
// list shows in the skin's face while the box has its bold one.
TEST_F(SkinTest, TheModeListMakesItsListWhenItFirstOpens)
{
    TModusComboBox box;
    box.addItems({QStringLiteral("Standard"), QStringLiteral("Split")});
    box.setGeometry(0, 0, 120, 20);
    skin::setRole(&box, skin::role::ModeList);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    ASSERT_TRUE(box.font().bold());
    EXPECT_EQ(box.findChild<QAbstractItemView*>(), nullptr);

    QTest::mouseClick(&box, Qt::LeftButton);
    ASSERT_TRUE(box.view()->isVisible());
    EXPECT_EQ(box.view()->font().toString().toStdString(), QApplication::font().toString().toStdString());
    box.hidePopup();
}

TEST_F(SkinTest, StyleSheetNamesOnlyKnownColours)
{
    const QString sheet = skin::styleSheet();
    EXPECT_TRUE(sheet.contains(skin::colour::Yellow.name()));
    EXPECT_FALSE(sheet.contains(QLatin1Char('@'))) << "an unknown colour name is left in the sheet";
    EXPECT_EQ(qApp->styleSheet(), sheet);
}

}   // namespace
