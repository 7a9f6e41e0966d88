// Where each played note goes and which notes the program has sounding: the player's note
// routing and bookkeeping.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <functional>
#include <optional>

// The player's settings that route a note (its state and the play mode).
struct TRouting {
    std::uint8_t PlayMode = 0;   // 0 standard, 1 split; any other value routes nothing
    std::uint8_t LeftChannel = 0;
    std::uint8_t RightChannel = 0;
    std::uint8_t SplitNote = 60;
    std::uint8_t SplitOctave = 5;
    std::uint8_t SplitChannelOctave = 5;
    std::uint8_t Transpose = 0;   // semitones
};

// Channel 0..15 and outgoing note of a played note; the note may lie outside 0..127.
struct TRoute {
    std::uint8_t channel = 0;
    int note = 0;
};

// The routing formula: the channel and outgoing note of a played note under `routing`, or
// nothing when the play mode routes no notes.
std::optional<TRoute> RouteNote(const TRouting& routing, int note);

// Where the router's messages go: the channel message senders in the program, a recorder in the
// tests. Channels are 0..15, notes 0..127. A send may throw; the router's books are up to date
// before each call, so a failure loses that one message and nothing else.
class TNoteOutput {
public:
    virtual void Note(std::uint8_t channel, std::uint8_t note, std::uint8_t velocity, bool on) = 0;
    virtual void Sustain(std::uint8_t channel, std::uint8_t value) = 0;   // controller 64
    virtual void AllNotesOff(std::uint8_t channel) = 0;                   // controller 123

protected:
    ~TNoteOutput() = default;
};

// The stored Sustain of a channel (the settings file, read before the lock is taken); Reset
// restores it.
using TStoredSustain = std::function<std::uint8_t(std::uint8_t channel)>;

// Remembers, for every key of the keyboard (0..127), where its presses went, so that each
// release ends its note where it sounds, whatever the player changed in between. The keyboard
// is pressed by the mouse, the PC keys and MIDI input alike; the port dialog's monitor echoes
// MIDI input unrouted and reports what it echoed. Presses of one key are released oldest first.
// The router also keeps the set of sounding (channel, note) pairs and the channels whose pedal
// holds released notes, which Reset, a change of the output port and the exit end.
//
// Threads: the player calls every member under its one lock, on the UI thread and, for MIDI
// input, on the MIDI service thread. It takes no lock itself, and nothing
// that MIDI input calls (Press, Release, Echoed, SustainSent) allocates.
class TNoteRouter {
public:
    // Presses of one key remembered at once; a further press forgets the oldest (its note stays
    // in the sounding set until Reset, a change of output or the exit ends it).
    static constexpr int PressesPerKey = 8;

    // A key went down: its Note On goes where `routing` sends it, with velocity 1 at least
    // (a Note On with velocity 0 is a Note Off to every receiver). The press is remembered also
    // when it sends nothing (no play mode, a note beyond 127), so that its release sends nothing.
    void Press(int key, int velocity, const TRouting& routing, TNoteOutput& out);
    // A key came up: the Note Off goes where the key's oldest remembered press went. A release
    // without one (a key-up whose press was never seen, a key ended by EndAll) is routed with
    // `routing`.
    void Release(int key, int velocity, const TRouting& routing, TNoteOutput& out);

    // The port dialog's monitor sent this message unchanged: a Note On counts as a press of its
    // note on its own channel, a Note Off (or Note On with velocity 0) ends such a press, a
    // sustain controller sets the channel's pedal.
    void Echoed(std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
    // The program sent controller 64 with `value` on `channel` by other means (the sustain
    // button, a channel's stored settings, pass-through).
    void SustainSent(std::uint8_t channel, std::uint8_t value);

    // Ends every sounding note with a Note Off where it sounds, channel by channel, notes
    // ascending, and forgets every press. Pedals stay as they are.
    void EndAll(TNoteOutput& out);

    // Reset: sustain 0 on the right and the left channel, controller 123 on the left and the
    // right channel, a Note Off for every key 0..127 routed with `routing`, Note Offs for what
    // still sounds on the left and the right channel, then the right channel's stored Sustain and
    // `leftSustain` (the left channel's Sustain being edited). Then each other channel on which
    // notes sound or a pedal holds released notes gets the same: sustain 0, controller 123, the
    // Note Offs of its sounding notes and its stored Sustain. Afterwards nothing sounds.
    void Reset(const TRouting& routing, std::uint8_t leftSustain, const TStoredSustain& stored, TNoteOutput& out);

    bool Sounding(std::uint8_t channel, std::uint8_t note) const;
    bool AnySounding() const;
    // Notes sound on the channel, or its pedal holds notes released while it was down.
    bool ChannelSounding(std::uint8_t channel) const;

private:
    // Where one press went; Nowhere: it sent nothing.
    struct TPress {
        std::uint8_t channel;
        std::uint8_t note;
    };
    static constexpr std::uint8_t Nowhere = 0xFF;

    void Remember(int key, TPress press);
    // Removes and returns the oldest press of the key that `matches`; nothing when none does.
    template <typename Match>
    std::optional<TPress> Take(int key, Match matches);
    void ForgetPresses();
    // Sends the Note Off and keeps the books: the pair no longer sounds, and a pedal that is
    // down holds it.
    void NoteOff(std::uint8_t channel, std::uint8_t note, std::uint8_t velocity, TNoteOutput& out);
    void EndChannel(std::uint8_t channel, TNoteOutput& out);
    void Sustain(std::uint8_t channel, std::uint8_t value, TNoteOutput& out);

    std::array<std::array<TPress, PressesPerKey>, 128> fPresses{};   // per key, oldest first
    std::array<std::uint8_t, 128> fPressCount{};
    std::array<std::bitset<128>, 16> fSounding{};   // per channel: Note On sent, no Note Off yet
    std::bitset<16> fPedalDown;                     // the last sustain value sent on the channel was 64 or more
    std::bitset<16> fPedalHeld;                     // a sounding note was released there while the pedal was down
};
