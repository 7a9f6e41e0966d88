// Note routing and the split keyboard: the bytes on the wire for every way a note can take.
#include "PemoFixture.h"

#include "dialogs/twInstrument.h"
#include "widgets/Klavier.h"
#include "widgets/KlavierO.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace {

class PemoRoutingTest : public PemoTest {
protected:
    void SetUp() override
    {
        PemoTest::SetUp();
        startUp();
        loop->clearSent();
    }

    void press(int note, int velocity = 100) { frm->Pemo->PressNote(note, velocity, true); }
    void release(int note) { frm->Pemo->ReleaseNote(note, 0, true); }

    // The player holds the mouse button down on a key, at `row` pixels from its top, or lets it go.
    QPoint keyPoint(int note, int row = -1) const
    {
        const QRect key = frm->Pemo->KeyRect(note);
        return {key.center().x(), row < 0 ? key.center().y() : row};
    }
    void mouseDown(int note) { QTest::mousePress(frm->Pemo, Qt::LeftButton, {}, keyPoint(note)); }
    void mouseUp(int note) { QTest::mouseRelease(frm->Pemo, Qt::LeftButton, {}, keyPoint(note)); }

    // Split mode with the right channel as the player shows it (1..16).
    void splitMode(int rightChannelShown)
    {
        chooseMode(1);
        frm->seRkanal->setValue(rightChannelShown);
    }
};

TEST_F(PemoRoutingTest, StandardModeSendsEveryNoteOnTheLeftChannelTransposed)
{
    edit([&](TPlayerState& s) { s.RightChannel = 4; });
    edit([&](TPlayerState& s) { s.Transpose = 2; });

    press(10);
    press(60, 90);
    release(60);

    EXPECT_EQ(sentBytes(), (std::vector<Bytes>{{0x90, 12, 100}, {0x90, 62, 90}, {0x80, 62, 0}}));
}

TEST_F(PemoRoutingTest, SplitAt60GivesTheSplitKeyToTheRightSideAndShiftsItByOctaves)
{
    splitMode(3);

    press(59);
    press(60);
    frm->seSplitOktave->setValue(3);
    press(60);
    press(72);

    EXPECT_EQ(sentBytes(), (std::vector<Bytes>{{0x90, 59, 100}, {0x92, 60, 100}, {0x92, 36, 100}, {0x92, 48, 100}}));
}

TEST_F(PemoRoutingTest, StandardModeDisablesTheSplitControlsAndKeepsTheirSettings)
{
    splitMode(3);
    frm->seSplitOktave->setValue(3);

    chooseMode(0);
    EXPECT_FALSE(frm->btnSetSplit->isEnabled());
    EXPECT_FALSE(frm->seRkanal->isEnabled());
    EXPECT_FALSE(frm->lblSplit->isEnabled());
    press(72);

    chooseMode(1);
    EXPECT_TRUE(frm->seSplitOktave->isEnabled());
    press(72);

    EXPECT_EQ(sentBytes(), (std::vector<Bytes>{{0x90, 72, 100}, {0x92, 48, 100}}));
}

TEST_F(PemoRoutingTest, ASplitPointAtFSharp4LimitsTheOctaveClearsTheShiftAndNamesTheButton)
{
    splitMode(2);
    frm->seSplitOktave->setValue(2);
    frm->btnSetSplit->click();
    ASSERT_TRUE(state().SplitArmed);

    press(54, 80);

    EXPECT_FALSE(state().SplitArmed);
    EXPECT_EQ(state().SplitNote, 54);
    EXPECT_EQ(state().SplitOctave, 4);
    EXPECT_EQ(frm->btnSetSplit->text(), "Set F#4");
    EXPECT_EQ(frm->seSplitOktave->maximum(), 4);
    EXPECT_EQ(frm->seSplitOktave->value(), 4);
    EXPECT_EQ(state().SplitChannelOctave, 4);
    // Taken under the new split point: the note itself plays on the right side, unshifted.
    EXPECT_EQ(sentBytes(), (std::vector<Bytes>{{0x91, 54, 80}}));
}

TEST_F(PemoRoutingTest, AnArmedSplitSwallowsNotesBelow12AndWaitsForTheNextNote)
{
    splitMode(2);
    frm->btnSetSplit->click();

    press(11);
    EXPECT_TRUE(sentBytes().empty());
    EXPECT_TRUE(state().SplitArmed);
    EXPECT_EQ(state().SplitNote, 60);
    EXPECT_EQ(frm->btnSetSplit->text(), "Set C5");

    press(30);
    EXPECT_FALSE(state().SplitArmed);
    EXPECT_EQ(state().SplitNote, 30);
    EXPECT_EQ(frm->btnSetSplit->text(), "Set F#2");
    EXPECT_EQ(sentBytes(), (std::vector<Bytes>{{0x91, 30, 100}}));

    // A second click disarms without a note.
    frm->btnSetSplit->click();
    frm->btnSetSplit->click();
    EXPECT_FALSE(state().SplitArmed);
}

TEST_F(PemoRoutingTest, ANoteOffGoesWhereItsNoteOnWentWhateverChangedMeanwhile)
{
    splitMode(2);
    press(72);
    frm->seSplitOktave->setValue(4);
    release(72);
    press(72);

    EXPECT_EQ(sentBytes(), (std::vector<Bytes>{{0x91, 72, 100}, {0x81, 72, 0}, {0x91, 60, 100}}));
    EXPECT_FALSE(state().NotesOn[72]);
}

TEST_F(PemoRoutingTest, HeldKeysEndOnTheirChannelsAfterThePlayerMovedTheChannelsAndTheOctave)
{
    showWindow();
    splitMode(2);
    loop->clearSent();
    int velocity = 0;
    ASSERT_EQ(frm->Pemo->NoteAt(keyPoint(72).x(), keyPoint(72).y(), velocity), 72);
    const auto pcVelocity = state().ChannelSettings.Velocity;
    mouseDown(72);
    QTest::keyPress(frm.get(), Qt::Key_Q);   // 48, the left side

    clickSpinButton(frm->seLKanal, true);
    clickSpinButton(frm->seRkanal, true);
    clickSpinButton(frm->seSplitOktave, false);
    ASSERT_EQ(state().LeftChannel, 1);
    ASSERT_EQ(state().RightChannel, 2);
    ASSERT_EQ(state().SplitChannelOctave, 4);
    mouseUp(72);
    QTest::keyRelease(frm.get(), Qt::Key_Q);

    EXPECT_EQ(
        sentNotes(),
        (std::vector<Bytes>{{0x91, 72, std::uint8_t(velocity)}, {0x90, 48, pcVelocity}, {0x81, 72, 0}, {0x80, 48, 0}}));
    EXPECT_FALSE(state().NotesOn[72]);
    EXPECT_FALSE(state().NotesOn[48]);
}

TEST_F(PemoRoutingTest, TheSameKeyFromTwoSourcesSendsTwoNoteOnsAndTheFirstReleaseEndsIt)
{
    press(64, 90);   // the mouse
    press(64, 70);   // an external keyboard
    release(64);

    EXPECT_EQ(sentBytes(), (std::vector<Bytes>{{0x90, 64, 90}, {0x90, 64, 70}, {0x80, 64, 0}}));
    EXPECT_FALSE(frm->Pemo->IsMarked(64));
}

TEST_F(PemoRoutingTest, ResetEndsEveryNoteOnBothChannelsAndRestoresBothPedals)
{
    writeSettings("[kanal2]\nSustain=127\n");
    edit([&](TPlayerState& s) { s.RightChannel = 2; });   // standard mode: Reset reaches the right channel all the same
    frm->btnSustain->click();
    press(60);
    loop->clearSent();

    frm->btnReset->click();

    std::vector<Bytes> expected{{0xB2, 64, 0}, {0xB0, 64, 0}, {0xB0, 123, 0}, {0xB2, 123, 0}};
    for (int note = 0; note < 128; ++note)
        expected.push_back({0x80, static_cast<std::uint8_t>(note), 0});
    expected.push_back({0xB2, 64, 127});
    expected.push_back({0xB0, 64, 127});
    EXPECT_EQ(sentBytes(), expected);
    EXPECT_FALSE(frm->Pemo->IsMarked(60));
    EXPECT_FALSE(state().NotesOn[60]);
    EXPECT_TRUE(state().SustainOn);
    EXPECT_EQ(frm->btnSustain->text(), "Sustain Ein");
}

TEST_F(PemoRoutingTest, ResetInSplitModeWithEqualChannelsSendsEachControllerTwice)
{
    splitMode(1);
    frm->seSplitOktave->setValue(4);

    frm->btnReset->click();

    std::vector<Bytes> expected{{0xB0, 64, 0}, {0xB0, 64, 0}, {0xB0, 123, 0}, {0xB0, 123, 0}};
    for (int note = 0; note < 128; ++note)
        expected.push_back({0x80, static_cast<std::uint8_t>(note < 60 ? note : note - 12), 0});
    expected.push_back({0xB0, 64, 0});
    expected.push_back({0xB0, 64, 0});
    EXPECT_EQ(sentBytes(), expected);
}

TEST_F(PemoRoutingTest, AClickOnTheDrawnKeyboardSendsTheRoutedNote)
{
    showWindow();
    splitMode(4);
    loop->clearSent();

    const QPoint point = frm->Pemo->KeyRect(62).center();
    int velocity = 0;
    ASSERT_EQ(frm->Pemo->NoteAt(point.x(), point.y(), velocity), 62);
    QTest::mouseClick(frm->Pemo, Qt::LeftButton, {}, point);

    EXPECT_EQ(sentBytes(), (std::vector<Bytes>{{0x93, 62, static_cast<std::uint8_t>(velocity)}, {0x83, 62, 0}}));
}

TEST_F(PemoRoutingTest, TheReadoutStripMarksTheShiftedNoteWhileTheKeyboardMarksThePlayedOne)
{
    showWindow();
    EXPECT_FALSE(frm->PemoOM->isVisible());
    frm->btnKlangAnz->click();
    EXPECT_TRUE(frm->PemoOM->isVisible());
    EXPECT_FALSE(frm->PemoOM->isEnabled());
    splitMode(2);
    frm->seSplitOktave->setValue(3);

    press(72);
    EXPECT_TRUE(frm->Pemo->IsMarked(72));
    EXPECT_TRUE(frm->PemoOM->IsMarked(48));
    EXPECT_FALSE(frm->PemoOM->IsMarked(72));

    press(40);
    frm->btnReset->click();
    for (int note : {40, 48, 72}) {
        EXPECT_FALSE(frm->Pemo->IsMarked(note)) << note;
        EXPECT_FALSE(frm->PemoOM->IsMarked(note)) << note;
    }

    frm->btnKlangAnz->click();
    EXPECT_FALSE(frm->PemoOM->isVisible());
}

TEST_F(PemoRoutingTest, ANoteTransposedBeyond127IsNeitherSentNorShown)
{
    frm->btnKlangAnz->click();
    edit([&](TPlayerState& s) { s.Transpose = 11; });

    press(119);   // 130
    press(116);   // 127, the highest note
    release(119);

    EXPECT_EQ(sentBytes(), (std::vector<Bytes>{{0x90, 127, 100}}));
    EXPECT_TRUE(frm->PemoOM->IsMarked(127));
    EXPECT_TRUE(frm->Pemo->IsMarked(116));
}

TEST_F(PemoRoutingTest, SustainTogglesOnTheLeftChannelAndInLearnModeTakesTheLearnedController)
{
    edit([&](TPlayerState& s) { s.RightChannel = 3; });
    frm->btnSustain->click();
    EXPECT_EQ(frm->btnSustain->text(), "Sustain Ein");
    EXPECT_EQ(state().ChannelSettings.Sustain, 127);
    frm->btnSustain->click();
    EXPECT_EQ(frm->btnSustain->text(), "Sustain Aus");
    EXPECT_EQ(state().ChannelSettings.Sustain, 0);
    EXPECT_EQ(sentBytes(), (std::vector<Bytes>{{0xB0, 64, 127}, {0xB0, 64, 0}}));

    loop->clearSent();
    edit([&](TPlayerState& s) { s.LearnOn = true; });
    edit([&](TPlayerState& s) { s.LearnedController = 66; });
    frm->btnSustain->click();
    EXPECT_EQ(state().GeneralSettings.Sustaincontroller, 66);
    EXPECT_FALSE(state().LearnOn);
    EXPECT_EQ(frm->btnLerne->text(), "Lerne Aus");
    EXPECT_FALSE(state().SustainOn);
    EXPECT_TRUE(sentBytes().empty());
}

TEST_F(PemoRoutingTest, ResetAlsoEndsAChannelLeftWhileANoteWasHeldAndThePedalWasDown)
{
    showWindow();
    edit([&](TPlayerState& s) { s.RightChannel = 2; });
    QTest::mouseClick(frm->btnSustain, Qt::LeftButton);
    press(62);
    release(62);   // rings on under the pedal
    press(60);
    clickSpinButton(frm->seLKanal, true);
    ASSERT_EQ(state().LeftChannel, 1);
    loop->clearSent();

    QTest::mouseClick(frm->btnReset, Qt::LeftButton);

    std::vector<Bytes> expected{{0xB2, 64, 0}, {0xB1, 64, 0}, {0xB1, 123, 0}, {0xB2, 123, 0}};
    for (int note = 0; note < 128; ++note)
        expected.push_back({0x81, static_cast<std::uint8_t>(note), 0});
    expected.push_back({0xB2, 64, 0});
    expected.push_back({0xB1, 64, 0});
    // Channel 1 as the player counts, left with its pedal down (stored so at the switch).
    expected.push_back({0xB0, 64, 0});
    expected.push_back({0xB0, 123, 0});
    expected.push_back({0x80, 60, 0});
    expected.push_back({0xB0, 64, 127});
    EXPECT_EQ(sentBytes(), expected);
    EXPECT_FALSE(state().NotesOn[60]);
    EXPECT_FALSE(frm->Pemo->IsMarked(60));
}

TEST_F(PemoRoutingTest, ANoteOnNeverCarriesVelocity0)
{
    showWindow();
    const QPoint top = keyPoint(62, 0);
    int velocity = -1;
    ASSERT_EQ(frm->Pemo->NoteAt(top.x(), top.y(), velocity), 62);
    ASSERT_EQ(velocity, 0);
    frm->tbVelocity->setValue(0);
    loop->clearSent();

    QTest::mouseClick(frm->Pemo, Qt::LeftButton, {}, top);
    QTest::keyClick(frm.get(), Qt::Key_Q);

    EXPECT_EQ(sentBytes(), (std::vector<Bytes>{{0x90, 62, 1}, {0x80, 62, 0}, {0x90, 48, 1}, {0x80, 48, 0}}));
}

TEST_F(PemoRoutingTest, TheReadoutStripShownAgainShowsWhatSoundsNow)
{
    showWindow();
    QTest::mouseClick(frm->btnKlangAnz, Qt::LeftButton);
    mouseDown(60);
    ASSERT_TRUE(frm->PemoOM->IsMarked(60));
    QTest::mouseClick(frm->btnKlangAnz, Qt::LeftButton);
    mouseUp(60);
    press(64);

    QTest::mouseClick(frm->btnKlangAnz, Qt::LeftButton);

    ASSERT_TRUE(frm->PemoOM->isVisible());
    EXPECT_FALSE(frm->PemoOM->IsMarked(60));
    EXPECT_TRUE(frm->PemoOM->IsMarked(64));
}

TEST_F(PemoRoutingTest, TheFocusParksOnTheTopCoverWhenThePointerLeavesTheChannelOrTheModeListCloses)
{
    showWindow();
    frm->seLKanal->setFocus();
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(frm->seLKanal, &leave);
    EXPECT_TRUE(frm->panelAO->hasFocus());

    frm->cbModus->setFocus();
    frm->cbModus->showPopup();
    frm->cbModus->hidePopup();
    EXPECT_TRUE(frm->panelAO->hasFocus());
}

// The open instrument picker shows the instrument of each left channel the player switches to.
TEST_F(PemoRoutingTest, TheOpenInstrumentPickerFollowsTheLeftChannel)
{
    TfrmInstrument picker(frm.get(), player);
    showWindow();
    picker.placeAndShow();
    QListWidget* list = picker.ListBox1;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(40)).center());
    ASSERT_EQ(state().ChannelSettings.Instrument, 40);

    clickSpinButton(frm->seLKanal, true);
    EXPECT_EQ(list->currentRow(), 8);   // channel 1's instrument in the fresh settings file
    clickSpinButton(frm->seLKanal, false);
    EXPECT_EQ(list->currentRow(), 40);
}

}   // namespace
