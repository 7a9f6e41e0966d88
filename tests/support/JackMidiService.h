// The program's RtMidi service on the JACK server, for the tests on real transport.
#pragma once

#include "midi/Midi.h"
#include "midi/MidiServiceFactory.h"

#include <cstdlib>
#include <string>
#include <utility>

namespace tarv::test {

// Closes the ports of the service in use and installs the RtMidi service on JACK. Returns why
// that failed; empty when the service runs on JACK.
inline std::string installJackMidiService()
{
    MidiShutdown();
    ::setenv("TARV_MIDI_API", "jack", 1);
    auto service = tarv::createSystemMidiService();
    if (service->apiName() != "jack")
        return "the MIDI service runs on " + service->apiName() + ": " + service->unavailableReason();
    tarv::setMidiService(std::move(service));
    return {};
}

// Closes the ports and removes the service, and with it the program's JACK client; services
// created later are loopback ones again.
inline void removeJackMidiService()
{
    MidiShutdown();
    tarv::setMidiService(nullptr);
    ::setenv("TARV_MIDI_API", "loopback", 1);
}

}   // namespace tarv::test
