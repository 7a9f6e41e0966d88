// Playing from the PC keyboard with synthesized key events through the window's key preview.
#include "PemoFixture.h"

#include "keycodes/KeyCodes.h"
#include "settings/IniFile.h"
#include "skin/PictureButton.h"
#include "widgets/Klavier.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>

namespace {

class PemoPcKeysTest : public PemoTest {
protected:
    void SetUp() override
    {
        PemoTest::SetUp();
        startUp();
        edit([&](TPlayerState& s) { s.ChannelSettings.Velocity = 100; });
        loop->clearSent();
    }

    // A key event as the window system delivers it to the window's focused control.
    void key(QEvent::Type type, int qtKey, const QString& text, bool autoRepeat = false)
    {
        QKeyEvent event(type, qtKey, Qt::NoModifier, text, autoRepeat);
        QApplication::sendEvent(frm->btnReset, &event);
    }
    void press(int qtKey, const QString& text, bool autoRepeat = false)
    {
        key(QEvent::KeyPress, qtKey, text, autoRepeat);
    }
    void release(int qtKey, const QString& text, bool autoRepeat = false)
    {
        key(QEvent::KeyRelease, qtKey, text, autoRepeat);
    }
    // Press and release; returns what went out.
    std::vector<Bytes> strike(int qtKey, const QString& text)
    {
        loop->clearSent();
        press(qtKey, text);
        release(qtKey, text);
        return sentBytes();
    }
    static std::vector<Bytes> noteOnOff(std::uint8_t note) { return {{0x90, note, 100}, {0x80, note, 0}}; }

    // A hand edit of the key map in the settings file.
    void editKeyMap(const char* entry, int code)
    {
        tarv::IniFile ini = tarv::IniFile::load(settingsPath());
        ini.setValue("keyboard", entry, code);
        ini.save(settingsPath());
    }
    void readKeyMapInLearnMode()
    {
        frm->btnLerne->click();
        frm->bbtnPckey->click();
    }
};

TEST_F(PemoPcKeysTest, DefaultKeysPlayTheOctavesLeftAndRightOfTheSplitPoint)
{
    EXPECT_EQ(strike(Qt::Key_Q, "q"), noteOnOff(48));
    EXPECT_EQ(strike(Qt::Key_2, "2"), noteOnOff(49));
    EXPECT_EQ(strike(Qt::Key_U, "u"), noteOnOff(59));
    EXPECT_EQ(strike(Qt::Key_V, "v"), noteOnOff(60));
    EXPECT_EQ(strike(Qt::Key_Comma, ","), noteOnOff(67));
    EXPECT_EQ(strike(Qt::Key_Minus, "-"), noteOnOff(71));
    EXPECT_EQ(strike(Qt::Key_Slash, "/"), noteOnOff(71));        // OEM 2 (US), before the map is read
    EXPECT_EQ(strike(Qt::Key_NumberSign, "#"), noteOnOff(71));   // OEM 2 (German)
    EXPECT_TRUE(strike(Qt::Key_X, "x").empty());
    // The keypad minus is another key.
    loop->clearSent();
    QKeyEvent keypadMinus(QEvent::KeyPress, Qt::Key_Minus, Qt::KeypadModifier, "-");
    QApplication::sendEvent(frm->btnReset, &keypadMinus);
    EXPECT_TRUE(sentBytes().empty());
}

TEST_F(PemoPcKeysTest, BlocksMoveWithTheSplitOctave)
{
    edit([&](TPlayerState& s) { s.SplitOctave = 1; });
    EXPECT_EQ(strike(Qt::Key_Q, "q"), noteOnOff(0));
    edit([&](TPlayerState& s) { s.SplitOctave = 10; });
    EXPECT_EQ(strike(Qt::Key_V, "v"), noteOnOff(120));
    EXPECT_EQ(strike(Qt::Key_Comma, ","), noteOnOff(127));
    EXPECT_TRUE(strike(Qt::Key_L, "l").empty());        // rightG# would be 128: no such note
    EXPECT_TRUE(strike(Qt::Key_Period, ".").empty());   // rightA: 129
    EXPECT_FALSE(frm->PcKeyHeld(20));
}

TEST_F(PemoPcKeysTest, AutoRepeatPressesOnceAndReleasesOnce)
{
    press(Qt::Key_Q, "q");
    for (int i = 0; i < 3; ++i) {
        release(Qt::Key_Q, "q", true);   // X11 reports auto-repeat as release/press pairs
        press(Qt::Key_Q, "q", true);
    }
    EXPECT_TRUE(frm->Pemo->IsMarked(48));
    release(Qt::Key_Q, "q");
    EXPECT_EQ(sentBytes(), noteOnOff(48));
    EXPECT_FALSE(frm->Pemo->IsMarked(48));
}

TEST_F(PemoPcKeysTest, KeyUpReleasesWhileSwitchedOffAndNothingPlaysThen)
{
    press(Qt::Key_Q, "q");
    frm->bbtnPckey->click();
    EXPECT_EQ(frm->bbtnPckey->Caption(), "0");
    release(Qt::Key_Q, "q");
    EXPECT_EQ(sentBytes(), noteOnOff(48));
    EXPECT_TRUE(strike(Qt::Key_Q, "q").empty());
    frm->bbtnPckey->click();
    EXPECT_EQ(frm->bbtnPckey->Caption(), "I");
    EXPECT_EQ(strike(Qt::Key_Q, "q"), noteOnOff(48));
}

// With Control held a key is a command, never a note; a note key let go then still ends its note.
TEST_F(PemoPcKeysTest, WithControlHeldKeysPlayNothingButStillEndTheirNotes)
{
    press(Qt::Key_Q, "q");
    for (const auto& [type, qtKey] : {std::pair{QEvent::KeyRelease, Qt::Key_Q}, {QEvent::KeyPress, Qt::Key_W}}) {
        QKeyEvent event(type, qtKey, Qt::ControlModifier, {});
        QApplication::sendEvent(frm->btnReset, &event);
    }
    EXPECT_EQ(sentBytes(), noteOnOff(48));
}

TEST_F(PemoPcKeysTest, YPlaysUntilTheMapIsReadFromTheFile)
{
    EXPECT_EQ(strike(Qt::Key_Y, "y"), noteOnOff(57));
    EXPECT_EQ(strike(Qt::Key_Z, "z"), noteOnOff(57));
    readKeyMapInLearnMode();
    EXPECT_TRUE(strike(Qt::Key_Y, "y").empty());
    EXPECT_EQ(strike(Qt::Key_Z, "z"), noteOnOff(57));
    EXPECT_TRUE(strike(Qt::Key_Slash, "/").empty());
}

TEST_F(PemoPcKeysTest, HandEditedKeyMapIsReadAgainInLearnMode)
{
    editKeyMap("leftC", 65);   // A
    readKeyMapInLearnMode();
    EXPECT_FALSE(state().LearnOn);
    EXPECT_EQ(frm->btnLerne->text(), "Lerne Aus");
    EXPECT_EQ(frm->bbtnPckey->Caption(), "I");
    EXPECT_EQ(strike(Qt::Key_A, "a"), noteOnOff(48));
    EXPECT_TRUE(strike(Qt::Key_Q, "q").empty());

    // Every later read takes the file as it is now; a code in two entries plays both.
    editKeyMap("leftC", 74);   // J
    editKeyMap("leftD", 74);
    readKeyMapInLearnMode();
    EXPECT_TRUE(strike(Qt::Key_A, "a").empty());
    EXPECT_EQ(strike(Qt::Key_J, "j"),
              (std::vector<Bytes>{{0x90, 48, 100}, {0x90, 50, 100}, {0x80, 48, 0}, {0x80, 50, 0}}));
}

TEST_F(PemoPcKeysTest, AKeyThatSetsTheSplitPointReleasesTheNoteItPressed)
{
    chooseMode(1);
    frm->seRkanal->setValue(2);
    QTest::mouseClick(frm->btnSetSplit, Qt::LeftButton);
    ASSERT_TRUE(state().SplitArmed);
    loop->clearSent();

    // Q plays 48, which becomes the split point and moves the blocks an octave down.
    EXPECT_EQ(strike(Qt::Key_Q, "q"), (std::vector<Bytes>{{0x91, 48, 100}, {0x81, 48, 0}}));
    EXPECT_EQ(state().SplitOctave, 4);
    EXPECT_FALSE(frm->Pemo->IsMarked(48));
    EXPECT_FALSE(state().NotesOn[48]);
}

TEST_F(PemoPcKeysTest, HeldKeysAreReleasedWhenTheirKeyUpCannotArrive)
{
    // The key map is read again while Q is held: its key-up would match no entry any more.
    editKeyMap("leftC", 65);
    press(Qt::Key_Q, "q");
    readKeyMapInLearnMode();
    EXPECT_EQ(sentBytes(), noteOnOff(48));
    EXPECT_FALSE(frm->PcKeyHeld(0));

    // Another window takes the keyboard focus while A is held.
    showWindow();
    loop->clearSent();
    press(Qt::Key_A, "a");
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(tarv::test::waitFor([&] { return !frm->PcKeyHeld(0); }));
    EXPECT_EQ(sentBytes(), noteOnOff(48));
    release(Qt::Key_A, "a");
    EXPECT_EQ(sentBytes().size(), 2u);
}

}   // namespace
