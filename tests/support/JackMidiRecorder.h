// Records the MIDI events that reach a JACK input port, for the tests on a JACK server.
#pragma once

#include <jack/midiport.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace tarv::test {

class JackMidiRecorder {
public:
    using Bytes = std::vector<std::uint8_t>;

    // Runs on the JACK process thread with the input port's buffer of this cycle.
    void record(void* portBuffer)
    {
        const jack_nframes_t count = jack_midi_get_event_count(portBuffer);
        if (count == 0)
            return;
        std::lock_guard lock(fLock);
        for (jack_nframes_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, portBuffer, i) == 0)
                fReceived.emplace_back(event.buffer, event.buffer + event.size);
        }
        fArrived.notify_all();
    }

    std::vector<Bytes> received() const
    {
        std::lock_guard lock(fLock);
        return fReceived;
    }

    bool waitReceived(std::size_t count, std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(fLock);
        return fArrived.wait_for(lock, timeout, [&] { return fReceived.size() >= count; });
    }

private:
    mutable std::mutex fLock;
    std::condition_variable fArrived;
    std::vector<Bytes> fReceived;
};

}   // namespace tarv::test
