// An in-process MIDI service for tests and benchmarks: virtual ports, injected input, recorded output.
#pragma once

#include "MidiService.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tarv {

struct SentMessage {
    int device = -1;                   // output device index the port was opened with
    std::string name;                  // name of the device it went to
    std::vector<std::uint8_t> bytes;   // exactly the bytes on the wire
    std::chrono::steady_clock::time_point time;
};

// Thread-safe. Input is delivered from a thread of the service's own (never from the
// caller's thread), in the order it was injected.
class LoopbackMidiService : public MidiService {
public:
    LoopbackMidiService(std::vector<std::string> inputs, std::vector<std::string> outputs);
    ~LoopbackMidiService() override;
    LoopbackMidiService(const LoopbackMidiService&) = delete;
    LoopbackMidiService& operator=(const LoopbackMidiService&) = delete;

    std::string apiName() const override { return "loopback"; }
    std::vector<std::string> inputNames() override;
    std::vector<std::string> outputNames() override;
    PortHandle openInput(int index, const std::string& name, int instance, ShortMessageHandler onShort,
                         ByteBlockHandler onBlock) override;
    void closeInput(PortHandle handle) override;
    PortHandle openOutput(int index, const std::string& name) override;
    void closeOutput(PortHandle handle) override;
    void sendShort(PortHandle handle, std::uint32_t packed) override;
    void sendBlock(PortHandle handle, const std::uint8_t* data, std::size_t size) override;

    // Test controls.
    // Devices are addressed by name; a control applies to every device of that name.
    void addInput(const std::string& name);
    void addOutput(const std::string& name);
    // An unplugged device disappears from the lists; its open ports fail on every later call
    // (closing too; a closed input delivers nothing even then). Plugging a device of that name
    // in again (addInput/addOutput) lists it at the end.
    void unplugInput(const std::string& name);
    void unplugOutput(const std::string& name);
    // Make the next and all later open/close/send calls on the named device fail with `text`
    // (empty text: stop failing). A failing close forgets the handle all the same.
    void failOpen(const std::string& device, const std::string& text);
    void failClose(const std::string& device, const std::string& text);
    void failSend(const std::string& device, const std::string& text);

    // Injects a short message (1..3 bytes taken from `packed` by its status) or a byte block
    // into the input device `name`; delivered asynchronously on the service thread to every
    // open port of a device of that name, with the port's instance value.
    void injectShort(const std::string& input, std::uint32_t packed);
    void injectBlock(const std::string& input, std::vector<std::uint8_t> bytes);
    // Waits until every injected message has been delivered (or dropped for a closed port).
    bool waitInputIdle(std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // Every message sent so far; `device` is the index the port was opened with.
    std::vector<SentMessage> sent() const;
    void clearSent();
    // Waits until at least `count` messages have been sent in all.
    bool waitSent(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Number of open ports of each kind (for tests of open/close behaviour).
    int openInputCount() const;
    int openOutputCount() const;
    int openCalls() const;   // successful openOutput calls so far
    // Name of the device that the open port `handle` belongs to; empty when no port has it.
    std::string deviceName(PortHandle handle) const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}   // namespace tarv
