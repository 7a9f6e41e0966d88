// The MIDI device layer: the input and output port sets over the MIDI service.
#pragma once

#include "MidiService.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>


// Receive buffer of one input port: the bytes of system-exclusive input gathered for delivery.
class TSysExData {
public:
    static constexpr int BufferSize = 2048;
    std::vector<std::uint8_t>& SysExStream() { return fSysExStream; }
private:
    std::vector<std::uint8_t> fSysExStream;
    friend class TMidiInput;
};

// Runs on the MIDI service thread.
using TOnMidiInData = std::function<void(int aDeviceIndex, std::uint8_t aStatus, std::uint8_t aData1, std::uint8_t aData2)>;
// Runs on the MIDI service thread; the stream (read from position 0) is emptied when the handler returns.
using TOnSysExData = std::function<void(int aDeviceIndex, const std::vector<std::uint8_t>& aStream)>;

class TMidiDevices {
public:
    virtual ~TMidiDevices();
    // Names of the devices, index = device index; duplicate names are kept.
    std::vector<std::string> Devices() const;
    int Count() const;
    // Runs the enumeration again (closing every port that is still open first).
    virtual void Create() = 0;
    virtual void Open(int aDeviceIndex) = 0;
    virtual void Close(int aDeviceIndex) = 0;
    void CloseAll();
    bool IsOpen(int aDeviceIndex) const;
    tarv::PortHandle GetDeviceHandle(int aDeviceIndex) const;   // throws for a bad index

protected:
    explicit TMidiDevices(const char* className) : fClassName(className) {}
    struct Entry { std::string name; tarv::PortHandle handle = 0; };
    void HandleMidiResult(const tarv::MidiServiceError& e);   // records and rethrows
    [[noreturn]] void RaiseIndexError(int aDeviceIndex) const;
    const char* fClassName;
    std::vector<Entry> fDevices;
    int fMidiResult = 0;
    mutable std::mutex fLock;   // guards fDevices against the service thread
};

class TMidiInput : public TMidiDevices {
public:
    TMidiInput();
    ~TMidiInput() override;   // closes every open port: no callback runs after it
    void Create() override;
    void Open(int aDeviceIndex) override;
    void Close(int aDeviceIndex) override;
    void setOnMidiData(TOnMidiInData handler);
    void setOnSysExData(TOnSysExData handler);
    TOnMidiInData OnMidiData() const;
    // Called by the service callback; public for the callback and for tests.
    void DoMidiData(int aDeviceIndex, std::uint32_t packed);
    void DoSysExData(int aDeviceIndex, const std::uint8_t* data, std::size_t size);
private:
    TOnMidiInData fOnMidiData;
    TOnSysExData fOnSysExData;
    std::vector<std::unique_ptr<TSysExData>> fSysExData;
    mutable std::mutex fHandlerLock;
};

class TMidiOutput : public TMidiDevices {
public:
    TMidiOutput();
    void Create() override;
    void Open(int aDeviceIndex) override;
    void Close(int aDeviceIndex) override;
    // Opens the port on demand; a bad index raises "Listenindex überschreitet das Maximum (%d)".
    void Send(int aDeviceIndex, std::uint8_t aStatus, std::uint8_t aData1, std::uint8_t aData2);
    void SendSysEx(int aDeviceIndex, const std::vector<std::uint8_t>& aStream);
    void SendSysEx(int aDeviceIndex, const std::string& aString);
};

// Module-level port sets, created (enumeration included) on first use.
TMidiInput& MidiInput();
TMidiOutput& MidiOutput();
// Shutdown: closes the input ports (stopping their callbacks), then releases both sets.
// After it MidiInput() is never recreated from the service thread.
void MidiShutdown();
// Fills the stream with the bytes that the hexadecimal text spells.
void HexStrToStream(const std::string& aText, std::vector<std::uint8_t>& aStream);
