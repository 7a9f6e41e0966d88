// The player without a window, called synchronously: the hand-off of its display to the window.
// The input rules, the failures that input meets and the channel switch are the main window's
// cases (tests/mainwindow).
#include "LoopbackFixture.h"

#include "player/Player.h"

#include <string>
#include <vector>

namespace {

class PlayerTest : public LoopbackFixture {
protected:
    void in(std::uint8_t status, std::uint8_t data1, std::uint8_t data2 = 0) { player.MidiIn(0, status, data1, data2); }
    TPlayer player;
};

TEST_F(PlayerTest, InputAsksForTheWindowOnceUntilTheWindowHasCaughtUp)
{
    int asked = 0;
    player.SetOnDisplayChanged([&asked] { ++asked; });
    in(0x90, 60, 100);
    in(0x90, 62, 100);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(player.TakeDisplay().keys.test(62));
    EXPECT_FALSE(player.DisplayFollowUp());   // nothing new: the run ends
    in(0x80, 60, 0);
    EXPECT_EQ(asked, 2);
    in(0x80, 62, 0);
    EXPECT_TRUE(player.DisplayFollowUp());   // a change came meanwhile: the window looks again
    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(player.TakeDisplay().keys.any());

    // A window that goes away before it caught up leaves the next one asked all the same.
    in(0x90, 64, 100);
    int askedAgain = 0;
    player.SetOnDisplayChanged([&askedAgain] { ++askedAgain; });
    in(0x80, 64, 0);
    EXPECT_EQ(askedAgain, 1);
    player.SetOnDisplayChanged({});
}

}   // namespace
