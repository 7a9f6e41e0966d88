// The drawn keyboard TKeys and the readout strip TMKeysO: picture, marks, events, mouse.
#include "widgets/Klavier.h"
#include "widgets/KlavierO.h"

#include "TestSupport.h"

#include <QImage>
#include <QPaintEvent>
#include <QRegion>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

QImage picture(QWidget& w)
{
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QRgb at(const QImage& img, int x, int y)
{
    return img.pixel(x, y) & 0xFFFFFF;
}

constexpr QRgb Black = 0x000000, White = 0xFFFFFF, Silver = 0xC0C0C0, DarkGrey = 0x3F3F3F;

void makeMainKeyboard(TKeysBase& k)
{
    k.resize(1260, 107);
    k.setNoteWidth(18);
    k.setBaseOctave(0);
}

// Records the events of a keyboard as "on 60 100" / "off 60 0".
struct EventLog {
    std::vector<std::string> events;
    void attach(TKeysBase& k)
    {
        k.setOnNoteOn([this, &k](QObject* sender, int note, int velocity) {
            EXPECT_EQ(sender, &k);
            events.push_back("on " + std::to_string(note) + " " + std::to_string(velocity));
        });
        k.setOnNoteOff([this, &k](QObject* sender, int note, int velocity) {
            EXPECT_EQ(sender, &k);
            events.push_back("off " + std::to_string(note) + " " + std::to_string(velocity));
        });
    }
};

using Events = std::vector<std::string>;

class KeysTest : public testing::Test {
protected:
    void SetUp() override { tarv::test::ensureApplication(); }
};

}   // namespace

TEST_F(KeysTest, UnmarkedMainKeyboardPicture)
{
    TKeys keys;
    makeMainKeyboard(keys);
    const QImage img = picture(keys);
    ASSERT_EQ(img.size(), QSize(1260, 107));
    EXPECT_EQ(at(img, 0, 50), Black);   // outline
    EXPECT_EQ(at(img, 1259, 50), Black);
    EXPECT_EQ(at(img, 630, 106), Black);
    EXPECT_EQ(at(img, 5, 90), White);    // C
    EXPECT_EQ(at(img, 18, 90), Black);   // boundary line C|D
    EXPECT_EQ(at(img, 17, 90), White);
    // C#: outline on columns 12 and 22, rows 0..63, black inside; white below it.
    EXPECT_EQ(at(img, 11, 30), White);
    EXPECT_EQ(at(img, 12, 30), Black);
    EXPECT_EQ(at(img, 16, 30), Black);
    EXPECT_EQ(at(img, 23, 30), White);
    EXPECT_EQ(at(img, 16, 64), White);
}

// Only the face of a marked key changes, and it shows the complement of its colour:
// black on a white key, white inside a black key's outline.
TEST_F(KeysTest, MarkingInvertsExactlyTheFaceOfTheKey)
{
    TKeys fresh;
    makeMainKeyboard(fresh);
    const QImage unmarked = picture(fresh);

    for (const int note : {60, 61, 64, 65, 69, 71, 119}) {
        SCOPED_TRACE(note);
        TKeys keys;
        makeMainKeyboard(keys);
        keys.PressNote(note, 100, false);
        ASSERT_TRUE(keys.IsMarked(note));
        const QImage marked = picture(keys);
        QRect faces[2];
        const int n = KeyGeometry::FaceRects(keys.GetKeyMetrics(), 0, note, faces);
        ASSERT_GT(n, 0);
        const QRegion face = n == 2 ? QRegion(faces[0]) + faces[1] : QRegion(faces[0]);
        int changed = 0;
        for (int y = 0; y < 107; ++y) {
            for (int x = 0; x < 1260; ++x) {
                const QRgb before = at(unmarked, x, y);
                const QRgb after = at(marked, x, y);
                if (face.contains(QPoint(x, y))) {
                    ASSERT_EQ(after, ~before & 0xFFFFFF) << x << "," << y;
                    ++changed;
                } else {
                    ASSERT_EQ(after, before) << x << "," << y;
                }
            }
        }
        EXPECT_GT(changed, 0);
    }
}

TEST_F(KeysTest, ReleasedAndAllOffKeyboardEqualsAFreshOne)
{
    TKeys fresh;
    makeMainKeyboard(fresh);
    const QImage unmarked = picture(fresh);

    TKeys keys;
    makeMainKeyboard(keys);
    keys.PressNote(60, 100, false);
    keys.PressNote(61, 100, false);
    keys.PressNote(60, 100, false);   // marked twice: still one inversion
    ASSERT_NE(picture(keys), unmarked);
    keys.ReleaseNote(60, 0, false);
    keys.ReleaseNote(60, 0, false);
    keys.AllNotesOff(false);
    EXPECT_FALSE(keys.IsMarked(61));
    EXPECT_EQ(picture(keys), unmarked);
}

// The picture follows noteMap through property changes; a note below the first C is kept
// but not drawn.
TEST_F(KeysTest, MarksMoveWithBaseOctaveNoteWidthAndOrientation)
{
    TKeys keys;
    makeMainKeyboard(keys);
    keys.PressNote(60, 100, false);
    keys.setBaseOctave(1);   // C5 is now the 29th white key: 504..521
    QImage img = picture(keys);
    EXPECT_EQ(at(img, 510, 90), Black);
    EXPECT_EQ(at(img, 635, 90), White);

    keys.PressNote(5, 100, false);   // F0 lies below C1
    EXPECT_TRUE(keys.IsMarked(5));
    keys.ReleaseNote(60, 0, false);
    TKeys fresh;
    makeMainKeyboard(fresh);
    fresh.setBaseOctave(1);
    EXPECT_EQ(picture(keys), picture(fresh));

    keys.setNoteWidth(0);   // counts as 1; must not divide by zero
    EXPECT_EQ(picture(keys).size(), QSize(1260, 107));
}

// The vertical keyboard is the horizontal one turned a quarter, marks included.
TEST_F(KeysTest, VerticalPictureIsTheHorizontalOneTurned)
{
    TKeys h, v;
    makeMainKeyboard(h);
    makeMainKeyboard(v);
    v.resize(107, 1260);
    v.setOrientation(TKeyboardOrientation::kbVertical);
    for (const int note : {0, 1, 60, 66, 119}) {
        h.PressNote(note, 1, false);
        v.PressNote(note, 1, false);
    }
    const QImage hi = picture(h), vi = picture(v);
    for (int y = 0; y < 1260; ++y)
        for (int x = 0; x < 107; ++x)
            ASSERT_EQ(at(vi, x, y), at(hi, 1259 - y, x)) << x << "," << y;
}

TEST_F(KeysTest, ReadoutStripIsSilverAndMarksDarkGrey)
{
    TMKeysO strip;
    strip.resize(1260, 18);
    strip.setNoteWidth(18);
    strip.setBaseOctave(0);
    strip.setBlackBrush(QColor(192, 192, 192));
    strip.setWhiteBrush(QColor(192, 192, 192));
    strip.setVelocityMode(false);
    QImage img = picture(strip);
    EXPECT_EQ(at(img, 635, 14), Silver);
    EXPECT_EQ(at(img, 646, 5), Silver);
    EXPECT_EQ(at(img, 642, 5), Black);
    strip.PressNote(60, 0, true);
    strip.PressNote(61, 0, true);
    img = picture(strip);
    EXPECT_EQ(at(img, 635, 14), DarkGrey);
    EXPECT_EQ(at(img, 646, 5), DarkGrey);
    EXPECT_EQ(at(img, 642, 5), Black);
}

namespace {

// Records the region of every paint event.
class RecordingKeys : public TKeys {
public:
    QRegion painted;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        painted += event->region();
        TKeys::paintEvent(event);
    }
};

}   // namespace

TEST_F(KeysTest, MarkingRepaintsOnlyTheKeysFace)
{
    RecordingKeys keys;
    makeMainKeyboard(keys);
    keys.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&keys));
    ASSERT_TRUE(tarv::test::waitFor([&] { return !keys.painted.isEmpty(); }));
    keys.painted = QRegion();

    keys.PressNote(61, 100, false);
    ASSERT_TRUE(tarv::test::waitFor([&] { return !keys.painted.isEmpty(); }));
    EXPECT_EQ(keys.painted, QRegion(keys.KeyRect(61)));
    EXPECT_EQ(keys.KeyRect(61), QRect(643, 1, 9, 62));

    keys.painted = QRegion();
    keys.ReleaseNote(61, 0, false);
    ASSERT_TRUE(tarv::test::waitFor([&] { return !keys.painted.isEmpty(); }));
    EXPECT_EQ(keys.painted, QRegion(keys.KeyRect(61)));
}

TEST_F(KeysTest, EventsOfPressReleaseAndAllNotesOff)
{
    TKeys keys;
    EventLog log;
    log.attach(keys);
    keys.PressNote(60, 100, true);
    keys.PressNote(60, 90, true);   // marked already: raised again
    keys.PressNote(62, 80, false);
    keys.PressNote(200, 70, true);    // outside 0..127: not marked, still raised
    keys.ReleaseNote(64, 55, true);   // not marked: raised, velocity 0
    keys.PressNote(40, 1, true);
    keys.AllNotesOff(true);   // ascending, marked notes only
    keys.AllNotesOff(true);
    EXPECT_EQ(
        log.events,
        (Events{"on 60 100", "on 60 90", "on 200 70", "off 64 0", "on 40 1", "off 40 0", "off 60 0", "off 62 0"}));
    EXPECT_FALSE(keys.IsMarked(200));
}

namespace {

// A keyboard inside a window; the mouse goes through the window, so that Qt's routing
// and implicit grab take part, as they do for the player's mouse.
class MouseTest : public KeysTest {
protected:
    void SetUp() override
    {
        KeysTest::SetUp();
        window = std::make_unique<QWidget>();
        window->resize(1300, 150);
        keys = new TKeys(window.get());
        makeMainKeyboard(*keys);
        keys->move(20, 17);
        log.attach(*keys);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    QWindow* handle() { return window->windowHandle(); }
    QPoint p(int x, int y) { return QPoint(x + 20, y + 17); }   // keyboard to window coordinates
    void press(int x, int y, Qt::MouseButton b = Qt::LeftButton) { QTest::mousePress(handle(), b, {}, p(x, y)); }
    void move(int x, int y) { QTest::mouseMove(handle(), p(x, y)); }
    void release(int x, int y, Qt::MouseButton b = Qt::LeftButton) { QTest::mouseRelease(handle(), b, {}, p(x, y)); }

    std::unique_ptr<QWidget> window;
    TKeys* keys = nullptr;
    EventLog log;
};

}   // namespace

TEST_F(MouseTest, GlideOverFiveKeys)
{
    press(630, 50);   // C5, velocity 59
    move(640, 60);    // still C5
    move(650, 100);   // D5
    move(670, 90);    // E5
    move(690, 80);    // F5
    move(710, 70);    // G5
    release(710, 70);
    EXPECT_EQ(log.events,
              (Events{"on 60 59", "off 60 0", "on 62 118", "off 62 0", "on 64 106", "off 64 0", "on 65 94", "off 65 0",
                      "on 67 83", "off 67 0"}));
    EXPECT_FALSE(keys->IsMarked(67));
}

TEST_F(MouseTest, DragOutsideAndBackKeepsTheHeldKey)
{
    press(630, 90);
    move(630, 120);   // below the keyboard, still grabbed
    move(-15, 50);    // left of it
    move(635, 95);    // back on C5
    EXPECT_EQ(log.events, Events{"on 60 106"});
    EXPECT_TRUE(keys->IsMarked(60));
    release(-15, 120);   // the release outside still reaches the keyboard
    EXPECT_EQ(log.events, (Events{"on 60 106", "off 60 0"}));
}

TEST_F(MouseTest, LastColumnAndRowAreIgnored)
{
    press(1230, 90);   // A9
    move(1259, 90);    // B9, but on the last column
    move(650, 106);    // D5, but on the last row
    EXPECT_EQ(log.events, Events{"on 117 106"});
    move(1258, 90);
    move(650, 105);
    release(650, 105);
    EXPECT_EQ(log.events, (Events{"on 117 106", "off 117 0", "on 119 106", "off 119 0", "on 62 124", "off 62 0"}));
}

TEST_F(MouseTest, RightButtonReleasesOnlyTheLastMouseNote)
{
    press(630, 90, Qt::RightButton);
    release(630, 90, Qt::RightButton);
    EXPECT_TRUE(log.events.empty());   // no note played with the mouse yet

    press(630, 90);
    release(630, 90);
    press(700, 90, Qt::RightButton);
    move(750, 90);   // moves without the left button do nothing
    release(700, 90, Qt::RightButton);
    EXPECT_EQ(log.events, (Events{"on 60 106", "off 60 0", "off 60 0"}));
    EXPECT_FALSE(keys->IsMarked(60));
}

TEST_F(MouseTest, WithoutVelocityModeEveryNoteGets127)
{
    keys->setVelocityMode(false);
    press(12, 10);
    move(40, 100);
    release(40, 100);
    EXPECT_EQ(log.events, (Events{"on 1 127", "off 1 0", "on 4 127", "off 4 0"}));
}
