// The MIDI service over RtMidi: ALSA sequencer or JACK on Linux, WinMM on Windows, CoreMIDI on macOS.
#pragma once

#include "MidiService.h"

#include <memory>
#include <string>
#include <vector>

namespace tarv {

// Every RtMidi client the service creates is named "tarv"; ports of clients whose name
// starts with "tarv" (the program's own, on ALSA and JACK) are left out of the lists.
// Each open port has an RtMidi object (on JACK: a client) of its own. Thread-safe.
class RtMidiService final : public MidiService {
public:
    // Starts the system named "alsa", "jack", "winmm" or "core"; throws MidiServiceError
    // with the system's own text when it is not compiled in or cannot start.
    static std::unique_ptr<RtMidiService> create(const std::string& api);
    // Names of the systems compiled into RtMidi, the platform's default first.
    static std::vector<std::string> compiledApis();

    ~RtMidiService() override;

    std::string apiName() const override;
    std::vector<std::string> inputNames() override;
    std::vector<std::string> outputNames() override;
    PortHandle openInput(int index, const std::string& name, int instance, ShortMessageHandler onShort,
                         ByteBlockHandler onBlock) override;
    void closeInput(PortHandle handle) override;
    PortHandle openOutput(int index, const std::string& name) override;
    void closeOutput(PortHandle handle) override;
    void sendShort(PortHandle handle, std::uint32_t packed) override;
    void sendBlock(PortHandle handle, const std::uint8_t* data, std::size_t size) override;

private:
    struct Impl;
    explicit RtMidiService(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d;
};

}   // namespace tarv
