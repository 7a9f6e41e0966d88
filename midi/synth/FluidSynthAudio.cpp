// The FluidSynth service's audio output: the audio driver and the rendering of its periods.
#include "FluidSynthServiceImpl.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tarv {

namespace {

// Below this peak level (-100 dBFS) with no voice left, the output counts as silent.
constexpr float QuietLevel = 1e-5f;
// After this much silent output the audio thread stops rendering until the next message:
// long enough for the reverb tail to die away.
constexpr long IdleAfterFrames = FluidSynthService::SampleRate / 5;

std::vector<std::string> platformDrivers()
{
#if defined(_WIN32)
    return {"wasapi", "dsound", "waveout"};
#elif defined(__APPLE__)
    return {"coreaudio"};
#else
    return {"pipewire", "pulseaudio", "alsa", "jack"};
#endif
}

}   // namespace

// Called with `lock` held. FluidSynth logs why a driver fails; that text goes into the error.
void FluidSynthService::Impl::openAudio()
{
    std::vector<std::string> drivers = options.drivers;
    if (drivers.empty()) {
        if (const char* chosen = std::getenv("TARV_AUDIO_DRIVER"); chosen && *chosen)
            drivers = {chosen};
        else
            drivers = platformDrivers();
    }
    // While the sound font loads, FluidSynth holds the synth's lock; the JACK driver would
    // wait for it when it adjusts the synth's sample rate. So a driver opened meanwhile gets
    // settings of its own and never sees the synth.
    openDriver(drivers, loaded.load(std::memory_order_acquire));
}

// Called with `lock` held; throws when none of `drivers` opens.
void FluidSynthService::Impl::openDriver(const std::vector<std::string>& drivers, bool withSynth)
{
    OpenedDriver opened = newDriver(drivers, withSynth);
    driver = std::move(opened.driver);
    driverSettings = std::move(opened.settings);
    driverName = std::move(opened.name);
}

// Touches no field that `lock` guards; throws when none of `drivers` opens.
FluidSynthService::Impl::OpenedDriver FluidSynthService::Impl::newDriver(const std::vector<std::string>& drivers,
                                                                         bool withSynth)
{
    FluidPtr<fluid_settings_t> own = withSynth ? nullptr : newSettings(SampleRate, PeriodSize, Periods);
    fluid_settings_t* use = own ? own.get() : settings.get();
    const std::set<std::string> compiled = compiledDrivers(use);

    std::string reasons;
    for (const std::string& name : drivers) {
        if (!compiled.contains(name))
            continue;
#if !defined(_WIN32)
        // A JACK client would otherwise start a JACK server of its own (which takes seconds
        // and grabs the sound card); the synth only joins a server that already runs.
        if (name == "jack")
            setenv("JACK_NO_START_SERVER", "1", 0);
#endif
        fluid_settings_setstr(use, "audio.driver", name.c_str());
        std::string reason;
        FluidPtr<fluid_audio_driver_t> opened;
        {
            LogCapture capture(reason);
            opened.reset(new_fluid_audio_driver2(use, &Impl::audioCallback, this));
        }
        if (opened)
            return {std::move(own), std::move(opened), name};
        if (!reasons.empty())
            reasons += "; ";
        reasons += name + ": " + (reason.empty() ? std::string("unbekannter Fehler") : reason);
    }
    if (reasons.empty())
        reasons = "kein Audiotreiber vorhanden";
    throw MidiServiceError("Audioausgabe kann nicht geöffnet werden: " + reasons);
}

// Called by the loading thread with `guard` held, once the sound font is in. A JACK output
// opened during loading goes again, now with the synth, so that FluidSynth sets the synth to
// the server's sample rate. No note has sounded yet. Closing and opening a JACK client wait
// for the server's cycle, and in that cycle a JACK client of this program (the MIDI input's)
// may be waiting for `lock` to send to the synth: so they run without it. A port opened or
// closed meanwhile opens no driver of its own; the new one is kept while a port is open.
void FluidSynthService::Impl::reopenJackWithSynth(std::unique_lock<std::mutex>& guard)
{
    if (!driver || !driverSettings || driverName != "jack")
        return;
    OpenedDriver old{std::move(driverSettings), std::move(driver), std::move(driverName)};
    driverName.clear();
    reopening = true;
    guard.unlock();
    old.driver.reset();   // the audio thread has stopped when this returns
    OpenedDriver opened;
    for (const bool withSynth : {true, false}) {
        try {
            opened = newDriver({old.name}, withSynth);
            break;
        } catch (...) {
            // The server went away meanwhile: silent until the next opening of the port
            // opens an output again (or says why it cannot).
        }
    }
    guard.lock();
    reopening = false;
    if (outputs.empty() || stopping) {
        guard.unlock();
        opened = {};
        guard.lock();
        return;
    }
    driver = std::move(opened.driver);
    driverSettings = std::move(opened.settings);
    driverName = driver ? std::move(opened.name) : std::string();
}

// Called with `lock` held (or from the destructor).
void FluidSynthService::Impl::deleteDriver()
{
    driver.reset();   // the audio thread has stopped when this returns
    driverName.clear();
    driverSettings.reset();
}

// Called with `lock` held. Stops the audio thread, then silences what still sounds, so that
// the next opening starts quiet; programs and controllers stay as they are.
void FluidSynthService::Impl::closeAudio()
{
    deleteDriver();
    if (loaded.load(std::memory_order_acquire))
        fluid_synth_all_sounds_off(synth.get(), -1);
    wake.store(true, std::memory_order_release);
}

// Runs on the audio thread (or the caller of render()). While nothing sounds and no message
// arrives, it skips FluidSynth altogether: the idle synth costs next to no CPU.
void FluidSynthService::Impl::renderBlock(float* left, float* right, int frames)
{
    std::fill(left, left + frames, 0.0f);
    std::fill(right, right + frames, 0.0f);
    if (!loaded.load(std::memory_order_acquire))
        return;
    if (wake.exchange(false, std::memory_order_acq_rel)) {
        idle = false;
        quietFrames = 0;
    }
    if (idle)
        return;

    // The effects are mixed into the same two buffers as the dry sound.
    float* out[2] = {left, right};
    float* fx[2] = {left, right};
    fluid_synth_process(synth.get(), frames, 2, fx, 2, out);

    float peak = 0.0f;
    for (int i = 0; i < frames; ++i)
        peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
    if (peak < QuietLevel && fluid_synth_get_active_voice_count(synth.get()) == 0) {
        quietFrames += frames;
        idle = quietFrames >= IdleAfterFrames;
    } else {
        quietFrames = 0;
    }
}

// Runs on the audio driver's thread; takes no lock of ours.
int FluidSynthService::Impl::audioCallback(void* data, int len, int nfx, float* fx[], int nout, float* out[])
{
    auto* self = static_cast<Impl*>(data);
    for (int i = 0; i < nfx; ++i)
        if (fx[i])
            std::fill(fx[i], fx[i] + len, 0.0f);
    for (int i = 2; i < nout; ++i)
        if (out[i])
            std::fill(out[i], out[i] + len, 0.0f);
    if (nout >= 2 && out[0] && out[1])
        self->renderBlock(out[0], out[1], len);
    else if (nout == 1 && out[0])
        std::fill(out[0], out[0] + len, 0.0f);
    return FLUID_OK;
}

}   // namespace tarv
