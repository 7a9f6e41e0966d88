// A JACK client that listens to the synthesizer's audio ports (tests and the benchmark).
#pragma once

#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace tarv::test {

// Connects the JACK output ports whose names match `pattern` to an input of its own and keeps
// the peak level of the latest period. Never starts a JACK server: valid() is false without one.
class JackCapture {
public:
    // `eachPeriod`, when given, runs in every period, on the client's process thread.
    explicit JackCapture(const char* clientName = "tarv-capture", std::function<void()> eachPeriod = {})
        : fEachPeriod(std::move(eachPeriod))
    {
        jack_status_t status{};
        fClient = jack_client_open(clientName, JackNoStartServer, &status);
        if (!fClient)
            return;
        fRecording.assign(jack_get_sample_rate(fClient), 0.0f);
        fInput = jack_port_register(fClient, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(fClient, &JackCapture::process, this);
        if (!fInput || jack_activate(fClient) != 0) {
            jack_client_close(fClient);
            fClient = nullptr;
        }
    }
    ~JackCapture()
    {
        if (fClient) {
            jack_deactivate(fClient);
            jack_client_close(fClient);
        }
    }
    JackCapture(const JackCapture&) = delete;
    JackCapture& operator=(const JackCapture&) = delete;

    bool valid() const { return fClient != nullptr; }
    int sampleRate() const { return fClient ? int(jack_get_sample_rate(fClient)) : 0; }
    int periodFrames() const { return fClient ? int(jack_get_buffer_size(fClient)) : 0; }

    // Number of ports connected.
    int connectFrom(const std::string& pattern)
    {
        int count = 0;
        if (const char** ports = jack_get_ports(fClient, pattern.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput)) {
            for (const char** port = ports; *port; ++port)
                if (jack_connect(fClient, *port, jack_port_name(fInput)) == 0)
                    ++count;
            jack_free(ports);
        }
        return count;
    }

    float lastPeak() const { return fLastPeak.load(); }
    long periods() const { return fPeriods.load(); }
    // Time of the first period whose peak exceeded `level` since arm(level).
    void arm(float level)
    {
        fArmLevel.store(level);
        fHeard.store(false);
    }
    bool heard() const { return fHeard.load(); }

    // Records the input once, from now until the buffer (one second) is full.
    void startRecording() { fRecord.store(true); }
    bool recordingDone() const { return fRecorded.load(std::memory_order_acquire) == fRecording.size(); }
    // Valid once recordingDone().
    const std::vector<float>& recording() const { return fRecording; }
    std::chrono::steady_clock::time_point heardAt() const { return fHeardAt; }

private:
    static int process(jack_nframes_t frames, void* data)
    {
        auto* self = static_cast<JackCapture*>(data);
        const auto* samples = static_cast<const float*>(jack_port_get_buffer(self->fInput, frames));
        float peak = 0;
        for (jack_nframes_t i = 0; i < frames; ++i)
            peak = std::fmax(peak, std::fabs(samples[i]));
        self->fLastPeak.store(peak);
        if (!self->fHeard.load() && peak > self->fArmLevel.load()) {
            self->fHeardAt = std::chrono::steady_clock::now();
            self->fHeard.store(true);
        }
        if (self->fRecord.load()) {
            std::size_t at = self->fRecorded.load(std::memory_order_relaxed);
            for (jack_nframes_t i = 0; i < frames && at < self->fRecording.size(); ++i)
                self->fRecording[at++] = samples[i];
            self->fRecorded.store(at, std::memory_order_release);
        }
        if (self->fEachPeriod)
            self->fEachPeriod();
        self->fPeriods.fetch_add(1);
        return 0;
    }

    std::function<void()> fEachPeriod;
    jack_client_t* fClient = nullptr;
    jack_port_t* fInput = nullptr;
    std::atomic<float> fLastPeak{0};
    std::atomic<long> fPeriods{0};
    std::atomic<float> fArmLevel{2.0f};
    std::atomic<bool> fHeard{false};
    std::chrono::steady_clock::time_point fHeardAt;
    std::vector<float> fRecording;
    std::atomic<bool> fRecord{false};
    std::atomic<std::size_t> fRecorded{0};
};

}   // namespace tarv::test
