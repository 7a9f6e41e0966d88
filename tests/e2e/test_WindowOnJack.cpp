// The real main window in this process with the RtMidi service on a JACK server: a JACK client of
// the test plays the keyboard and records what the program sends.
#include "PemoFixture.h"

#include "JackMidiService.h"
#include "JackPeer.h"

#include <algorithm>

namespace {

using namespace std::chrono_literals;

int indexOf(const std::vector<std::string>& names, const std::string& name)
{
    const auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? -1 : int(it - names.begin());
}

class WindowOnJackTest : public PemoTest {
protected:
    void SetUp() override
    {
        PemoTest::SetUp();
        if (!peer.start())
            GTEST_SKIP() << "no JACK server runs";
        ASSERT_EQ(tarv::test::installJackMidiService(), "");
        loop = nullptr;
        player.UseOutput(indexOf(MidiOutput().Devices(), peer.inputName()));
        ASSERT_GE(state().CurrentOutputPort, 0) << "the peer's input is not listed";
        startUp();
        showWindow();
        const int input = indexOf(MidiInput().Devices(), peer.outputName());
        ASSERT_GE(input, 0) << "the peer's output is not listed";
        MidiInput().Open(input);
        ASSERT_TRUE(tarv::test::waitFor([this] { return peer.outputConnected(); }));
    }

    void TearDown() override
    {
        PemoTest::TearDown();
        tarv::test::removeJackMidiService();
    }

    // Waits until `message` has come back from the program.
    bool arrives(const Bytes& message)
    {
        return tarv::test::waitFor(
            [&] {
                const auto received = peer.received();
                return std::find(received.begin(), received.end(), message) != received.end();
            },
            10s);
    }

    tarv::test::JackPeer peer;
};

}   // namespace

TEST_F(WindowOnJackTest, AKeyHeldWhileThePlayerSwitchesTheLeftChannelEndsOnTheFirstChannel)
{
    peer.play({{0x90, 60, 100}});
    ASSERT_TRUE(arrives({0x90, 60, 100}));

    clickSpinButton(frm->seLKanal, true);
    ASSERT_EQ(state().LeftChannel, 1);
    peer.play({{0x80, 60, 0}});

    EXPECT_TRUE(arrives({0x80, 60, 0}));
    const auto received = peer.received();
    EXPECT_EQ(std::count(received.begin(), received.end(), Bytes{0x81, 60, 0}), 0);
}
