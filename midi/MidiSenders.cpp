// The channel message senders and the quiet dropping of sends to a missing output.
#include "MidiSenders.h"

#include "Midi.h"

#include <algorithm>
#include <mutex>

namespace {

// A missing output whose failure has been raised already.
struct MissingOutput {
    bool reported = false;
    int port = 0;
    std::uint64_t generation = 0;   // of the output list it was missing from
};

std::mutex missingLock;   // the senders run on the UI and the MIDI service thread
MissingOutput missingOutput;

std::uint8_t dataByte(std::uint8_t value)
{
    return std::min<std::uint8_t>(value, 127);
}

// Sends one channel message on the port; false when it was dropped quietly.
bool sendOnPort(int port, std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    TMidiOutput& output = MidiOutput();
    const std::uint64_t generation = output.Generation();
    bool reported = false;
    {
        std::lock_guard lock(missingLock);
        if (missingOutput.reported && (missingOutput.port != port || missingOutput.generation != generation))
            missingOutput.reported = false;
        reported = missingOutput.reported;
    }

    const bool outsideList = port < 0 || port >= output.Count();
    if (outsideList || !output.IsOpen(port)) {
        if (reported)
            return false;
        try {
            if (outsideList)
                output.Send(port, status, data1, data2);   // raises the list's index error
            else
                output.Open(port);
        } catch (...) {
            std::lock_guard lock(missingLock);
            missingOutput = {true, port, generation};
            throw;
        }
    }
    output.Send(port, status, data1, data2);
    std::lock_guard lock(missingLock);
    missingOutput.reported = false;
    return true;
}

void sendChannelMessage(int port, std::uint8_t base, std::uint8_t channel, std::uint8_t data1, std::uint8_t data2)
{
    if (channel > 15)
        return;   // the status byte would stand for another kind of message
    sendOnPort(port, std::uint8_t(base + channel), dataByte(data1), dataByte(data2));
}

}   // namespace

void SendProgramChange(int aPort, std::uint8_t aChannel, std::uint8_t aProgram)
{
    sendChannelMessage(aPort, 0xC0, aChannel, aProgram, 0);
}

void SendVolume(int aPort, std::uint8_t aChannel, std::uint8_t aValue)
{
    sendChannelMessage(aPort, 0xB0, aChannel, 7, aValue);
}

void SendPanorama(int aPort, std::uint8_t aChannel, std::uint8_t aValue)
{
    sendChannelMessage(aPort, 0xB0, aChannel, 10, aValue);
}

void SendSustain(int aPort, std::uint8_t aChannel, std::uint8_t aValue)
{
    sendChannelMessage(aPort, 0xB0, aChannel, 64, aValue);
}

void SendChorus(int aPort, std::uint8_t aChannel, std::uint8_t aValue)
{
    sendChannelMessage(aPort, 0xB0, aChannel, 91, aValue);
}

void SendReverb(int aPort, std::uint8_t aChannel, std::uint8_t aValue)
{
    sendChannelMessage(aPort, 0xB0, aChannel, 93, aValue);
}

void SendAllNotesOff(int aPort, std::uint8_t aChannel)
{
    sendChannelMessage(aPort, 0xB0, aChannel, 123, 0);
}

void PlayOnlyChannels(int aPort, std::uint8_t aLeftChannel, std::uint8_t aRightChannel)
{
    if (aLeftChannel > 15 || aRightChannel > 15 || OutputFailureReported())
        return;
    try {
        MidiOutput().PlayChannels(aPort, std::uint16_t((1u << aLeftChannel) | (1u << aRightChannel)));
    } catch (const std::exception&) {
        // The output keeps every channel's sounds: nothing is lost but memory.
    }
}

bool SendNote(int aPort, std::uint8_t aChannel, int aNote, std::uint8_t aVelocity, bool aOn)
{
    if (aNote < 0 || aNote > 127 || aChannel > 15)
        return false;
    const std::uint8_t status = std::uint8_t((aOn ? 0x90 : 0x80) + aChannel);
    return sendOnPort(aPort, status, std::uint8_t(aNote), dataByte(aVelocity));
}

bool OutputFailureReported()
{
    std::lock_guard lock(missingLock);
    return missingOutput.reported;
}

void ResetOutputFailure()
{
    std::lock_guard lock(missingLock);
    missingOutput = {};
}
