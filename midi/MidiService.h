// The MIDI service: the one door from the program to the operating system's MIDI ports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarv {

// A failure of the MIDI service; what() is the service's own text.
class MidiServiceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Opaque handle of an open port; 0 means none.
using PortHandle = std::uintptr_t;

// Runs on a thread of the service. `instance` is the value given to openInput
// (the device index at the time of opening); `packed` holds status in bits 0..7,
// data 1 in bits 8..15, data 2 in bits 16..23.
using ShortMessageHandler = std::function<void(int instance, std::uint32_t packed)>;
// Runs on a thread of the service; one call per received block (system exclusive).
using ByteBlockHandler = std::function<void(int instance, const std::uint8_t* data, std::size_t size)>;

// Every call may throw MidiServiceError. A device is addressed by its index in the system's
// list as it is now (what inputNames()/outputNames() would return) together with the name the
// caller listed there: lists go stale when devices come and go, and a port must never open on
// another device than the one its caller shows. A service never lists ports that it opened
// for the program itself (virtual ports of its own).
class MidiService {
public:
    virtual ~MidiService() = default;

    // Short lower-case name of the system behind the service ("alsa", "jack", "loopback", ...).
    virtual std::string apiName() const = 0;

    virtual std::vector<std::string> inputNames() = 0;
    virtual std::vector<std::string> outputNames() = 0;

    // Opens input port `index`, listed by the caller as `name`; from then on the handlers run
    // on the service's thread until closeInput returns. When the system's device at `index`
    // is now another one or there is none, the device has gone: the open fails and nothing
    // else opens in its place. closeInput stops the callbacks before it returns, and the
    // handle is gone, also when it fails. Handlers must not open or close input ports themselves.
    virtual PortHandle openInput(int index, const std::string& name, int instance, ShortMessageHandler onShort,
                                 ByteBlockHandler onBlock) = 0;
    virtual void closeInput(PortHandle handle) = 0;

    // As openInput and closeInput, for output port `index` listed as `name`.
    virtual PortHandle openOutput(int index, const std::string& name) = 0;
    virtual void closeOutput(PortHandle handle) = 0;

    // Sends exactly the bytes the status implies (two for program change and channel
    // pressure, three for the other channel messages, one to three for system messages).
    virtual void sendShort(PortHandle handle, std::uint32_t packed) = 0;
    virtual void sendBlock(PortHandle handle, const std::uint8_t* data, std::size_t size) = 0;

    // The channels the caller plays on this output from now on (bit n for channel n): a
    // synthesizer may keep the sounds of the others out of memory until one of them is
    // played. What is sent to the others still takes effect. The default does nothing.
    virtual void playChannels(PortHandle, std::uint16_t) {}

    // Why the service offers no ports when no MIDI system could be started; empty otherwise.
    virtual std::string unavailableReason() const { return {}; }
};

// Number of bytes a short message with this status byte occupies on the wire (1..3).
int shortMessageLength(std::uint8_t status);

}   // namespace tarv
