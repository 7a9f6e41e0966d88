// The record of every channel message the program sent, kept in memory for saving afterwards.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tarv {

// Microseconds since the program started (a steady clock). Any thread.
std::int64_t ProgramTime();

// One channel message as it went out: status in bits 0..7, data 1 in 8..15, data 2 in 16..23.
struct RecordedMessage {
    std::int64_t time = 0;   // ProgramTime() when it left
    std::uint32_t packed = 0;
};

// What the messages of a channel left in force: its program and every controller's last value;
// -1 for what was never sent.
struct RecordedChannelState {
    std::int16_t program = -1;
    std::array<std::int16_t, 128> controllers;
    RecordedChannelState() { controllers.fill(-1); }
};
using RecordedChannelStates = std::array<RecordedChannelState, 16>;
// Takes a program change or a controller into the state of its channel; other messages change nothing.
void applyMessage(RecordedChannelStates& states, std::uint32_t packed);

// A copy of what is kept, taken at one moment. Messages are counted from the first ever
// recorded (index 0), so that a save can say up to where it saved.
struct TRecording {
    std::uint64_t first = 0;        // index of messages[0]
    std::uint64_t saved = 0;        // index of the first message that no save has taken yet
    std::int64_t now = 0;           // ProgramTime() when the copy was taken
    RecordedChannelStates before;   // what the messages before `first` left in force
    std::vector<RecordedMessage> messages;
};

// The messages of the last 2 hours, at most the last million, in chunks of 1024 (16 KiB each)
// that are allocated as they fill: nothing before the first message, then one allocation per
// 1024 messages; once a million are kept the oldest chunk goes for each new one.
//
// Threads: Record, MarkSaved and Share are called under the lock of whoever owns the recorder
// (the output port set, on the UI or the MIDI service thread); the messages of a shared copy
// are read without that lock, as nothing writes them any more.
class TMidiRecorder {
public:
    static constexpr std::size_t ChunkSize = 1024;
    static constexpr std::size_t MaxMessages = 1'000'000;
    static constexpr std::int64_t MaxAge = std::chrono::microseconds(std::chrono::hours(2)).count();

    TMidiRecorder();
    ~TMidiRecorder();
    TMidiRecorder(const TMidiRecorder&) = delete;
    TMidiRecorder& operator=(const TMidiRecorder&) = delete;

    // Keeps a channel message that went out at `time`; system messages are not kept.
    void Record(std::int64_t time, std::uint32_t packed);
    // Every message before `index` has been saved.
    void MarkSaved(std::uint64_t index) { fSaved = index; }

    // What a copy needs, taken quickly under the owner's lock; Copy makes it a TRecording.
    struct Shared;
    Shared Share(std::int64_t now) const;
    static TRecording Copy(const Shared& shared);

private:
    struct Chunk;
    void DropOldest();

    // A ring of the chunks in use, oldest at fHead.
    static constexpr std::size_t MaxChunks = MaxMessages / ChunkSize + 2;
    std::array<std::shared_ptr<Chunk>, MaxChunks> fChunks;
    std::size_t fHead = 0;
    std::size_t fChunkCount = 0;
    std::uint64_t fFirst = 0;   // index of the oldest message kept
    std::uint64_t fTotal = 0;   // messages recorded in all
    std::uint64_t fSaved = 0;
    RecordedChannelStates fBefore;
};

struct TMidiRecorder::Shared {
    std::uint64_t first = 0, total = 0, saved = 0;
    std::int64_t now = 0;
    RecordedChannelStates before;
    std::vector<std::shared_ptr<const Chunk>> chunks;
};

}   // namespace tarv
