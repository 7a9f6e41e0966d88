// The player without a window, called synchronously: the MIDI input rules, the hand-off of its
// display to the window, the failures that input meets and a switch of channel that cannot save.
#include "LoopbackFixture.h"

#include "player/Player.h"

#include <QFile>
#include <QTemporaryDir>

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

constexpr auto Volume = std::size_t(TControllerRow::Volume);

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

TEST_F(PlayerTest, MalformedMessagesAndActiveSensingChangeNothing)
{
    for (const Bytes& bytes : std::vector<Bytes>{
             {0x40, 60, 100}, {0x90, 0x80, 100}, {0xB0, 7, 200}, {0xF0, 1, 2}, {0xF7, 0, 0}, {0xFE, 0, 0}})
        in(bytes[0], bytes[1], bytes[2]);
    EXPECT_TRUE(take().empty());
    EXPECT_TRUE(player.DisplayUpToDate());
}

TEST_F(PlayerTest, ABoundControllerMovesItsRowOnlyOnAChangeAndLearningRebindsIt)
{
    player.Edit([](TPlayerState& s) { s.LeftChannel = 3; });
    in(0xB9, 7, 100);   // volume, on any channel
    in(0xB9, 7, 100);
    EXPECT_EQ(take(), (std::vector<Bytes>{{0xB3, 7, 100}}));
    const TDisplay display = player.TakeDisplay();
    EXPECT_EQ(display.positions[Volume], 27);   // loudest at the top
    EXPECT_EQ(display.values[Volume], 100);
    EXPECT_EQ(player.State().ChannelSettings.Volume, 100);

    // Learning: the next controller is taken, the next moved slider bound to it; nothing sent.
    player.ToggleLearning();
    in(0xB0, 22, 5);
    player.MoveController(TControllerRow::Panorama, 30);
    EXPECT_TRUE(take().empty());
    EXPECT_FALSE(player.State().LearnOn);
    EXPECT_EQ(player.State().GeneralSettings.Panoramacontroller, 22);
    EXPECT_EQ(player.State().ChannelSettings.Panorama, 64);
    // The rule compares with the slider's position, not with the value stored.
    in(0xB0, 22, 30);
    EXPECT_TRUE(take().empty());
    in(0xB0, 22, 31);
    EXPECT_EQ(take(), (std::vector<Bytes>{{0xB3, 10, 31}}));
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

TEST_F(PlayerTest, AFailingOutputIsReportedOnceUntilAMessageGoesThrough)
{
    MidiOutput().Open(0);
    loop->failSend("Synth A", "Puffer voll");
    in(0xC0, 1);
    in(0x90, 60, 100);
    EXPECT_EQ(player.TakeMidiInFailures(), std::vector<std::string>{"Puffer voll"});
    EXPECT_FALSE(player.State().NotesOn[60]);
    loop->failSend("Synth A", "");
    in(0xC0, 2);
    loop->failSend("Synth A", "Puffer voll");
    in(0xC0, 3);
    EXPECT_EQ(player.TakeMidiInFailures(), std::vector<std::string>{"Puffer voll"});
}

TEST_F(PlayerTest, TheMonitorEchoesOncePerTickedOutputAndItsNotesEndWhereTheEchoWent)
{
    player.SetTickedOutputs(2);
    EXPECT_EQ(player.EndSoundingNotes(true), "");
    ASSERT_TRUE(player.State().PortDialogShowing);
    in(0x93, 60, 100);
    EXPECT_EQ(take(), (std::vector<Bytes>{{0x93, 60, 100}, {0x93, 60, 100}}));
    EXPECT_EQ(player.TakeDisplay().monitorBytes, (std::array<std::uint8_t, 3>{0x93, 60, 100}));

    player.SetPortDialogShowing(false);
    EXPECT_EQ(player.EndSoundingNotes(), "");
    EXPECT_EQ(take(), (std::vector<Bytes>{{0x83, 60, 0}}));
}

TEST_F(PlayerTest, ASwitchOfTheLeftChannelWhoseSaveFailsSwitchesNothing)
{
    // A folder below a regular file can be neither created nor written.
    QTemporaryDir dir;
    QFile blocker(dir.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    SetSettingsFolder((blocker.fileName() + "/sub").toStdString());
    player.Edit([](TPlayerState& s) { s.ChannelSettings.Volume = 5; });
    EXPECT_THROW(player.SwitchLeftChannel(3), SettingsWriteError);
    SetSettingsFolder({});
    EXPECT_EQ(player.State().LeftChannel, 0);
    EXPECT_EQ(player.State().ChannelSettings.Volume, 5);
    EXPECT_TRUE(take().empty());
}

}   // namespace
