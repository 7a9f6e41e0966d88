// The Standard MIDI File writer: header, tracks, variable-length numbers and meta events.
#include "MidiFile.h"

#include <algorithm>

namespace tarv::smf {

namespace {

void appendBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes)
{
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out.push_back(std::uint8_t(value >> shift));
}

void appendMeta(std::vector<std::uint8_t>& out, std::uint32_t delta, std::uint8_t type,
                const std::vector<std::uint8_t>& data)
{
    appendVariableLength(out, delta);
    out.push_back(0xFF);
    out.push_back(type);
    appendVariableLength(out, std::uint32_t(data.size()));
    out.insert(out.end(), data.begin(), data.end());
}

// A chunk: its four-letter type, its length, its bytes.
void appendChunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(std::uint8_t(type[i]));
    appendBigEndian(out, std::uint32_t(data.size()), 4);
    out.insert(out.end(), data.begin(), data.end());
}

constexpr std::uint8_t TrackName = 0x03, EndOfTrack = 0x2F, Tempo = 0x51, TimeSignature = 0x58;

std::vector<std::uint8_t> tempoTrack(std::uint32_t tempo)
{
    std::vector<std::uint8_t> data;
    appendMeta(data, 0, Tempo, {std::uint8_t(tempo >> 16), std::uint8_t(tempo >> 8), std::uint8_t(tempo)});
    // 4/4, a metronome click every quarter (24 clocks), eight 32nds a quarter.
    appendMeta(data, 0, TimeSignature, {4, 2, 24, 8});
    appendMeta(data, 0, EndOfTrack, {});
    return data;
}

std::vector<std::uint8_t> channelTrack(const Track& track)
{
    std::vector<std::uint8_t> data;
    if (!track.name.empty())
        appendMeta(data, 0, TrackName, {track.name.begin(), track.name.end()});
    std::uint32_t tick = 0;
    for (const Event& event : track.events) {
        appendVariableLength(data, event.tick - tick);
        tick = event.tick;
        const std::uint8_t status = std::uint8_t(event.packed);
        data.push_back(status);
        data.push_back(std::uint8_t(event.packed >> 8) & 0x7F);
        // Program change and channel pressure carry one data byte.
        if ((status & 0xE0) != 0xC0)
            data.push_back(std::uint8_t(event.packed >> 16) & 0x7F);
    }
    appendMeta(data, std::max(track.end, tick) - tick, EndOfTrack, {});
    return data;
}

}   // namespace

void appendVariableLength(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    value = std::min<std::uint32_t>(value, 0x0FFFFFFF);
    int shift = 21;
    while (shift > 0 && (value >> shift) == 0)
        shift -= 7;
    for (; shift > 0; shift -= 7)
        out.push_back(std::uint8_t(0x80 | ((value >> shift) & 0x7F)));
    out.push_back(std::uint8_t(value & 0x7F));
}

std::vector<std::uint8_t> writeMidiFile(const std::vector<Track>& tracks, std::uint16_t ticksPerQuarter,
                                        std::uint32_t tempo)
{
    std::vector<std::uint8_t> header;
    appendBigEndian(header, 1, 2);   // format 1: tracks played together
    appendBigEndian(header, std::uint32_t(tracks.size() + 1), 2);
    appendBigEndian(header, ticksPerQuarter & 0x7FFF, 2);
    std::vector<std::uint8_t> file;
    appendChunk(file, "MThd", header);
    appendChunk(file, "MTrk", tempoTrack(tempo));
    for (const Track& track : tracks)
        appendChunk(file, "MTrk", channelTrack(track));
    return file;
}

}   // namespace tarv::smf
