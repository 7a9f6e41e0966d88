// The MIDI device layer: port sets, port lookup, sending, the input callback and hexadecimal text.
#include "Midi.h"

#include "MidiServiceFactory.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <utility>

using tarv::MidiServiceError;
using tarv::PortHandle;

namespace {

std::atomic<std::uint64_t> generations{0};

std::mutex setsLock;   // guards the two slots, never held while ports close
TMidiInput* inputSet = nullptr;
TMidiOutput* outputSet = nullptr;

std::string format(const char* pattern, const char* text, int value)
{
    char buffer[128];
    if (text)
        std::snprintf(buffer, sizeof buffer, pattern, text, value);
    else
        std::snprintf(buffer, sizeof buffer, pattern, value);
    return buffer;
}

std::uint32_t pack(std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    return std::uint32_t(status) | std::uint32_t(data1) << 8 | std::uint32_t(data2) << 16;
}

}   // namespace

TMidiDevices::~TMidiDevices() = default;

std::vector<std::string> TMidiDevices::Devices() const
{
    std::lock_guard lock(fLock);
    std::vector<std::string> names;
    names.reserve(fDevices.size());
    for (const Entry& entry : fDevices)
        names.push_back(entry.name);
    return names;
}

int TMidiDevices::Count() const
{
    std::lock_guard lock(fLock);
    return int(fDevices.size());
}

bool TMidiDevices::IsOpen(int aDeviceIndex) const
{
    std::lock_guard lock(fLock);
    return aDeviceIndex >= 0 && aDeviceIndex < int(fDevices.size()) && fDevices[std::size_t(aDeviceIndex)].handle != 0;
}

PortHandle TMidiDevices::GetDeviceHandle(int aDeviceIndex) const
{
    std::lock_guard lock(fLock);
    CheckIndex(aDeviceIndex);
    return fDevices[std::size_t(aDeviceIndex)].handle;
}

std::uint64_t TMidiDevices::Generation() const
{
    std::lock_guard lock(fLock);
    return fGeneration;
}

void TMidiDevices::CloseAll()
{
    std::exception_ptr failure;
    {
        std::lock_guard lock(fLock);
        failure = CloseAllLocked();
    }
    if (failure)
        std::rethrow_exception(failure);
}

std::exception_ptr TMidiDevices::CloseAllLocked()
{
    std::exception_ptr first;
    for (int i = 0; i < int(fDevices.size()); ++i) {
        try {
            CloseLocked(i);
        } catch (...) {
            if (!first)
                first = std::current_exception();
        }
    }
    return first;
}

void TMidiDevices::HandleMidiResult(const MidiServiceError& e)
{
    fMidiResult = -1;
    throw e;
}

template <class F>
auto TMidiDevices::CallService(F&& call)
{
    try {
        if constexpr (std::is_void_v<decltype(call())>) {
            call();
            fMidiResult = 0;
        } else {
            auto result = call();
            fMidiResult = 0;
            return result;
        }
    } catch (const MidiServiceError& e) {
        HandleMidiResult(e);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        // A service should only raise MidiServiceError; keep the text of anything else.
        HandleMidiResult(MidiServiceError(e.what()));
    }
}

void TMidiDevices::RaiseIndexError(int aDeviceIndex) const
{
    throw tarv::MidiIndexError(format("%s: Device index out of bounds! (%d)", fClassName, aDeviceIndex));
}

void TMidiDevices::CheckIndex(int aDeviceIndex) const
{
    if (aDeviceIndex < 0 || aDeviceIndex >= int(fDevices.size()))
        RaiseIndexError(aDeviceIndex);
}

void TMidiDevices::SetDevices(const std::vector<std::string>& names)
{
    fDevices.clear();
    for (const std::string& name : names)
        fDevices.push_back({name, 0});
    fGeneration = ++generations;
}

TMidiInput::TMidiInput() : TMidiDevices("TMidiInput")
{
    TMidiInput::Create();
}

TMidiInput::~TMidiInput()
{
    std::lock_guard lock(fLock);
    CloseAllLocked();   // the service stops a port's callbacks even when its close fails
}

void TMidiInput::Create()
{
    std::lock_guard lock(fLock);
    // Closing stops the callbacks, so no callback uses a buffer of the old set afterwards.
    std::exception_ptr closeFailure = CloseAllLocked();
    const std::vector<std::string> names = CallService([] { return tarv::midiService().inputNames(); });
    SetDevices(names);
    fSysExData.clear();
    for (std::size_t i = 0; i < names.size(); ++i)
        fSysExData.push_back(std::make_shared<TSysExData>());
    if (closeFailure)
        std::rethrow_exception(closeFailure);
}

void TMidiInput::Open(int aDeviceIndex)
{
    std::lock_guard lock(fLock);
    CheckIndex(aDeviceIndex);
    Entry& entry = fDevices[std::size_t(aDeviceIndex)];
    if (entry.handle)
        return;
    // Both callbacks run on the service thread; they know their port by the instance value
    // and hold their buffer themselves, so they never read the device list.
    std::shared_ptr<TSysExData> buffer = fSysExData[std::size_t(aDeviceIndex)];
    auto onShort = [this](int instance, std::uint32_t packed) {
        try {
            DoMidiData(instance, packed);
        } catch (...) {
            // The handler reports its own failures; nothing unwinds into the service.
        }
    };
    auto onBlock = [this, buffer](int instance, const std::uint8_t* data, std::size_t size) {
        try {
            DeliverSysEx(instance, *buffer, data, size);
        } catch (...) {
        }
    };
    entry.handle = CallService(
        [&] { return tarv::midiService().openInput(aDeviceIndex, entry.name, aDeviceIndex, onShort, onBlock); });
}

void TMidiInput::Close(int aDeviceIndex)
{
    std::lock_guard lock(fLock);
    CloseLocked(aDeviceIndex);
}

void TMidiInput::CloseLocked(int aDeviceIndex)
{
    CheckIndex(aDeviceIndex);
    Entry& entry = fDevices[std::size_t(aDeviceIndex)];
    if (!entry.handle)
        return;
    // The service lets go of the handle also when closing fails: the port counts as closed.
    const PortHandle handle = std::exchange(entry.handle, 0);
    CallService([&] { tarv::midiService().closeInput(handle); });
}

void TMidiInput::setOnMidiData(TOnMidiInData handler)
{
    auto shared = handler ? std::make_shared<const TOnMidiInData>(std::move(handler)) : nullptr;
    std::lock_guard lock(fHandlerLock);
    fOnMidiData = std::move(shared);
}

void TMidiInput::setOnSysExData(TOnSysExData handler)
{
    auto shared = handler ? std::make_shared<const TOnSysExData>(std::move(handler)) : nullptr;
    std::lock_guard lock(fHandlerLock);
    fOnSysExData = std::move(shared);
}

TOnMidiInData TMidiInput::OnMidiData() const
{
    std::lock_guard lock(fHandlerLock);
    return fOnMidiData ? *fOnMidiData : TOnMidiInData();
}

TOnSysExData TMidiInput::OnSysExData() const
{
    std::lock_guard lock(fHandlerLock);
    return fOnSysExData ? *fOnSysExData : TOnSysExData();
}

void TMidiInput::DoMidiData(int aDeviceIndex, std::uint32_t packed)
{
    std::shared_ptr<const TOnMidiInData> handler;
    {
        std::lock_guard lock(fHandlerLock);
        handler = fOnMidiData;
    }
    if (handler)
        (*handler)(aDeviceIndex, std::uint8_t(packed), std::uint8_t(packed >> 8), std::uint8_t(packed >> 16));
}

void TMidiInput::DoSysExData(int aDeviceIndex, const std::uint8_t* data, std::size_t size)
{
    std::shared_ptr<TSysExData> buffer;
    {
        std::lock_guard lock(fLock);
        CheckIndex(aDeviceIndex);
        buffer = fSysExData[std::size_t(aDeviceIndex)];
    }
    DeliverSysEx(aDeviceIndex, *buffer, data, size);
}

// Runs on the service thread, one call per received block; hands the block on in pieces
// of at most TSysExData::BufferSize bytes, each in a stream that starts at its first byte.
void TMidiInput::DeliverSysEx(int aDeviceIndex, TSysExData& buffer, const std::uint8_t* data, std::size_t size)
{
    std::shared_ptr<const TOnSysExData> handler;
    {
        std::lock_guard lock(fHandlerLock);
        handler = fOnSysExData;
    }
    if (!handler)
        return;   // nobody listens: the data is dropped
    std::vector<std::uint8_t>& stream = buffer.fSysExStream;
    struct Emptier {
        std::vector<std::uint8_t>& stream;
        ~Emptier() { stream.clear(); }
    };
    for (std::size_t offset = 0; offset < size; offset += TSysExData::BufferSize) {
        const std::size_t length = std::min<std::size_t>(TSysExData::BufferSize, size - offset);
        Emptier emptier{stream};
        stream.assign(data + offset, data + offset + length);
        (*handler)(aDeviceIndex, stream);
    }
}

TMidiOutput::TMidiOutput() : TMidiDevices("TMidiOutput")
{
    TMidiOutput::Create();
}

TMidiOutput::~TMidiOutput() = default;

void TMidiOutput::Create()
{
    std::lock_guard lock(fLock);
    std::exception_ptr closeFailure = CloseAllLocked();
    SetDevices(CallService([] { return tarv::midiService().outputNames(); }));
    if (closeFailure)
        std::rethrow_exception(closeFailure);
}

void TMidiOutput::Open(int aDeviceIndex)
{
    std::lock_guard lock(fLock);
    CheckIndex(aDeviceIndex);
    OpenLocked(aDeviceIndex);
}

void TMidiOutput::OpenLocked(int aDeviceIndex)
{
    Entry& entry = fDevices[std::size_t(aDeviceIndex)];
    if (entry.handle)
        return;
    entry.handle = CallService([&] { return tarv::midiService().openOutput(aDeviceIndex, entry.name); });
}

void TMidiOutput::Close(int aDeviceIndex)
{
    std::lock_guard lock(fLock);
    CloseLocked(aDeviceIndex);
}

void TMidiOutput::CloseLocked(int aDeviceIndex)
{
    CheckIndex(aDeviceIndex);
    Entry& entry = fDevices[std::size_t(aDeviceIndex)];
    if (!entry.handle)
        return;
    const PortHandle handle = std::exchange(entry.handle, 0);   // see TMidiInput::CloseLocked
    CallService([&] { tarv::midiService().closeOutput(handle); });
}

void TMidiOutput::Send(int aDeviceIndex, std::uint8_t aStatus, std::uint8_t aData1, std::uint8_t aData2)
{
    std::lock_guard lock(fLock);
    if (aDeviceIndex < 0 || aDeviceIndex >= int(fDevices.size()))
        throw tarv::MidiIndexError(format("Listenindex überschreitet das Maximum (%d)", nullptr, aDeviceIndex));
    OpenLocked(aDeviceIndex);
    const PortHandle handle = fDevices[std::size_t(aDeviceIndex)].handle;
    const std::uint32_t packed = pack(aStatus, aData1, aData2);
    CallService([&] { tarv::midiService().sendShort(handle, packed); });
    fRecorder.Record(tarv::ProgramTime(), packed);
}

void TMidiOutput::PlayChannels(int aDeviceIndex, std::uint16_t aChannels)
{
    std::lock_guard lock(fLock);
    CheckIndex(aDeviceIndex);
    OpenLocked(aDeviceIndex);
    const PortHandle handle = fDevices[std::size_t(aDeviceIndex)].handle;
    CallService([&] { tarv::midiService().playChannels(handle, aChannels); });
}

void TMidiOutput::SendSysEx(int aDeviceIndex, const std::vector<std::uint8_t>& aStream)
{
    std::lock_guard lock(fLock);
    CheckIndex(aDeviceIndex);
    // A closed port hands no handle to the service, which reports that as its own failure.
    const PortHandle handle = fDevices[std::size_t(aDeviceIndex)].handle;
    CallService([&] { tarv::midiService().sendBlock(handle, aStream.data(), aStream.size()); });
}

void TMidiOutput::SendSysEx(int aDeviceIndex, const std::string& aString)
{
    std::vector<std::uint8_t> stream;
    HexStrToStream(aString, stream);
    SendSysEx(aDeviceIndex, stream);
}

tarv::TRecording TMidiOutput::Recording() const
{
    tarv::TMidiRecorder::Shared shared;
    {
        std::lock_guard lock(fLock);
        shared = fRecorder.Share(tarv::ProgramTime());
    }
    return tarv::TMidiRecorder::Copy(shared);
}

void TMidiOutput::MarkRecordingSaved(std::uint64_t index)
{
    std::lock_guard lock(fLock);
    fRecorder.MarkSaved(index);
}

TMidiInput& MidiInput()
{
    std::lock_guard lock(setsLock);
    if (!inputSet)
        inputSet = new TMidiInput;   // a failed enumeration throws and leaves the slot empty
    return *inputSet;
}

TMidiOutput& MidiOutput()
{
    std::lock_guard lock(setsLock);
    if (!outputSet)
        outputSet = new TMidiOutput;
    return *outputSet;
}

void MidiShutdown()
{
    TMidiInput* input = nullptr;
    TMidiOutput* output = nullptr;
    {
        std::lock_guard lock(setsLock);
        input = inputSet;
        output = outputSet;
    }
    // The slots stay filled while the input ports close: a handler that is still running
    // finds the old sets and creates nothing. Once the ports are closed no callback runs.
    if (input) {
        try {
            input->CloseAll();
        } catch (...) {
        }
    }
    if (output) {
        try {
            output->CloseAll();
        } catch (...) {
        }
    }
    {
        std::lock_guard lock(setsLock);
        inputSet = nullptr;
        outputSet = nullptr;
    }
    delete input;
    delete output;
}

void HexStrToStream(const std::string& aText, std::vector<std::uint8_t>& aStream)
{
    static constexpr char digits[] = "123456789ABCDEF";
    std::string text;
    text.reserve(aText.size());
    for (char c : aText) {
        if (c == ' ')
            continue;
        text.push_back(c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c);
    }
    const auto value = [](char c) -> std::uint8_t {
        for (int i = 0; digits[i]; ++i) {
            if (digits[i] == c)
                return std::uint8_t(i + 1);
        }
        return 0;
    };
    aStream.assign(text.size() / 2, 0);
    for (std::size_t i = 0; i < aStream.size(); ++i)
        aStream[i] = std::uint8_t(16 * value(text[2 * i]) + value(text[2 * i + 1]));
}
