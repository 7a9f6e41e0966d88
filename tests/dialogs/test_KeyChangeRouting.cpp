// The key selector with the main window's routing: the chosen key reaches every note on the wire.
#include "DialogsFixture.h"

#include "mainwindow/Pemo.h"
#include "widgets/Klavier.h"

namespace {

class KeyChangeRoutingTest : public DialogsTest {
protected:
    std::unique_ptr<QWidget> makeMainWindow() override { return std::make_unique<TfrmPemo>(player); }

    // Status byte and note of every message sent since the last clearSent().
    std::vector<std::pair<int, int>> sentNotes() const
    {
        std::vector<std::pair<int, int>> notes;
        for (const auto& bytes : sentBytes())
            notes.emplace_back(bytes.at(0), bytes.at(1));
        return notes;
    }
};

TEST_F(KeyChangeRoutingTest, GMajorPlaysC4AsG4AndCMajorAsC4Again)
{
    start({}, {"Out 1"});
    frmStimmung->placeAndShow();
    loop->clearSent();

    clickItem(frmStimmung->lbStimmung, 1);   // "G dur-1#- (Emoll)"
    frmPemo->Pemo->PressNote(48, 100, true);
    frmPemo->Pemo->ReleaseNote(48, 0, true);
    clickItem(frmStimmung->lbStimmung, 0);   // "C dur ( Amoll)"
    frmPemo->Pemo->PressNote(48, 100, true);
    frmPemo->Pemo->ReleaseNote(48, 0, true);

    EXPECT_EQ(sentNotes(), (std::vector<std::pair<int, int>>{{0x90, 55}, {0x80, 55}, {0x90, 48}, {0x80, 48}}));
}

TEST_F(KeyChangeRoutingTest, ANoteHeldAcrossAKeyChangeEndsWhereItStartedAndTheNextTakesTheNewKey)
{
    start({}, {"Out 1"});
    frmStimmung->placeAndShow();
    loop->clearSent();

    frmPemo->Pemo->PressNote(60, 100, true);
    clickItem(frmStimmung->lbStimmung, 2);    // "D dur-2#- (Hmoll)"
    clickItem(frmStimmung->lbStimmung, 15);   // an empty item keeps D major
    frmPemo->Pemo->ReleaseNote(60, 0, true);
    frmPemo->Pemo->PressNote(60, 100, true);

    EXPECT_EQ(sentNotes(), (std::vector<std::pair<int, int>>{{0x90, 60}, {0x80, 60}, {0x90, 62}}));
}

}   // namespace
