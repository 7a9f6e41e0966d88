// A JACK client for the MIDI latency benchmark, with three roles:
//   sink      MIDI input, registered first, so that tarv opens it as its output port 0;
//   source    MIDI output that stays silent, for tarv to open as its input device;
//   thru_in → thru_out   copies every event within the same cycle: the direct connection
//             whose round trip is the floor the program is measured against.
// Usage: bench_jack_midi_hub [CLIENT_NAME]; prints "ready" once active, runs until SIGINT/SIGTERM.
#include <jack/jack.h>
#include <jack/midiport.h>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

struct Hub {
    jack_port_t* sink = nullptr;
    jack_port_t* source = nullptr;
    jack_port_t* thruIn = nullptr;
    jack_port_t* thruOut = nullptr;
};

int process(jack_nframes_t frames, void* arg)
{
    const auto* hub = static_cast<const Hub*>(arg);
    jack_midi_clear_buffer(jack_port_get_buffer(hub->source, frames));
    void* in = jack_port_get_buffer(hub->thruIn, frames);
    void* out = jack_port_get_buffer(hub->thruOut, frames);
    jack_midi_clear_buffer(out);
    const jack_nframes_t count = jack_midi_get_event_count(in);
    for (jack_nframes_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, in, i) == 0)
            jack_midi_event_write(out, event.time, event.buffer, event.size);
    }
    return 0;
}

}   // namespace

int main(int argc, char* argv[])
{
    const char* name = argc > 1 ? argv[1] : "bench-hub";
    jack_client_t* client = jack_client_open(name, JackNoStartServer, nullptr);
    if (!client) {
        std::fprintf(stderr, "%s: no JACK server runs\n", argv[0]);
        return 1;
    }
    Hub hub;
    hub.sink = jack_port_register(client, "sink", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    hub.source = jack_port_register(client, "source", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    hub.thruIn = jack_port_register(client, "thru_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    hub.thruOut = jack_port_register(client, "thru_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (!hub.sink || !hub.source || !hub.thruIn || !hub.thruOut) {
        std::fprintf(stderr, "%s: cannot register the ports\n", argv[0]);
        jack_client_close(client);
        return 1;
    }
    jack_set_process_callback(client, process, &hub);
    if (jack_activate(client) != 0) {
        std::fprintf(stderr, "%s: cannot activate the client\n", argv[0]);
        jack_client_close(client);
        return 1;
    }
    std::signal(SIGINT, [](int) { stopRequested = 1; });
    std::signal(SIGTERM, [](int) { stopRequested = 1; });
    std::printf("ready\n");
    std::fflush(stdout);
    while (!stopRequested)
        usleep(50000);
    jack_client_close(client);
    return 0;
}
