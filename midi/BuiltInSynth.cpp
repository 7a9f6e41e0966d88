// The built-in synthesizer's module loaded when a sound font is found, and the combined service:
// the synthesizer's output first, then the system's ports.
#include "BuiltInSynth.h"

#include "PortTable.h"
#include "SoundFontSearch.h"

#include <mutex>
#include <system_error>

#if !defined(_WIN32)
#include <dlfcn.h>
#endif

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

    void playChannels(PortHandle handle, std::uint16_t channels) override
    {
        const Port port = find(handle);
        port.service->playChannels(port.inner, channels);
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

std::vector<std::filesystem::path> synthModuleFolders(const std::filesystem::path& executableFolder)
{
    if (executableFolder.empty())
        return {};
    return {executableFolder, executableFolder / ".." / "lib" / "tarv"};
}

CreateSynth loadSynthModule(const std::vector<std::filesystem::path>& folders, std::string& failure)
{
    std::string searched;
    for (const std::filesystem::path& folder : folders) {
        const std::filesystem::path file = folder / SynthModuleFile;
        std::error_code error;
        if (!std::filesystem::is_regular_file(file, error)) {
            searched += (searched.empty() ? "" : ", ") + file.lexically_normal().string();
            continue;
        }
#if defined(_WIN32)
        failure = "Module werden unter Windows nicht geladen";
        return nullptr;
#else
        // Never closed: the service it creates lives until the process ends.
        void* module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        void* entry = module ? dlsym(module, SynthModuleEntry) : nullptr;
        if (!entry) {
            const char* reason = dlerror();
            failure = reason ? reason : file.string();
            return nullptr;
        }
        return reinterpret_cast<CreateSynth>(entry);
#endif
    }
    failure = std::string(SynthModuleFile) + " fehlt (gesucht: " + (searched.empty() ? "nirgends" : searched) + ")";
    return nullptr;
}

WithSynth withBuiltInSynth(std::unique_ptr<MidiService> system, const std::filesystem::path& executableFolder,
                           std::function<void()> onLoaded)
{
    const std::optional<std::string> soundFont = findSoundFont(defaultSoundFontSearch(executableFolder));
    if (!soundFont)
        return {std::move(system), {}};
    std::string failure;
    const CreateSynth create = loadSynthModule(synthModuleFolders(executableFolder), failure);
    if (!create)
        return {std::move(system), "Der eingebaute Synthesizer kann nicht geladen werden: " + failure};
    std::unique_ptr<MidiService> synth(create(*soundFont, std::move(onLoaded), failure));
    if (!synth)
        return {std::move(system), "Der eingebaute Synthesizer kann nicht starten: " + failure};
    return {withOutputsInFront(std::move(synth), std::move(system)), {}};
}

}   // namespace tarv
