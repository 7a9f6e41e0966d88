// The routing formula and the books of presses and sounding notes.
#include "NoteRouter.h"

#include <algorithm>

namespace {

bool IsMidiNote(int note)
{
    return note >= 0 && note <= 127;
}

bool IsKey(int key)
{
    return key >= 0 && key <= 127;
}

}   // namespace

std::optional<TRoute> RouteNote(const TRouting& routing, int note)
{
    switch (routing.PlayMode) {
    case 0:
        return TRoute{routing.LeftChannel, note + routing.Transpose};
    case 1:
        // The split key itself belongs to the right side.
        if (note < routing.SplitNote)
            return TRoute{routing.LeftChannel, note + routing.Transpose};
        return TRoute{routing.RightChannel,
                      note + routing.Transpose - 12 * (routing.SplitOctave - routing.SplitChannelOctave)};
    default:
        // Any other mode routes nothing until the player picks one.
        return std::nullopt;
    }
}

void TNoteRouter::Press(int key, int velocity, const TRouting& routing, TNoteOutput& out)
{
    TPress press{Nowhere, 0};
    const std::optional<TRoute> route = RouteNote(routing, key);
    if (route && route->channel <= 15 && IsMidiNote(route->note))
        press = {route->channel, std::uint8_t(route->note)};
    // A key outside the keyboard cannot be released by the keyboard: nothing to remember.
    if (IsKey(key))
        Remember(key, press);
    if (press.channel == Nowhere)
        return;
    fSounding[press.channel].set(press.note);
    out.Note(press.channel, press.note, std::uint8_t(std::clamp(velocity, 1, 127)), true);
}

void TNoteRouter::Release(int key, int velocity, const TRouting& routing, TNoteOutput& out)
{
    const auto velocityByte = std::uint8_t(std::clamp(velocity, 0, 127));
    if (IsKey(key) && fPressCount[std::size_t(key)] > 0) {
        const TPress press = *Take(key, [](const TPress&) { return true; });
        if (press.channel != Nowhere)
            NoteOff(press.channel, press.note, velocityByte, out);
        return;
    }
    const std::optional<TRoute> route = RouteNote(routing, key);
    if (route && route->channel <= 15 && IsMidiNote(route->note))
        NoteOff(route->channel, std::uint8_t(route->note), velocityByte, out);
}

void TNoteRouter::Echoed(std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    const std::uint8_t kind = status & 0xF0;
    const std::uint8_t channel = status & 0x0F;
    if (status >= 0xF0 || data1 > 127)
        return;
    if (kind == 0x90 && data2 > 0) {
        Remember(data1, {channel, data1});
        fSounding[channel].set(data1);
    } else if (kind == 0x80 || kind == 0x90) {
        Take(data1, [&](const TPress& p) { return p.channel == channel && p.note == data1; });
        if (fSounding[channel].test(data1) && fPedalDown.test(channel))
            fPedalHeld.set(channel);
        fSounding[channel].reset(data1);
    } else if (kind == 0xB0 && data1 == 64) {
        SustainSent(channel, data2);
    }
}

void TNoteRouter::SustainSent(std::uint8_t channel, std::uint8_t value)
{
    if (channel > 15)
        return;
    fPedalDown.set(channel, value >= 64);
    // A pedal let up ends the notes it held.
    if (value < 64)
        fPedalHeld.reset(channel);
}

void TNoteRouter::EndAll(TNoteOutput& out)
{
    ForgetPresses();
    for (std::uint8_t channel = 0; channel < 16; ++channel)
        EndChannel(channel, out);
}

void TNoteRouter::Reset(const TRouting& routing, std::uint8_t leftSustain, const TStoredSustain& stored,
                        TNoteOutput& out)
{
    const std::uint8_t left = routing.LeftChannel;
    const std::uint8_t right = routing.RightChannel;
    const std::uint8_t rightSustain = stored(right);
    Sustain(right, 0, out);
    Sustain(left, 0, out);
    out.AllNotesOff(left);
    out.AllNotesOff(right);
    // Every key's Note Off under the settings in force, held or not.
    ForgetPresses();
    for (int key = 0; key < 128; ++key)
        Release(key, 0, routing, out);
    // What the sweep did not reach: notes that went out under other settings.
    EndChannel(left, out);
    EndChannel(right, out);
    Sustain(right, rightSustain, out);
    Sustain(left, leftSustain, out);
    // Channels left by a switch while notes or the pedal were down.
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        if (channel == left || channel == right || !ChannelSounding(channel))
            continue;
        Sustain(channel, 0, out);
        out.AllNotesOff(channel);
        EndChannel(channel, out);
        Sustain(channel, stored(channel), out);
    }
}

bool TNoteRouter::Sounding(std::uint8_t channel, std::uint8_t note) const
{
    return channel <= 15 && note <= 127 && fSounding[channel].test(note);
}

bool TNoteRouter::AnySounding() const
{
    return std::any_of(fSounding.begin(), fSounding.end(), [](const std::bitset<128>& notes) { return notes.any(); });
}

bool TNoteRouter::ChannelSounding(std::uint8_t channel) const
{
    return channel <= 15 && (fSounding[channel].any() || fPedalHeld.test(channel));
}

void TNoteRouter::Remember(int key, TPress press)
{
    auto& presses = fPresses[std::size_t(key)];
    std::uint8_t& count = fPressCount[std::size_t(key)];
    if (count == PressesPerKey) {
        std::copy(presses.begin() + 1, presses.end(), presses.begin());
        --count;
    }
    presses[count++] = press;
}

template <typename Match>
std::optional<TNoteRouter::TPress> TNoteRouter::Take(int key, Match matches)
{
    auto& presses = fPresses[std::size_t(key)];
    std::uint8_t& count = fPressCount[std::size_t(key)];
    const auto end = presses.begin() + count;
    const auto found = std::find_if(presses.begin(), end, matches);
    if (found == end)
        return std::nullopt;
    const TPress press = *found;
    std::copy(found + 1, end, found);
    --count;
    return press;
}

void TNoteRouter::ForgetPresses()
{
    fPressCount.fill(0);
}

void TNoteRouter::NoteOff(std::uint8_t channel, std::uint8_t note, std::uint8_t velocity, TNoteOutput& out)
{
    if (fSounding[channel].test(note) && fPedalDown.test(channel))
        fPedalHeld.set(channel);
    fSounding[channel].reset(note);
    out.Note(channel, note, velocity, false);
}

void TNoteRouter::EndChannel(std::uint8_t channel, TNoteOutput& out)
{
    if (channel > 15)
        return;
    for (std::uint8_t note = 0; note < 128; ++note) {
        if (fSounding[channel].test(note))
            NoteOff(channel, note, 0, out);
    }
}

void TNoteRouter::Sustain(std::uint8_t channel, std::uint8_t value, TNoteOutput& out)
{
    SustainSent(channel, value);
    out.Sustain(channel, value);
}
