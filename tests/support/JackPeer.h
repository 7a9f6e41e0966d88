// A JACK client of the tests that stands for an external MIDI device: it records what reaches
// its MIDI input and plays into its MIDI output like a keyboard.
#pragma once

#include "JackMidiRecorder.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace tarv::test {

// A JACK client with a MIDI input port that records what arrives and a MIDI output port that
// plays like an external keyboard. tarv opens output 0 at start, the first MIDI input port of
// the server, so the input port must be that one.
class JackPeer {
public:
    using Bytes = JackMidiRecorder::Bytes;

    ~JackPeer() { close(); }

    // False when no JACK server runs.
    bool start(const char* clientName = "e2e-peer")
    {
        jack_set_error_function([](const char*) {});
        jack_status_t status;
        fClient = jack_client_open(clientName, JackNoStartServer, &status);
        if (!fClient)
            return false;
        fIn = jack_port_register(fClient, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        fOut = jack_port_register(fClient, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(fClient, &JackPeer::process, this);
        return fIn && fOut && jack_activate(fClient) == 0;
    }

    std::string inputName() const { return jack_port_name(fIn); }
    std::string outputName() const { return jack_port_name(fOut); }

    bool outputConnected() const { return jack_port_connected(fOut) > 0; }

    // Sends the messages in the next cycle, in this order.
    void play(std::vector<Bytes> messages)
    {
        std::lock_guard lock(fLock);
        for (Bytes& message : messages)
            fToSend.push_back(std::move(message));
    }

    // The name of the server's first MIDI input port (what tarv will open as output 0).
    std::string firstMidiInput() const
    {
        std::string first;
        if (const char** ports = jack_get_ports(fClient, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput)) {
            if (ports[0])
                first = ports[0];
            jack_free(ports);
        }
        return first;
    }

    bool connected() const
    {
        std::lock_guard lock(fLock);
        return fIn && jack_port_connected(fIn) > 0;
    }

    bool waitReceived(std::size_t count, std::chrono::milliseconds timeout)
    {
        return fRecorder.waitReceived(count, timeout);
    }
    std::vector<Bytes> received() const { return fRecorder.received(); }

    // The device goes away while tarv is connected to it: the port first, then the client.
    void unplug()
    {
        if (fClient && fIn) {
            jack_deactivate(fClient);
            jack_port_unregister(fClient, fIn);
            jack_port_unregister(fClient, fOut);
            std::lock_guard lock(fLock);
            fIn = nullptr;
            fOut = nullptr;
        }
        close();
    }

    void close()
    {
        if (fClient)
            jack_client_close(fClient);
        fClient = nullptr;
        fIn = nullptr;
        fOut = nullptr;
    }

private:
    // Runs on the JACK process thread (the test server runs without realtime scheduling).
    static int process(jack_nframes_t frames, void* arg)
    {
        auto* self = static_cast<JackPeer*>(arg);
        std::lock_guard lock(self->fLock);
        if (self->fIn)
            self->fRecorder.record(jack_port_get_buffer(self->fIn, frames));
        if (self->fOut) {
            void* out = jack_port_get_buffer(self->fOut, frames);
            jack_midi_clear_buffer(out);
            for (const Bytes& message : self->fToSend)
                jack_midi_event_write(out, 0, message.data(), message.size());
            self->fToSend.clear();
        }
        return 0;
    }

    jack_client_t* fClient = nullptr;
    jack_port_t* fIn = nullptr;
    jack_port_t* fOut = nullptr;
    mutable std::mutex fLock;   // guards the ports and fToSend against the process thread
    std::vector<Bytes> fToSend;
    JackMidiRecorder fRecorder;
};

}   // namespace tarv::test
