// The note router without a window: where each release goes whatever changed since its press,
// the notes it keeps sounding, and Reset over every channel that still sounds.
#include "player/NoteRouter.h"

#include <gtest/gtest.h>

#include <array>
#include <bitset>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Records the router's messages as the bytes they become on the wire.
class TRecorder final : public TNoteOutput {
public:
    void Note(std::uint8_t channel, std::uint8_t note, std::uint8_t velocity, bool on) override
    {
        sent.push_back({std::uint8_t((on ? 0x90 : 0x80) | channel), note, velocity});
    }
    void Sustain(std::uint8_t channel, std::uint8_t value) override
    {
        sent.push_back({std::uint8_t(0xB0 | channel), 64, value});
    }
    void AllNotesOff(std::uint8_t channel) override { sent.push_back({std::uint8_t(0xB0 | channel), 123, 0}); }

    std::vector<Bytes> take() { return std::exchange(sent, {}); }
    std::vector<Bytes> sent;
};

// What a receiver makes of the messages: a note sounds from its Note On to its Note Off, and on
// while the sustain pedal of its channel holds it.
struct TSynth {
    std::array<std::bitset<128>, 16> on{}, held{};
    std::bitset<16> pedal;

    void Play(const Bytes& m)
    {
        const int channel = m[0] & 0x0F;
        if ((m[0] & 0xF0) == 0x90) {
            on[channel].set(m[1]);
        } else if ((m[0] & 0xF0) == 0x80) {
            if (on[channel].test(m[1]) && pedal.test(channel))
                held[channel].set(m[1]);
            on[channel].reset(m[1]);
        } else if (m[1] == 64) {
            pedal.set(channel, m[2] >= 64);
            if (m[2] < 64)
                held[channel].reset();
        }
    }
    bool NothingOn() const
    {
        for (const auto& notes : on)
            if (notes.any())
                return false;
        return true;
    }
    bool Silent() const
    {
        for (const auto& notes : held)
            if (notes.any())
                return false;
        return NothingOn();
    }
};

// Mode, left, right, split note, split octave, split channel octave, transposition.
constexpr TRouting Standard{0, 0, 2, 60, 5, 5, 0};
constexpr TRouting Split{1, 0, 2, 60, 5, 5, 0};

TRouting With(TRouting routing, std::uint8_t TRouting::*field, std::uint8_t value)
{
    routing.*field = value;
    return routing;
}

struct ChangeCase {
    const char* change;
    TRouting atPress;
    int key;
    TRouting atRelease;
    std::uint8_t status;   // of the Note On; the Note Off goes to the same channel
    std::uint8_t note;
};

}   // namespace

TEST(NoteRouter, EveryChangeBetweenPressAndReleaseEndsTheNoteWhereItStarted)
{
    TRouting splitAt48 = Split;
    splitAt48.SplitNote = 48;
    splitAt48.SplitOctave = 4;
    splitAt48.SplitChannelOctave = 4;
    // clang-format off
    const ChangeCase cases[] = {
        {"split to standard mode", Split, 72, Standard, 0x92, 72},
        {"standard to split mode", Standard, 72, Split, 0x90, 72},
        {"to a mode that routes nothing", Standard, 60, With(Standard, &TRouting::PlayMode, 255), 0x90, 60},
        {"split point moved below the key", Split, 55, splitAt48, 0x90, 55},
        {"split octave lowered", Split, 72, With(Split, &TRouting::SplitChannelOctave, 3), 0x92, 72},
        {"left channel", Standard, 60, With(Standard, &TRouting::LeftChannel, 5), 0x90, 60},
        {"right channel", Split, 72, With(Split, &TRouting::RightChannel, 7), 0x92, 72},
        {"key", With(Standard, &TRouting::Transpose, 4), 60, With(Standard, &TRouting::Transpose, 2), 0x90, 64},
    };
    // clang-format on
    for (const ChangeCase& c : cases) {
        SCOPED_TRACE(c.change);
        TNoteRouter router;
        TRecorder out;
        router.Press(c.key, 100, c.atPress, out);
        router.Release(c.key, 0, c.atRelease, out);
        EXPECT_EQ(out.take(),
                  (std::vector<Bytes>{{c.status, c.note, 100}, {std::uint8_t(c.status - 0x10), c.note, 0}}));
        EXPECT_FALSE(router.AnySounding());
    }
}

TEST(NoteRouter, PressesOfOneKeyAreReleasedOldestFirstAndAReleaseWithoutOneTakesTheSettingsInForce)
{
    TNoteRouter router;
    TRecorder out;
    router.Press(64, 90, Standard, out);                                    // the mouse
    router.Press(64, 70, With(Standard, &TRouting::LeftChannel, 3), out);   // an external keyboard
    const TRouting now = With(Standard, &TRouting::LeftChannel, 9);
    router.Release(64, 0, now, out);
    router.Release(64, 0, now, out);
    router.Release(64, 0, now, out);   // nothing remembered: the channel in force

    EXPECT_EQ(out.take(),
              (std::vector<Bytes>{{0x90, 64, 90}, {0x93, 64, 70}, {0x80, 64, 0}, {0x83, 64, 0}, {0x89, 64, 0}}));
}

TEST(NoteRouter, ANoteOnCarriesVelocity1To127AndANoteBeyond127IsNeitherSentNorReleased)
{
    TNoteRouter router;
    TRecorder out;
    router.Press(60, 0, Standard, out);
    router.Press(61, 300, Standard, out);
    const TRouting up11 = With(Standard, &TRouting::Transpose, 11);
    router.Press(119, 100, up11, out);       // 130
    router.Release(119, 0, Standard, out);   // its press sent nothing: nor does its release

    EXPECT_EQ(out.take(), (std::vector<Bytes>{{0x90, 60, 1}, {0x90, 61, 127}}));
}

TEST(NoteRouter, MoreHeldPressesOfAKeyThanItRemembersStillSoundUntilAllAreEnded)
{
    TNoteRouter router;
    TRecorder out;
    for (std::uint8_t channel = 0; channel <= TNoteRouter::PressesPerKey; ++channel)
        router.Press(60, 100, With(Standard, &TRouting::LeftChannel, channel), out);
    out.take();
    for (int i = 0; i < TNoteRouter::PressesPerKey; ++i)
        router.Release(60, 0, Standard, out);
    // The oldest press was forgotten; its note sounds on until everything is ended.
    EXPECT_EQ(out.sent.front(), (Bytes{0x81, 60, 0}));
    EXPECT_TRUE(router.Sounding(0, 60));
    out.take();

    router.EndAll(out);
    EXPECT_EQ(out.take(), (std::vector<Bytes>{{0x80, 60, 0}}));
    EXPECT_FALSE(router.AnySounding());
}

TEST(NoteRouter, EchoedNotesEndWhereTheEchoWentAndAFailedSendLosesOnlyItsNote)
{
    TNoteRouter router;
    TRecorder out;
    router.Echoed(0x92, 64, 100);
    router.Echoed(0x90, 65, 100);
    router.Echoed(0x80, 65, 0);
    router.Echoed(0x95, 66, 100);
    const TRouting up2 = With(Standard, &TRouting::Transpose, 2);
    router.Release(64, 0, up2, out);   // after the dialog closed
    router.Release(65, 0, up2, out);   // its echo ended it: the key in force
    EXPECT_EQ(out.take(), (std::vector<Bytes>{{0x82, 64, 0}, {0x80, 67, 0}}));
    EXPECT_TRUE(router.Sounding(5, 66));

    // An output that refuses the first message: the others are ended when asked again.
    class TFailingOnce final : public TNoteOutput {
    public:
        void Note(std::uint8_t, std::uint8_t, std::uint8_t, bool) override
        {
            if (failed++ == 0)
                throw std::runtime_error("gone");
        }
        void Sustain(std::uint8_t, std::uint8_t) override {}
        void AllNotesOff(std::uint8_t) override {}
        int failed = 0;
    } failing;
    router.Press(70, 100, Standard, out);
    EXPECT_THROW(router.EndAll(failing), std::runtime_error);
    router.EndAll(failing);
    EXPECT_EQ(failing.failed, 2);
    EXPECT_FALSE(router.AnySounding());
}

TEST(NoteRouter, ResetEndsTheNotesOfEveryChannelThatStillSounds)
{
    TNoteRouter router;
    TRecorder out;
    // Channel 0: a note held while the player moved on to channel 1.
    router.Press(60, 100, Standard, out);
    // Channel 1: its stored pedal is down; a note released there rings on.
    const TRouting left1 = With(Standard, &TRouting::LeftChannel, 1);
    router.SustainSent(1, 127);
    router.Press(62, 100, left1, out);
    router.Release(62, 0, left1, out);
    // Channel 4, the left channel at the Reset: a note the sweep under the new key cannot reach.
    router.SustainSent(4, 0);
    TRouting left4 = With(Standard, &TRouting::LeftChannel, 4);
    router.Press(1, 100, left4, out);
    left4.RightChannel = 5;
    left4.Transpose = 2;
    out.take();

    router.Reset(
        left4, 0, [](std::uint8_t channel) -> std::uint8_t { return channel == 1 ? 127 : 0; }, out);

    std::vector<Bytes> expected{{0xB5, 64, 0}, {0xB4, 64, 0}, {0xB4, 123, 0}, {0xB5, 123, 0}};
    for (std::uint8_t key = 0; key + 2 <= 127; ++key)
        expected.push_back({0x84, std::uint8_t(key + 2), 0});
    expected.push_back({0x84, 1, 0});
    expected.push_back({0xB5, 64, 0});
    expected.push_back({0xB4, 64, 0});
    for (const Bytes& message : std::vector<Bytes>{{0xB0, 64, 0},
                                                   {0xB0, 123, 0},
                                                   {0x80, 60, 0},
                                                   {0xB0, 64, 0},
                                                   {0xB1, 64, 0},
                                                   {0xB1, 123, 0},
                                                   {0xB1, 64, 127}})
        expected.push_back(message);
    EXPECT_EQ(out.take(), expected);
    for (std::uint8_t channel = 0; channel < 16; ++channel)
        EXPECT_FALSE(router.ChannelSounding(channel)) << int(channel);

    // Nothing sounds: a second Reset has no other channel to end.
    router.Reset(
        left4, 0, [](std::uint8_t) -> std::uint8_t { return 0; }, out);
    EXPECT_EQ(out.take().size(), 4u + 126u + 2u);
}

// Random presses and releases under randomly changing settings, with pedals going up and down:
// once every key is up nothing is on, and after Reset nothing sounds, not even under a pedal.
TEST(NoteRouter, RandomPlayingEndsInSilence)
{
    std::mt19937 random(12);
    const auto pick = [&](int low, int high) { return int(random() % unsigned(high - low + 1)) + low; };
    const auto randomRouting = [&] {
        TRouting routing{std::uint8_t(pick(0, 2) == 2 ? 1 : 0),
                         std::uint8_t(pick(0, 3)),
                         std::uint8_t(pick(0, 3)),
                         std::uint8_t(pick(48, 72)),
                         0,
                         0,
                         std::uint8_t(pick(0, 11))};
        routing.SplitOctave = std::uint8_t(routing.SplitNote / 12);
        routing.SplitChannelOctave = std::uint8_t(pick(0, routing.SplitOctave));
        return routing;
    };
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        TNoteRouter router;
        TRecorder out;
        TSynth synth;
        std::array<int, 128> down{};   // presses not yet released, by key
        for (int step = 0; step < 300; ++step) {
            const int key = pick(36, 84);
            switch (pick(0, 3)) {
            case 0:
            case 1:
                if (down[key] < TNoteRouter::PressesPerKey) {
                    router.Press(key, pick(0, 127), randomRouting(), out);
                    ++down[key];
                }
                break;
            case 2:
                if (down[key] > 0) {
                    router.Release(key, 0, randomRouting(), out);
                    --down[key];
                }
                break;
            default: {
                const auto channel = std::uint8_t(pick(0, 3));
                const auto value = std::uint8_t(pick(0, 1) * 127);
                router.SustainSent(channel, value);
                out.Sustain(channel, value);
            }
            }
        }
        for (int key = 0; key < 128; ++key)
            for (; down[key] > 0; --down[key])
                router.Release(key, 0, randomRouting(), out);
        for (const Bytes& m : out.take())
            synth.Play(m);
        EXPECT_TRUE(synth.NothingOn());

        router.Reset(
            randomRouting(), std::uint8_t(pick(0, 1) * 127),
            [](std::uint8_t channel) -> std::uint8_t { return channel % 2 ? 127 : 0; }, out);
        for (const Bytes& m : out.take())
            synth.Play(m);
        EXPECT_TRUE(synth.Silent());
    }
}
