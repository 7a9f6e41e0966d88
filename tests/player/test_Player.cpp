// The player without a window, called synchronously: the channel rewrite of passed-through
// messages and the hand-off of its display to the window. The input rules, the failures that
// input meets and the channel switch are the main window's cases (tests/mainwindow).
#include "LoopbackFixture.h"

#include "player/Player.h"

#include <string>
#include <vector>

namespace {

class PlayerTest : public LoopbackFixture {
protected:
    void in(std::uint8_t status, std::uint8_t data1, std::uint8_t data2 = 0) { player.MidiIn(0, status, data1, data2); }
    std::vector<Bytes> take()
    {
        std::vector<Bytes> sent = sentBytes();
        loop->clearSent();
        return sent;
    }

    TPlayer player;
};

TEST_F(PlayerTest, ChannelMessagesPassThroughOnTheLeftThenTheRightChannelSystemMessagesOnce)
{
    player.Edit([](TPlayerState& s) {
        s.LeftChannel = 2;
        s.RightChannel = 5;
    });
    in(0xC7, 40);        // a program change, whatever its channel
    in(0xE0, 0, 100);    // pitch bend
    in(0xD3, 90);        // channel pressure
    in(0xA1, 60, 30);    // key pressure
    in(0xB0, 1, 20);     // a controller that no row is bound to
    in(0xF8, 0);         // clock
    in(0xC0, 5, 0xFF);   // the byte a program change does not carry is not looked at
    in(0x40, 60, 100);   // a data byte in the status's place, and the bytes of system exclusive:
    in(0xF0, 1, 2);      // nothing goes out
    in(0xF7, 0, 0);
    EXPECT_EQ(take(),
              (std::vector<Bytes>{{0xC2, 40},
                                  {0xC5, 40},
                                  {0xE2, 0, 100},
                                  {0xE5, 0, 100},
                                  {0xD2, 90},
                                  {0xD5, 90},
                                  {0xA2, 60, 30},
                                  {0xA5, 60, 30},
                                  {0xB2, 1, 20},
                                  {0xB5, 1, 20},
                                  {0xF8},
                                  {0xC2, 5},
                                  {0xC5, 5}}));
}

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
