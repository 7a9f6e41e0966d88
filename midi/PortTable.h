// PortTable: the open ports of a MIDI service by their handles.
#pragma once

#include "MidiService.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tarv {

// Hands out the handles of a service's open ports (1, 2, ... in order; never 0, never twice)
// and keeps what the service needs of each port. An unknown handle fails with the service's
// own text, "<text> (<handle>)". Takes no lock: the service guards the table with its own.
template <class Port>
class PortTable {
public:
    explicit PortTable(std::string unknownText) : fUnknownText(std::move(unknownText)) {}

    PortHandle add(Port port)
    {
        const PortHandle handle = fNextHandle++;
        fPorts.emplace(handle, std::move(port));
        return handle;
    }

    // Null when `handle` is not open.
    Port* find(PortHandle handle)
    {
        const auto it = fPorts.find(handle);
        return it == fPorts.end() ? nullptr : &it->second;
    }
    const Port* find(PortHandle handle) const
    {
        const auto it = fPorts.find(handle);
        return it == fPorts.end() ? nullptr : &it->second;
    }

    // Throws MidiServiceError when `handle` is not open.
    Port& at(PortHandle handle)
    {
        if (Port* port = find(handle))
            return *port;
        failUnknown(handle);
    }
    const Port& at(PortHandle handle) const
    {
        if (const Port* port = find(handle))
            return *port;
        failUnknown(handle);
    }

    // Removes the port and hands it over; throws as at() does.
    Port take(PortHandle handle)
    {
        Port port = std::move(at(handle));
        fPorts.erase(handle);
        return port;
    }
    // Removes every port and hands them over in the order of their handles.
    std::vector<Port> takeAll()
    {
        std::vector<Port> ports;
        ports.reserve(fPorts.size());
        for (auto& [handle, port] : fPorts)
            ports.push_back(std::move(port));
        fPorts.clear();
        return ports;
    }

    // The service's failure for a handle it does not know (or not for this use).
    [[noreturn]] void failUnknown(PortHandle handle) const
    {
        throw MidiServiceError(fUnknownText + " (" + std::to_string(handle) + ")");
    }

    bool empty() const { return fPorts.empty(); }
    // The open ports as (handle, port) pairs in the order of their handles.
    auto begin() const { return fPorts.begin(); }
    auto end() const { return fPorts.end(); }

private:
    std::string fUnknownText;
    std::map<PortHandle, Port> fPorts;
    PortHandle fNextHandle = 1;
};

}   // namespace tarv
