// The order in which the synthesizer plays what it is sent while it cannot play it at once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

namespace tarv {

// A message for the synthesizer: a short message, or a system-exclusive block (F0 ... F7).
struct SynthMessage {
    std::uint32_t packed = 0;          // a short message, when block is empty
    std::vector<std::uint8_t> block;   // a system-exclusive message

    // Channel 0..15 of a channel message, -1 for system messages.
    int channel() const { return block.empty() && (packed & 0xF0) != 0xF0 ? int(packed & 0x0F) : -1; }
    // Note on and off, key pressure.
    bool isNote() const;
    bool isNoteOn() const { return block.empty() && (packed & 0xF0) == 0x90 && (packed >> 16 & 0x7F) != 0; }
    bool isProgramChange() const { return block.empty() && (packed & 0xF0) == 0xC0; }
    bool isBankSelect() const;
    // System exclusive and system reset may reset every channel's program: nothing overtakes them.
    bool isReset() const { return !block.empty() || (packed & 0xFF) == 0xFF; }
    int program() const { return int((packed >> 8) & 0x7F); }

    bool operator==(const SynthMessage&) const = default;
};

enum class Placement { PlayNow, Queued, Dropped };

// The messages that wait, in the order they are to be played, and the rule of what waits.
// While the sound font loads, notes are dropped (a note that sounded seconds late would be
// worse than a missing one) and everything else waits. Once it is loaded, a program change
// whose preset is not in memory waits for its samples to be read, and so do the bank selects
// and program changes of its channel sent after it; system exclusive and resets wait while
// anything waits, and everything after them waits for them. Notes and other controllers
// of a waiting channel play at once. At most `limit` messages wait; later ones are dropped.
// Not thread-safe: the synthesizer's service guards it with its lock.
class PendingMessages {
public:
    // Whether the preset that a program change to `program` selects on `channel` has its
    // samples in memory; asked only for a program change that nothing else holds back.
    using PresetInMemory = std::function<bool(int channel, int program)>;

    explicit PendingMessages(std::size_t limit) : fLimit(limit) {}

    // Where `message` goes: PlayNow (the caller plays it), Queued (at the back) or Dropped.
    Placement place(SynthMessage message, bool loaded, const PresetInMemory& presetInMemory);

    bool empty() const { return fQueue.empty(); }
    std::size_t size() const { return fQueue.size(); }
    // The head stays queued while it is played, so that what follows it stays behind it.
    const SynthMessage& front() const { return fQueue.front(); }
    void popFront();
    void clear();

private:
    std::size_t fLimit;
    std::deque<SynthMessage> fQueue;
    std::array<int, 16> fOfChannel{};   // queued channel messages, per channel
    int fResets = 0;                    // queued system exclusive and resets
};

}   // namespace tarv
