// The record of the channel messages sent: chunks in a ring, bounded by age and count.
#include "MidiRecorder.h"

#include <algorithm>
#include <new>

namespace tarv {

namespace {

const std::chrono::steady_clock::time_point programStart = std::chrono::steady_clock::now();

}   // namespace

std::int64_t ProgramTime()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - programStart)
        .count();
}

void applyMessage(RecordedChannelStates& states, std::uint32_t packed)
{
    const std::uint8_t status = std::uint8_t(packed);
    RecordedChannelState& state = states[status & 0x0F];
    if ((status & 0xF0) == 0xC0)
        state.program = std::int16_t((packed >> 8) & 0x7F);
    else if ((status & 0xF0) == 0xB0)
        state.controllers[(packed >> 8) & 0x7F] = std::int16_t((packed >> 16) & 0x7F);
}

// Not initialised when allocated (make_shared_for_overwrite): its pages are touched as its
// messages are written, not all at once on the thread that sends.
struct TMidiRecorder::Chunk {
    struct Slot {
        std::int64_t time;
        std::uint32_t packed;
    };
    std::array<Slot, ChunkSize> slots;
};

TMidiRecorder::TMidiRecorder() = default;
TMidiRecorder::~TMidiRecorder() = default;

// Runs on the thread that sends, under the owner's lock: one allocation per chunk, and once a
// million messages are kept the oldest chunk goes for each new one (a copy may still hold it).
void TMidiRecorder::Record(std::int64_t time, std::uint32_t packed)
{
    const std::uint8_t status = std::uint8_t(packed);
    if (status < 0x80 || status >= 0xF0)
        return;   // a Standard MIDI File cannot carry system messages as they were played
    // The oldest chunk goes once its newest message is older than two hours.
    while (fChunkCount > 1 && fChunks[fHead]->slots.back().time < time - MaxAge)
        DropOldest();

    const std::size_t slot = std::size_t((fTotal - fFirst) % ChunkSize);
    if (slot == 0) {
        if (fChunkCount == MaxChunks)
            DropOldest();
        try {
            fChunks[(fHead + fChunkCount) % MaxChunks] = std::make_shared_for_overwrite<Chunk>();
        } catch (const std::bad_alloc&) {
            return;   // out of memory: the message went out all the same, only unkept
        }
        ++fChunkCount;
    }
    fChunks[(fHead + fChunkCount - 1) % MaxChunks]->slots[slot] = {time, packed};
    ++fTotal;
}

// What the oldest chunk's messages left in force stays in fBefore.
void TMidiRecorder::DropOldest()
{
    for (const Chunk::Slot& message : fChunks[fHead]->slots)
        applyMessage(fBefore, message.packed);
    fChunks[fHead].reset();
    fHead = (fHead + 1) % MaxChunks;
    --fChunkCount;
    fFirst += ChunkSize;
}

TMidiRecorder::Shared TMidiRecorder::Share(std::int64_t now) const
{
    Shared shared{fFirst, fTotal, fSaved, now, fBefore, {}};
    shared.chunks.reserve(fChunkCount);
    for (std::size_t i = 0; i < fChunkCount; ++i)
        shared.chunks.push_back(fChunks[(fHead + i) % MaxChunks]);
    return shared;
}

// Runs without the owner's lock: the messages below `total` were written before Share, and a
// chunk is never written again once full.
TRecording TMidiRecorder::Copy(const Shared& shared)
{
    TRecording recording;
    recording.saved = shared.saved;
    recording.now = shared.now;
    recording.before = shared.before;
    // The chunks keep a little more than the bound; what lies beyond it counts as gone.
    const std::uint64_t lastMillion = shared.total - std::min<std::uint64_t>(shared.total, MaxMessages);
    recording.first = shared.first;
    for (std::uint64_t index = shared.first; index < shared.total; ++index) {
        const std::uint64_t offset = index - shared.first;
        const Chunk::Slot& message = shared.chunks[std::size_t(offset / ChunkSize)]->slots[offset % ChunkSize];
        if (recording.messages.empty() && (index < lastMillion || message.time < shared.now - MaxAge)) {
            applyMessage(recording.before, message.packed);
            recording.first = index + 1;
        } else {
            if (recording.messages.empty())
                recording.messages.reserve(std::size_t(shared.total - index));
            recording.messages.push_back({message.time, message.packed});
        }
    }
    return recording;
}

}   // namespace tarv
