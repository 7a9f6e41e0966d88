// The FluidSynth service: synth set-up, background loading, message playing and the audio output.
#include "FluidSynthService.h"

#include <fluidsynth.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

namespace tarv {

namespace {

// Below this peak level (-100 dBFS) with no voice left, the output counts as silent.
constexpr float kQuietLevel = 1e-5f;
// After this much silent output the audio thread stops rendering until the next message:
// long enough for the reverb tail to die away.
constexpr long kIdleAfterFrames = FluidSynthService::kSampleRate / 5;

// FluidSynth reports its failures only through its log. While a capture is active on a
// thread, the errors logged on that thread are collected into it and its warnings and notes
// are dropped (the failure text says what matters); otherwise FluidSynth prints as usual.
thread_local std::string* tLogCapture = nullptr;

void logHandler(int level, const char* message, void* data)
{
    if (!tLogCapture) {
        fluid_default_log_function(level, message, data);
    } else if (level == FLUID_PANIC || level == FLUID_ERR) {
        if (!tLogCapture->empty())
            *tLogCapture += "; ";
        *tLogCapture += message ? message : "";
    }
}

void installLogHandler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO})
            fluid_set_log_function(level, logHandler, nullptr);
    });
}

class LogCapture {
public:
    explicit LogCapture(std::string& into) : fPrevious(tLogCapture) { tLogCapture = &into; }
    ~LogCapture() { tLogCapture = fPrevious; }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
private:
    std::string* fPrevious;
};

std::string utf8(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

bool isNoteMessage(std::uint8_t status)
{
    const std::uint8_t kind = status & 0xF0;
    return kind == 0x80 || kind == 0x90 || kind == 0xA0;
}

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

std::set<std::string> compiledDrivers(fluid_settings_t* settings)
{
    std::set<std::string> names;
    fluid_settings_foreach_option(settings, "audio.driver", &names,
        [](void* data, const char*, const char* option) {
            static_cast<std::set<std::string>*>(data)->insert(option);
        });
    return names;
}

// Every settings object of the service gets the same values, so that an audio driver opened
// with settings of its own plays at the synth's sample rate with the synth's periods.
fluid_settings_t* newSettings()
{
    fluid_settings_t* settings = new_fluid_settings();
    if (!settings)
        throw MidiServiceError("FluidSynth kann nicht gestartet werden");
    fluid_settings_setnum(settings, "synth.sample-rate", FluidSynthService::kSampleRate);
    fluid_settings_setint(settings, "synth.reverb.active", 1);
    fluid_settings_setint(settings, "synth.chorus.active", 1);
    // FluidSynth's default of 0.2 leaves a single note at -30 dBFS; 0.4 gives a ten-note
    // chord at full velocity about 6 dB of headroom.
    fluid_settings_setnum(settings, "synth.gain", 0.4);
    fluid_settings_setint(settings, "audio.period-size", FluidSynthService::kPeriodSize);
    fluid_settings_setint(settings, "audio.periods", FluidSynthService::kPeriods);
    // Settings of drivers that this FluidSynth lacks fail harmlessly.
    fluid_settings_setint(settings, "audio.jack.autoconnect", 1);
    fluid_settings_setstr(settings, "audio.jack.id", "tarv");
    return settings;
}

struct Pending {
    std::uint32_t packed = 0;              // a short message, when block is empty
    std::vector<std::uint8_t> block;       // a system-exclusive message
};

}  // namespace

struct FluidSynthService::Impl {
    std::filesystem::path soundFont;
    Options options;
    fluid_settings_t* settings = nullptr;   // the synth's
    // Created by the loading thread; used by other threads only once `loaded` is set (or
    // under `lock` after loading has ended).
    fluid_synth_t* synth = nullptr;

    mutable std::mutex lock;    // guards the fields up to the atomics; taken before FluidSynth's own lock
    mutable std::condition_variable loadingEndedChanged;
    bool loadingEnded = false;
    std::string loadError;
    std::deque<Pending> pending;
    std::set<PortHandle> outputs;
    PortHandle nextHandle = 1;
    fluid_audio_driver_t* driver = nullptr;
    std::string driverName;
    // Settings of a driver opened while the sound font was loading, so that the driver
    // cannot reach the synth (see openAudio); null when the driver uses `settings`.
    fluid_settings_t* driverSettings = nullptr;

    std::atomic<bool> loaded{false};
    std::atomic<bool> wake{false};   // a message arrived: the render thread must render again

    // Used only by the thread that renders (the audio driver's, or render()'s caller).
    bool idle = false;
    long quietFrames = 0;

    std::thread loader;

    void load();
    void play(const Pending& message);
    void playShort(std::uint32_t packed);
    void openAudio();
    void openDriver(const std::vector<std::string>& drivers, bool withSynth);
    void closeAudio();
    void deleteDriver();
    void renderBlock(float* left, float* right, int frames);
    void checkOutput(PortHandle handle) const;
    static int audioCallback(void* data, int len, int nfx, float* fx[], int nout, float* out[]);
};

// Runs on the loading thread.
void FluidSynthService::Impl::load()
{
    std::string reason;
    int id = FLUID_FAILED;
    try {
        if (options.beforeLoading)
            options.beforeLoading();
        LogCapture capture(reason);
        // Creating the synth takes tens of milliseconds the first time: it is done here too.
        synth = new_fluid_synth(settings);
        if (synth)
            id = fluid_synth_sfload(synth, utf8(soundFont).c_str(), 1);
        else if (reason.empty())
            reason = "FluidSynth kann nicht gestartet werden";
    } catch (const std::exception& e) {
        reason = e.what();
    } catch (...) {
        reason = "unbekannter Fehler";
    }

    std::lock_guard guard(lock);
    if (id == FLUID_FAILED) {
        loadError = "Klangdatei kann nicht geladen werden: " + utf8(soundFont);
        if (!reason.empty())
            loadError += " (" + reason + ")";
        pending.clear();
    } else {
        for (const Pending& message : pending)
            play(message);
        pending.clear();
        loaded.store(true, std::memory_order_release);
        // A JACK output opened during loading goes again, now with the synth, so that FluidSynth
        // sets the synth to the server's sample rate. No note has sounded yet.
        if (driver && driverSettings && driverName == "jack") {
            const std::string name = driverName;
            deleteDriver();
            try {
                openDriver({name}, true);
            } catch (const MidiServiceError&) {
                try {
                    openDriver({name}, false);
                } catch (const MidiServiceError&) {
                    // The server went away meanwhile: silent until the next opening of the
                    // port opens an output again (or says why it cannot).
                }
            }
        }
    }
    loadingEnded = true;
    loadingEndedChanged.notify_all();
}

// Called with `lock` held, once the sound font is loaded.
void FluidSynthService::Impl::play(const Pending& message)
{
    if (message.block.empty()) {
        playShort(message.packed);
    } else if (message.block.size() >= 2) {
        // FluidSynth takes the message without its F0 and F7.
        fluid_synth_sysex(synth, reinterpret_cast<const char*>(message.block.data()) + 1,
                          static_cast<int>(message.block.size()) - 2, nullptr, nullptr, nullptr, 0);
    }
    wake.store(true, std::memory_order_release);
}

// FluidSynth's own failures (a note off for a note that is not on, a program that the sound
// font lacks) are normal events of playing, not failures of the port: they are ignored.
void FluidSynthService::Impl::playShort(std::uint32_t packed)
{
    const int status = packed & 0xFF;
    const int data1 = (packed >> 8) & 0x7F;
    const int data2 = (packed >> 16) & 0x7F;
    const int channel = status & 0x0F;
    switch (status & 0xF0) {
    case 0x80: fluid_synth_noteoff(synth, channel, data1); break;
    case 0x90:
        if (data2 == 0)
            fluid_synth_noteoff(synth, channel, data1);
        else
            fluid_synth_noteon(synth, channel, data1, data2);
        break;
    case 0xA0: fluid_synth_key_pressure(synth, channel, data1, data2); break;
    case 0xB0: fluid_synth_cc(synth, channel, data1, data2); break;
    case 0xC0: fluid_synth_program_change(synth, channel, data1); break;
    case 0xD0: fluid_synth_channel_pressure(synth, channel, data1); break;
    case 0xE0: fluid_synth_pitch_bend(synth, channel, data1 | (data2 << 7)); break;
    case 0xF0:
        if (status == 0xFF)
            fluid_synth_system_reset(synth);
        break;   // clock, active sensing and the other system messages mean nothing to a synth
    default:
        break;   // a data byte without status
    }
}

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
    fluid_settings_t* own = withSynth ? nullptr : newSettings();
    fluid_settings_t* use = own ? own : settings;
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
        {
            LogCapture capture(reason);
            driver = new_fluid_audio_driver2(use, &Impl::audioCallback, this);
        }
        if (driver) {
            driverName = name;
            driverSettings = own;
            return;
        }
        if (!reasons.empty())
            reasons += "; ";
        reasons += name + ": " + (reason.empty() ? std::string("unbekannter Fehler") : reason);
    }
    if (own)
        delete_fluid_settings(own);
    if (reasons.empty())
        reasons = "kein Audiotreiber vorhanden";
    throw MidiServiceError("Audioausgabe kann nicht geöffnet werden: " + reasons);
}

// Called with `lock` held (or from the destructor).
void FluidSynthService::Impl::deleteDriver()
{
    if (driver) {
        delete_fluid_audio_driver(driver);
        driver = nullptr;
        driverName.clear();
    }
    if (driverSettings) {
        delete_fluid_settings(driverSettings);
        driverSettings = nullptr;
    }
}

// Called with `lock` held. Stops the audio thread, then silences what still sounds, so that
// the next opening starts quiet; programs and controllers stay as they are.
void FluidSynthService::Impl::closeAudio()
{
    deleteDriver();
    if (loaded.load(std::memory_order_acquire))
        fluid_synth_all_sounds_off(synth, -1);
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
    fluid_synth_process(synth, frames, 2, fx, 2, out);

    float peak = 0.0f;
    for (int i = 0; i < frames; ++i)
        peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
    if (peak < kQuietLevel && fluid_synth_get_active_voice_count(synth) == 0) {
        quietFrames += frames;
        idle = quietFrames >= kIdleAfterFrames;
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

// Called with `lock` held.
void FluidSynthService::Impl::checkOutput(PortHandle handle) const
{
    if (!outputs.contains(handle))
        throw MidiServiceError("Der MIDI-Ausgang ist nicht geöffnet (" + std::to_string(handle) + ")");
    if (!loadError.empty())
        throw MidiServiceError(loadError);
}

FluidSynthService::FluidSynthService(std::filesystem::path soundFont)
    : FluidSynthService(std::move(soundFont), Options{})
{
}

FluidSynthService::FluidSynthService(std::filesystem::path soundFont, Options options)
    : d(std::make_unique<Impl>())
{
    installLogHandler();
    d->soundFont = std::move(soundFont);
    d->options = std::move(options);

    d->settings = newSettings();
    d->loader = std::thread([impl = d.get()] { impl->load(); });
}

FluidSynthService::~FluidSynthService()
{
    {
        std::lock_guard guard(d->lock);
        d->deleteDriver();
    }
    if (d->loader.joinable())
        d->loader.join();
    // The loading thread may have opened a driver again after the first deletion.
    d->deleteDriver();
    if (d->synth)
        delete_fluid_synth(d->synth);
    delete_fluid_settings(d->settings);
}

PortHandle FluidSynthService::openInput(int, const std::string&, int, ShortMessageHandler, ByteBlockHandler)
{
    throw MidiServiceError("Der Synthesizer hat keine MIDI-Eingänge");
}

void FluidSynthService::closeInput(PortHandle)
{
    throw MidiServiceError("Der Synthesizer hat keine MIDI-Eingänge");
}

PortHandle FluidSynthService::openOutput(int index, const std::string& name)
{
    if (index != 0 || name != kSynthPortName)
        throw MidiServiceError("Kein MIDI-Ausgang \"" + name + "\" mit der Nummer " + std::to_string(index));
    std::lock_guard guard(d->lock);
    if (!d->loadError.empty())
        throw MidiServiceError(d->loadError);
    if (d->options.audio && !d->driver)
        d->openAudio();
    const PortHandle handle = d->nextHandle++;
    d->outputs.insert(handle);
    return handle;
}

void FluidSynthService::closeOutput(PortHandle handle)
{
    std::lock_guard guard(d->lock);
    if (d->outputs.erase(handle) == 0)
        throw MidiServiceError("Der MIDI-Ausgang ist nicht geöffnet (" + std::to_string(handle) + ")");
    if (d->outputs.empty())
        d->closeAudio();
}

void FluidSynthService::sendShort(PortHandle handle, std::uint32_t packed)
{
    std::lock_guard guard(d->lock);
    d->checkOutput(handle);
    if (d->loaded.load(std::memory_order_acquire)) {
        d->playShort(packed);
        d->wake.store(true, std::memory_order_release);
    } else if (!isNoteMessage(packed & 0xFF) && d->pending.size() < kPendingLimit) {
        d->pending.push_back({packed, {}});
    }
}

void FluidSynthService::sendBlock(PortHandle handle, const std::uint8_t* data, std::size_t size)
{
    std::lock_guard guard(d->lock);
    d->checkOutput(handle);
    if (!data || size < 2 || data[0] != 0xF0 || data[size - 1] != 0xF7)
        return;
    Pending message{0, std::vector<std::uint8_t>(data, data + size)};
    if (d->loaded.load(std::memory_order_acquire))
        d->play(message);
    else if (d->pending.size() < kPendingLimit)
        d->pending.push_back(std::move(message));
}

const std::filesystem::path& FluidSynthService::soundFont() const
{
    return d->soundFont;
}

bool FluidSynthService::isLoaded() const
{
    return d->loaded.load(std::memory_order_acquire);
}

bool FluidSynthService::waitUntilLoaded(std::chrono::milliseconds timeout) const
{
    std::unique_lock guard(d->lock);
    return d->loadingEndedChanged.wait_for(guard, timeout, [this] { return d->loadingEnded; });
}

std::string FluidSynthService::loadError() const
{
    std::lock_guard guard(d->lock);
    return d->loadError;
}

std::string FluidSynthService::audioDriver() const
{
    std::lock_guard guard(d->lock);
    return d->driverName;
}

void FluidSynthService::render(float* left, float* right, int frames)
{
    if (d->options.audio)
        throw std::logic_error("FluidSynthService::render needs a service without audio output");
    d->renderBlock(left, right, frames);
}

bool FluidSynthService::isSoundFontFile(const std::filesystem::path& path)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return false;
    return fluid_is_soundfont(utf8(path).c_str()) != 0;
}

}  // namespace tarv
