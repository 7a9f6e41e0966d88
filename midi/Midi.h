// The MIDI device layer: the input and output port sets over the MIDI service.
#pragma once

#include "MidiRecorder.h"
#include "MidiService.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarv {
// An index outside a port set's device list: "%s: Device index out of bounds! (%d)" from
// Open, Close, SendSysEx and GetDeviceHandle, "Listenindex überschreitet das Maximum (%d)" from Send.
class MidiIndexError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
}   // namespace tarv

// Receive buffer of one input port: the bytes of system-exclusive input handed to OnSysExData.
class TSysExData {
public:
    // Largest piece handed to OnSysExData at once, in bytes.
    static constexpr int BufferSize = 2048;
    std::vector<std::uint8_t>& SysExStream() { return fSysExStream; }

private:
    std::vector<std::uint8_t> fSysExStream;
    friend class TMidiInput;
};

// Runs on the MIDI service thread.
using TOnMidiInData =
    std::function<void(int aDeviceIndex, std::uint8_t aStatus, std::uint8_t aData1, std::uint8_t aData2)>;
// Runs on the MIDI service thread; the stream (read from position 0) is emptied when the handler returns.
using TOnSysExData = std::function<void(int aDeviceIndex, const std::vector<std::uint8_t>& aStream)>;

// Every operation runs on the UI thread, except Send, which the MIDI thread may call too.
// A failed service call raises tarv::MidiServiceError with the service's own text.
class TMidiDevices {
public:
    virtual ~TMidiDevices();
    TMidiDevices(const TMidiDevices&) = delete;
    TMidiDevices& operator=(const TMidiDevices&) = delete;

    // Names of the devices, index = device index; duplicate names are kept.
    std::vector<std::string> Devices() const;
    int Count() const;
    // Runs the enumeration again: first closes every port that is still open (the first
    // failure of closing is raised once the new list is in place), then lists the devices the
    // system reports now, all closed.
    virtual void Create() = 0;
    // Opens exactly the device that the list names at that index; when the system's device
    // there is another one or gone, the service's failure is raised and nothing opens.
    virtual void Open(int aDeviceIndex) = 0;
    // A port whose close fails counts as closed all the same (the service has let go of it)
    // and can be opened again; the failure is raised.
    virtual void Close(int aDeviceIndex) = 0;
    // Closes every open port in ascending order; skips closed ones. A failure does not stop
    // the others from closing; the first one is raised at the end.
    void CloseAll();
    bool IsOpen(int aDeviceIndex) const;                        // false for an index outside the list
    tarv::PortHandle GetDeviceHandle(int aDeviceIndex) const;   // throws for a bad index
    // Changes with every enumeration (of any set), so that users can tell a new list.
    std::uint64_t Generation() const;

protected:
    explicit TMidiDevices(const char* className) : fClassName(className) {}
    struct Entry {
        std::string name;
        tarv::PortHandle handle = 0;
    };

    // Records the failure and raises it with the service's text.
    [[noreturn]] void HandleMidiResult(const tarv::MidiServiceError& e);
    // Runs one call into the MIDI service; any failure goes through HandleMidiResult.
    template <class F>
    auto CallService(F&& call);
    [[noreturn]] void RaiseIndexError(int aDeviceIndex) const;
    // With fLock held:
    void CheckIndex(int aDeviceIndex) const;
    void SetDevices(const std::vector<std::string>& names);
    virtual void CloseLocked(int aDeviceIndex) = 0;
    std::exception_ptr CloseAllLocked();

    const char* fClassName;
    std::vector<Entry> fDevices;
    std::atomic<int> fMidiResult = 0;
    std::uint64_t fGeneration = 0;
    mutable std::mutex fLock;   // guards fDevices; held for the whole of each operation
};

class TMidiInput : public TMidiDevices {
public:
    TMidiInput();             // enumerates the input devices
    ~TMidiInput() override;   // closes every open port: no callback runs after it
    void Create() override;
    void Open(int aDeviceIndex) override;
    void Close(int aDeviceIndex) override;
    // Handlers run on the MIDI service thread. They must not open or close input ports.
    // Whoever owns a handler's target closes the input ports before it goes away.
    void setOnMidiData(TOnMidiInData handler);
    void setOnSysExData(TOnSysExData handler);
    TOnMidiInData OnMidiData() const;
    TOnSysExData OnSysExData() const;
    // What the service callback does for a port; public for tests. The callback itself
    // reaches its port's buffer directly, never through the device list.
    void DoMidiData(int aDeviceIndex, std::uint32_t packed);
    void DoSysExData(int aDeviceIndex, const std::uint8_t* data, std::size_t size);

private:
    void CloseLocked(int aDeviceIndex) override;
    void DeliverSysEx(int aDeviceIndex, TSysExData& buffer, const std::uint8_t* data, std::size_t size);

    std::shared_ptr<const TOnMidiInData> fOnMidiData;
    std::shared_ptr<const TOnSysExData> fOnSysExData;
    std::vector<std::shared_ptr<TSysExData>> fSysExData;   // one per device, in device order
    mutable std::mutex fHandlerLock;
};

class TMidiOutput : public TMidiDevices {
public:
    TMidiOutput();             // enumerates the output devices
    ~TMidiOutput() override;   // leaves ports open, like the system's own sets
    void Create() override;
    void Open(int aDeviceIndex) override;
    void Close(int aDeviceIndex) override;
    // Opens the port on demand; a bad index raises "Listenindex überschreitet das Maximum (%d)".
    // The bytes go out unchanged, as many as the status implies.
    void Send(int aDeviceIndex, std::uint8_t aStatus, std::uint8_t aData1, std::uint8_t aData2);
    // The port must be open already.
    void SendSysEx(int aDeviceIndex, const std::vector<std::uint8_t>& aStream);
    void SendSysEx(int aDeviceIndex, const std::string& aString);
    // Tells the port which channels are played on it (MidiService::playChannels); opens it on
    // demand, as Send does.
    void PlayChannels(int aDeviceIndex, std::uint16_t aChannels);

    // The channel messages Send put on the wire, on any port, kept by the recorder below under
    // fLock: a copy of what is kept now, and the mark of a save. Any thread.
    tarv::TRecording Recording() const;
    void MarkRecordingSaved(std::uint64_t index);

private:
    void OpenLocked(int aDeviceIndex);
    void CloseLocked(int aDeviceIndex) override;

    tarv::TMidiRecorder fRecorder;
};

// Module-level port sets, created (enumeration included) on first use; a failed
// enumeration leaves the slot empty and the next call tries again. Thread-safe.
TMidiInput& MidiInput();
TMidiOutput& MidiOutput();
// Shutdown: closes the input ports (stopping their callbacks) while the sets still exist,
// then the output ports, then releases both sets. Errors of closing are dropped. The MIDI
// service never reaches the sets through these accessors, so no callback can create a new
// set during or after it; a later call from the UI thread starts afresh.
void MidiShutdown();
// Fills the stream with the bytes that the hexadecimal text spells: blanks are dropped, a
// final odd digit too, and any character that is not a hexadecimal digit counts as 0.
void HexStrToStream(const std::string& aText, std::vector<std::uint8_t>& aStream);
