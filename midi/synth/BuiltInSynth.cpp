// The combined service: the built-in synthesizer's output first, then the system's ports.
#include "BuiltInSynth.h"

#include "FluidSynthService.h"

#include "midi/PortTable.h"

#include <mutex>

namespace tarv {

namespace {

class FrontOutputsService : public MidiService {
public:
    FrontOutputsService(std::unique_ptr<MidiService> front, std::unique_ptr<MidiService> system)
        : fFront(std::move(front)), fSystem(std::move(system))
    {}

    ~FrontOutputsService() override
    {
        // The system's input callbacks may still run until its service is gone; the front
        // service (the synthesizer) has none and can go first or last alike.
        fSystem.reset();
        fFront.reset();
    }

    std::string apiName() const override { return fSystem->apiName(); }
    std::string unavailableReason() const override { return fSystem->unavailableReason(); }

    std::vector<std::string> inputNames() override { return fSystem->inputNames(); }

    std::vector<std::string> outputNames() override
    {
        std::vector<std::string> names = fFront->outputNames();
        std::vector<std::string> systemNames = fSystem->outputNames();
        names.insert(names.end(), systemNames.begin(), systemNames.end());
        return names;
    }

    PortHandle openInput(int index, const std::string& name, int instance, ShortMessageHandler onShort,
                         ByteBlockHandler onBlock) override
    {
        const PortHandle inner = fSystem->openInput(index, name, instance, std::move(onShort), std::move(onBlock));
        return remember(fSystem.get(), inner);
    }

    void closeInput(PortHandle handle) override
    {
        // The system stops the callbacks also when closing fails; the handle is gone either way.
        const Port port = forget(handle);
        port.service->closeInput(port.inner);
    }

    // The index counts in the combined list of now; the service it falls to checks the name.
    PortHandle openOutput(int index, const std::string& name) override
    {
        if (index < 0)
            throw MidiServiceError("Kein MIDI-Ausgang mit der Nummer " + std::to_string(index));
        const int frontCount = static_cast<int>(fFront->outputNames().size());
        MidiService* service = index < frontCount ? fFront.get() : fSystem.get();
        const int innerIndex = index < frontCount ? index : index - frontCount;
        return remember(service, service->openOutput(innerIndex, name));
    }

    void closeOutput(PortHandle handle) override
    {
        const Port port = forget(handle);
        port.service->closeOutput(port.inner);
    }

    void sendShort(PortHandle handle, std::uint32_t packed) override
    {
        const Port port = find(handle);
        port.service->sendShort(port.inner, packed);
    }

    void sendBlock(PortHandle handle, const std::uint8_t* data, std::size_t size) override
    {
        const Port port = find(handle);
        port.service->sendBlock(port.inner, data, size);
    }

private:
    struct Port {
        MidiService* service = nullptr;
        PortHandle inner = 0;
    };

    PortHandle remember(MidiService* service, PortHandle inner)
    {
        std::lock_guard guard(fLock);
        return fPorts.add({service, inner});
    }

    Port find(PortHandle handle) const
    {
        std::lock_guard guard(fLock);
        return fPorts.at(handle);
    }

    // The handle is gone, whether or not closing the inner port then fails.
    Port forget(PortHandle handle)
    {
        std::lock_guard guard(fLock);
        return fPorts.take(handle);
    }

    std::unique_ptr<MidiService> fFront;
    std::unique_ptr<MidiService> fSystem;
    mutable std::mutex fLock;   // guards fPorts (calls come from the UI and MIDI threads)
    PortTable<Port> fPorts{"Der MIDI-Port ist nicht geöffnet"};
};

}   // namespace

std::unique_ptr<MidiService> withOutputsInFront(std::unique_ptr<MidiService> front, std::unique_ptr<MidiService> system)
{
    return std::make_unique<FrontOutputsService>(std::move(front), std::move(system));
}

std::unique_ptr<MidiService> withBuiltInSynth(std::unique_ptr<MidiService> system, std::function<void()> onLoaded)
{
    const std::optional<std::string> soundFont = findSoundFont();
    if (!soundFont)
        return system;
    const std::u8string path(soundFont->begin(), soundFont->end());
    FluidSynthService::Options options;
    options.afterLoading = std::move(onLoaded);
    std::unique_ptr<MidiService> synth;
    try {
        synth = std::make_unique<FluidSynthService>(std::filesystem::path(path), std::move(options));
    } catch (const MidiServiceError&) {
        return system;   // FluidSynth cannot start: the program plays on the system's ports alone
    }
    return withOutputsInFront(std::move(synth), std::move(system));
}

}   // namespace tarv
