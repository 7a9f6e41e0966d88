// The order in which the synthesizer plays what it is sent while it cannot play it at once.
#include "PendingMessages.h"

namespace tarv {

bool SynthMessage::isNote() const
{
    const std::uint32_t kind = packed & 0xF0;
    return block.empty() && (kind == 0x80 || kind == 0x90 || kind == 0xA0);
}

bool SynthMessage::isBankSelect() const
{
    const std::uint32_t number = (packed >> 8) & 0x7F;
    return block.empty() && (packed & 0xF0) == 0xB0 && (number == 0 || number == 32);
}

Placement PendingMessages::place(SynthMessage message, bool loaded, const PresetInMemory& presetInMemory)
{
    const int channel = message.channel();
    bool wait = true;
    if (!loaded) {
        if (message.isNote())
            return Placement::Dropped;
    } else if (message.isReset()) {
        wait = !fQueue.empty();
    } else if (channel >= 0 && fOfChannel[std::size_t(channel)] > 0) {
        wait = fResets > 0 || message.isProgramChange() || message.isBankSelect();
    } else {
        wait = fResets > 0 || (message.isProgramChange() && !presetInMemory(channel, message.program()));
    }
    if (!wait)
        return Placement::PlayNow;
    if (fQueue.size() >= fLimit)
        return Placement::Dropped;
    if (channel >= 0)
        ++fOfChannel[std::size_t(channel)];
    if (message.isReset())
        ++fResets;
    fQueue.push_back(std::move(message));
    return Placement::Queued;
}

void PendingMessages::popFront()
{
    const SynthMessage& head = fQueue.front();
    if (head.channel() >= 0)
        --fOfChannel[std::size_t(head.channel())];
    if (head.isReset())
        --fResets;
    fQueue.pop_front();
}

void PendingMessages::clear()
{
    fQueue.clear();
    fOfChannel.fill(0);
    fResets = 0;
}

}   // namespace tarv
