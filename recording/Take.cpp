// A take from a copy of the recording: the cut at the first note, the settings in force, the notes' ends.
#include "Take.h"

#include <array>
#include <string>

namespace tarv {

namespace {

// The settings a track starts with: the bank, the program, then these controllers.
constexpr std::array<int, 2> BankControllers{0, 32};
constexpr std::array<int, 5> InitialControllers{7, 10, 64, 91, 93};

bool isNoteOn(std::uint32_t packed)
{
    return (packed & 0xF0) == 0x90 && (packed >> 16 & 0x7F) > 0;
}

bool isNoteOff(std::uint32_t packed)
{
    return (packed & 0xF0) == 0x80 || ((packed & 0xF0) == 0x90 && (packed >> 16 & 0x7F) == 0);
}

std::uint32_t ticksAfter(std::int64_t start, std::int64_t time)
{
    constexpr std::int64_t ticksPerSecond = 1'000'000LL * TakeTicksPerQuarter / TakeTempo;
    return std::uint32_t(((time - start) * ticksPerSecond + 500'000) / 1'000'000);
}

void startTrack(smf::Track& track, int channel, const RecordedChannelState& state)
{
    track.name = "Kanal " + std::to_string(channel + 1);
    const auto status = [channel](std::uint32_t kind) { return kind | std::uint32_t(channel); };
    const auto controllers = [&](const auto& list) {
        for (const int controller : list) {
            if (const int value = state.controllers[std::size_t(controller)]; value >= 0)
                track.events.push_back({0, status(0xB0) | std::uint32_t(controller) << 8 | std::uint32_t(value) << 16});
        }
    };
    controllers(BankControllers);
    if (state.program >= 0)
        track.events.push_back({0, status(0xC0) | std::uint32_t(state.program) << 8});
    controllers(InitialControllers);
}

}   // namespace

std::optional<TTake> makeTake(const TRecording& recording)
{
    const std::vector<RecordedMessage>& messages = recording.messages;
    RecordedChannelStates states = recording.before;
    // Up to the first note since the last save, the messages only set what is in force.
    std::size_t i = 0;
    for (; i < messages.size(); ++i) {
        if (recording.first + i >= recording.saved && isNoteOn(messages[i].packed))
            break;
        applyMessage(states, messages[i].packed);
    }
    if (i == messages.size())
        return std::nullopt;

    TTake take;
    const std::int64_t start = messages[i].time;
    std::array<smf::Track, 16> tracks;
    std::array<bool, 16> used{};
    std::array<std::array<int, 128>, 16> held{};   // Note Ons of the take not ended yet
    std::int64_t last = start;
    for (; i < messages.size(); ++i) {
        const std::uint32_t packed = messages[i].packed;
        const std::size_t channel = packed & 0x0F;
        int& sounding = held[channel][packed >> 8 & 0x7F];
        if (isNoteOff(packed)) {
            if (sounding == 0)
                continue;   // its Note On went into an earlier file
            --sounding;
        } else if (isNoteOn(packed)) {
            ++sounding;
            ++take.notes;
        }
        if (!used[channel]) {
            used[channel] = true;
            startTrack(tracks[channel], int(channel), states[channel]);
        }
        tracks[channel].events.push_back({ticksAfter(start, messages[i].time), packed});
        last = messages[i].time;
    }
    // What still sounds ends now, with a Note Off of release velocity 0.
    for (std::size_t channel = 0; channel < 16; ++channel) {
        for (std::uint32_t note = 0; note < 128; ++note) {
            for (int n = 0; n < held[channel][note]; ++n) {
                tracks[channel].events.push_back(
                    {ticksAfter(start, recording.now), 0x80u | std::uint32_t(channel) | note << 8});
                last = recording.now;
            }
        }
    }

    for (std::size_t channel = 0; channel < 16; ++channel) {
        if (!used[channel])
            continue;
        tracks[channel].end = ticksAfter(start, last);
        take.tracks.push_back(std::move(tracks[channel]));
    }
    take.length = last - start;
    take.end = recording.first + messages.size();
    return take;
}

}   // namespace tarv
