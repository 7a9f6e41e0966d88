// The choice of the MIDI system (RtMidi or the loopback service) and the process-wide MIDI service.
#include "MidiServiceFactory.h"

#include "LoopbackMidiService.h"
#include "RtMidiService.h"

#include <cstdlib>
#include <mutex>

namespace tarv {

namespace {

// Stands in when no MIDI system can be started: no ports, and every use says why.
class UnavailableMidiService final : public MidiService {
public:
    explicit UnavailableMidiService(std::string reason) : fReason(std::move(reason)) {}

    std::string apiName() const override { return "none"; }
    std::vector<std::string> inputNames() override { return {}; }
    std::vector<std::string> outputNames() override { return {}; }
    PortHandle openInput(int, const std::string&, int, ShortMessageHandler, ByteBlockHandler) override { fail(); }
    void closeInput(PortHandle) override { fail(); }
    PortHandle openOutput(int, const std::string&) override { fail(); }
    void closeOutput(PortHandle) override { fail(); }
    void sendShort(PortHandle, std::uint32_t) override { fail(); }
    void sendBlock(PortHandle, const std::uint8_t*, std::size_t) override { fail(); }
    std::string unavailableReason() const override { return fReason; }

private:
    [[noreturn]] void fail() const { throw MidiServiceError(fReason); }
    std::string fReason;
};

std::mutex serviceLock;
std::unique_ptr<MidiService> processService;

std::string unavailableText(const std::string& details)
{
    return "Kein MIDI-System verfügbar (" + details + ")";
}

}   // namespace

std::unique_ptr<MidiService> createSystemMidiService()
{
    const char* chosen = std::getenv("TARV_MIDI_API");
    const std::string api = chosen ? chosen : "";

    if (api == "loopback") {
        return std::make_unique<LoopbackMidiService>(std::vector<std::string>{"Loopback In 1", "Loopback In 2"},
                                                     std::vector<std::string>{"Loopback Out 1", "Loopback Out 2"});
    }

    const std::vector<std::string> compiled = RtMidiService::compiledApis();
    if (!api.empty()) {
        try {
            return RtMidiService::create(api);
        } catch (const MidiServiceError& e) {
            return std::make_unique<UnavailableMidiService>(unavailableText(api + ": " + e.what()));
        }
    }

    // The platform's default first; on Linux ALSA cannot start without a sequencer
    // device, and JACK only while a server runs.
    std::string reasons;
    for (const std::string& name : compiled) {
        try {
            return RtMidiService::create(name);
        } catch (const MidiServiceError& e) {
            if (!reasons.empty())
                reasons += "; ";
            reasons += name + ": " + e.what();
        }
    }
    if (reasons.empty())
        reasons = "RtMidi enthält kein MIDI-System";
    return std::make_unique<UnavailableMidiService>(unavailableText(reasons));
}

MidiService& midiService()
{
    std::lock_guard lock(serviceLock);
    if (!processService)
        processService = createSystemMidiService();
    return *processService;
}

std::unique_ptr<MidiService> setMidiService(std::unique_ptr<MidiService> service)
{
    std::lock_guard lock(serviceLock);
    std::swap(processService, service);
    return service;
}

}   // namespace tarv
