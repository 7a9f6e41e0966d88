// The FluidSynth service: synth set-up, background loading, message playing and the audio output.
#include "FluidSynthService.h"

#include "midi/PortTable.h"

#include <fluidsynth.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <variant>

namespace tarv {

namespace {

// Below this peak level (-100 dBFS) with no voice left, the output counts as silent.
constexpr float kQuietLevel = 1e-5f;
// After this much silent output the audio thread stops rendering until the next message:
// long enough for the reverb tail to die away.
constexpr long kIdleAfterFrames = FluidSynthService::kSampleRate / 5;

// FluidSynth's objects, each freed by its own delete function.
struct FluidDelete {
    void operator()(fluid_settings_t* settings) const { delete_fluid_settings(settings); }
    void operator()(fluid_synth_t* synth) const { delete_fluid_synth(synth); }
    void operator()(fluid_audio_driver_t* driver) const { delete_fluid_audio_driver(driver); }
};
template <class T>
using FluidPtr = std::unique_ptr<T, FluidDelete>;

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

constexpr int kChannels = 16;
constexpr int kDrumBank = 128;   // FluidSynth's bank of the percussion channels

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
    fluid_settings_foreach_option(settings, "audio.driver", &names, [](void* data, const char*, const char* option) {
        static_cast<std::set<std::string>*>(data)->insert(option);
    });
    return names;
}

// Every settings object of the service gets the same values, so that an audio driver opened
// with settings of its own plays at the synth's sample rate with the synth's periods.
FluidPtr<fluid_settings_t> newSettings()
{
    FluidPtr<fluid_settings_t> settings(new_fluid_settings());
    if (!settings)
        throw MidiServiceError("FluidSynth kann nicht gestartet werden");
    fluid_settings_setnum(settings.get(), "synth.sample-rate", FluidSynthService::kSampleRate);
    fluid_settings_setint(settings.get(), "synth.reverb.active", 1);
    fluid_settings_setint(settings.get(), "synth.chorus.active", 1);
    // FluidSynth's default of 0.2 leaves a single note at -30 dBFS; 0.4 gives a ten-note
    // chord at full velocity about 6 dB of headroom.
    fluid_settings_setnum(settings.get(), "synth.gain", 0.4);
    fluid_settings_setint(settings.get(), "audio.period-size", FluidSynthService::kPeriodSize);
    fluid_settings_setint(settings.get(), "audio.periods", FluidSynthService::kPeriods);
    fluid_settings_setint(settings.get(), "synth.dynamic-sample-loading", 1);
    // Locking samples into memory (FluidSynth's default) takes them one by one with dynamic
    // loading, and so uses up a user's small limit of locked memory (ulimit -l), which JACK
    // needs to let the audio clients of the process start.
    fluid_settings_setint(settings.get(), "synth.lock-memory", 0);
    // Settings of drivers that this FluidSynth lacks fail harmlessly.
    fluid_settings_setint(settings.get(), "audio.jack.autoconnect", 1);
    fluid_settings_setstr(settings.get(), "audio.jack.id", "tarv");
    return settings;
}

struct Pending {
    std::uint32_t packed = 0;          // a short message, when block is empty
    std::vector<std::uint8_t> block;   // a system-exclusive message

    // Channel 0..15 of a channel message, -1 for system messages.
    int channel() const { return block.empty() && (packed & 0xF0) != 0xF0 ? int(packed & 0x0F) : -1; }
    bool isProgramChange() const { return block.empty() && (packed & 0xF0) == 0xC0; }
    bool isBankSelect() const
    {
        const std::uint32_t number = (packed >> 8) & 0x7F;
        return block.empty() && (packed & 0xF0) == 0xB0 && (number == 0 || number == 32);
    }
    // System exclusive and system reset may reset every channel's program: nothing overtakes them.
    bool isReset() const { return !block.empty() || (packed & 0xFF) == 0xFF; }
    int program() const { return int((packed >> 8) & 0x7F); }
};

// The preset that a program change to `program` selects on `channel` of `synth`, with
// FluidSynth's own fallbacks: on a percussion channel the first kit, on others the program in
// bank 0, then bank 0's first program. Null when the sound font has none of them.
fluid_preset_t* presetFor(fluid_synth_t* synth, int font, int channel, int program)
{
    fluid_sfont_t* sfont = fluid_synth_get_sfont_by_id(synth, font);
    int fontOfChannel = 0, bank = 0, current = 0;
    if (!sfont || fluid_synth_get_program(synth, channel, &fontOfChannel, &bank, &current) != FLUID_OK)
        return nullptr;
    const std::array<std::pair<int, int>, 3> candidates = bank == kDrumBank
        ? std::array<std::pair<int, int>, 3>{{{kDrumBank, program}, {kDrumBank, 0}, {kDrumBank, 0}}}
        : std::array<std::pair<int, int>, 3>{{{bank, program}, {0, program}, {0, 0}}};
    for (const auto& [candidateBank, candidateProgram] : candidates)
        if (fluid_preset_t* preset = fluid_sfont_get_preset(sfont, candidateBank, candidateProgram))
            return preset;
    return nullptr;
}

}   // namespace

struct FluidSynthService::Impl {
    std::filesystem::path soundFont;
    Options options;
    FluidPtr<fluid_settings_t> settings;   // the synth's
    // Created by the loading thread; used by other threads only once `loaded` is set (or
    // under `lock` after loading has ended).
    FluidPtr<fluid_synth_t> synth;

    mutable std::mutex lock;   // guards the fields up to the atomics; taken before FluidSynth's own lock
    mutable std::condition_variable settledChanged;   // loading ended, or the queue ran empty
    std::condition_variable pendingChanged;           // a message was queued, or stopping
    bool loadingEnded = false;
    bool stopping = false;
    std::string loadError;
    int font = FLUID_FAILED;   // the sound font's id in `synth`
    // Messages for the loading thread, in order: while loading, every one but notes;
    // afterwards the program changes whose samples are not in memory and what must follow
    // them (see queueOrPlay).
    std::deque<Pending> pending;
    std::array<int, kChannels> pendingOfChannel{};   // queued channel messages, per channel
    int pendingResets = 0;                           // queued system exclusive and resets
    PortTable<std::monostate> outputs{"Der MIDI-Ausgang ist nicht geöffnet"};
    // Settings of a driver opened while the sound font was loading, so that the driver
    // cannot reach the synth (see openAudio); null when the driver uses `settings`.
    FluidPtr<fluid_settings_t> driverSettings;
    FluidPtr<fluid_audio_driver_t> driver;   // goes before its settings and the synth
    std::string driverName;

    std::atomic<bool> loaded{false};
    std::atomic<bool> wake{false};   // a message arrived: the render thread must render again

    // Used only by the thread that renders (the audio driver's, or render()'s caller).
    bool idle = false;
    long quietFrames = 0;

    // The silent instance that reads the samples of a preset for `synth` (FluidSynth shares
    // the data of equal samples between instances); created when first needed. Used by the
    // loading thread only.
    FluidPtr<fluid_settings_t> readerSettings;
    FluidPtr<fluid_synth_t> reader;
    int readerFont = FLUID_FAILED;

    std::thread loader;

    void load();
    bool loadSoundFont();
    void serve();
    fluid_preset_t* readPreset(const Pending& message);
    void queueOrPlay(Pending message);
    bool presetInMemory(int channel, int program) const;
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

// Runs on the loading thread: loads the sound font, plays what was sent meanwhile, then
// serves the program changes that need samples read, until the service goes.
void FluidSynthService::Impl::load()
{
    if (loadSoundFont())
        serve();
    reader.reset();
    readerSettings.reset();
}

// Runs on the loading thread; true when the sound font is in.
bool FluidSynthService::Impl::loadSoundFont()
{
    std::string reason;
    try {
        if (options.beforeLoading)
            options.beforeLoading();
        LogCapture capture(reason);
        // Creating the synth takes tens of milliseconds the first time: it is done here too.
        synth.reset(new_fluid_synth(settings.get()));
        if (synth)
            font = fluid_synth_sfload(synth.get(), utf8(soundFont).c_str(), 1);
        else if (reason.empty())
            reason = "FluidSynth kann nicht gestartet werden";
    } catch (const std::exception& e) {
        reason = e.what();
    } catch (...) {
        reason = "unbekannter Fehler";
    }

    std::unique_lock guard(lock);
    if (font == FLUID_FAILED) {
        loadError = "Klangdatei kann nicht geladen werden: " + utf8(soundFont);
        if (!reason.empty())
            loadError += " (" + reason + ")";
        pending.clear();
        loadingEnded = true;
        settledChanged.notify_all();
        return false;
    }
    // What was sent while loading, in order. No other thread reaches the synth before
    // `loaded` is set, so the samples of its program changes are read without holding `lock`,
    // and a caller that sends meanwhile only queues behind.
    while (!pending.empty() && !stopping) {
        const Pending message = std::move(pending.front());
        pending.pop_front();
        guard.unlock();
        play(message);
        guard.lock();
    }
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
    loadingEnded = true;
    settledChanged.notify_all();
    if (stopping)
        return false;
    guard.unlock();
    if (options.afterLoading)
        options.afterLoading();
    return true;
}

// Runs on the loading thread once the sound font is in. The samples are read without
// `lock` and without the synth's own lock: only switching the channel takes them, for well
// under a millisecond as the samples are in memory by then.
void FluidSynthService::Impl::serve()
{
    std::unique_lock guard(lock);
    for (;;) {
        pendingChanged.wait(guard, [this] { return stopping || !pending.empty(); });
        if (stopping)
            return;
        // The message stays at the head of the queue, so that what follows it stays behind.
        const Pending message = pending.front();
        fluid_preset_t* read = nullptr;
        if (message.isProgramChange()) {
            guard.unlock();
            read = readPreset(message);
            guard.lock();
            if (stopping)
                return;
        }
        play(message);
        pending.pop_front();
        if (message.channel() >= 0)
            --pendingOfChannel[std::size_t(message.channel())];
        if (message.isReset())
            --pendingResets;
        if (pending.empty())
            settledChanged.notify_all();
        guard.unlock();
        // `synth` holds its own reference to the samples now.
        if (read)
            fluid_synth_unpin_preset(reader.get(), readerFont, fluid_preset_get_banknum(read),
                                     fluid_preset_get_num(read));
        guard.lock();
    }
}

// Runs on the loading thread without `lock`: reads the samples of the preset that `message`
// will select into memory through `reader`, and returns the preset of `reader` that holds
// them (null when nothing was read; `synth` then reads them itself).
fluid_preset_t* FluidSynthService::Impl::readPreset(const Pending& message)
{
    if (!reader && readerFont == FLUID_FAILED) {
        readerSettings.reset(new_fluid_settings());
        if (readerSettings) {
            fluid_settings_setint(readerSettings.get(), "synth.dynamic-sample-loading", 1);
            fluid_settings_setint(readerSettings.get(), "synth.lock-memory", 0);
            fluid_settings_setint(readerSettings.get(), "synth.polyphony", 1);
            fluid_settings_setint(readerSettings.get(), "synth.reverb.active", 0);
            fluid_settings_setint(readerSettings.get(), "synth.chorus.active", 0);
            std::string ignored;
            LogCapture capture(ignored);
            reader.reset(new_fluid_synth(readerSettings.get()));
            // Without resetting the channels, the reader holds no samples of its own.
            readerFont = reader ? fluid_synth_sfload(reader.get(), utf8(soundFont).c_str(), 0) : FLUID_FAILED;
        }
        if (readerFont == FLUID_FAILED)
            readerFont = FLUID_FAILED - 1;   // no second attempt
    }
    if (readerFont < 0)
        return nullptr;
    // The channel's bank cannot change meanwhile: bank selects queue behind this message.
    fluid_preset_t* target = presetFor(synth.get(), font, message.channel(), message.program());
    if (!target)
        return nullptr;
    const int bank = fluid_preset_get_banknum(target);
    const int program = fluid_preset_get_num(target);
    return fluid_synth_pin_preset(reader.get(), readerFont, bank, program) == FLUID_OK
        ? fluid_sfont_get_preset(fluid_synth_get_sfont_by_id(reader.get(), readerFont), bank, program)
        : nullptr;
}

// Called with `lock` held, once the sound font is loaded. Plays `message` at once unless it
// must wait: a program change whose preset is not in memory, and every bank select and
// program change of its channel after it; system exclusive and resets while anything waits,
// and then everything after them.
void FluidSynthService::Impl::queueOrPlay(Pending message)
{
    const int channel = message.channel();
    bool wait = pendingResets > 0;
    if (message.isReset())
        wait = !pending.empty();
    else if (channel >= 0 && pendingOfChannel[std::size_t(channel)] > 0)
        wait = wait || message.isProgramChange() || message.isBankSelect();
    else if (message.isProgramChange())
        wait = wait || !presetInMemory(channel, message.program());
    if (!wait) {
        play(message);
        return;
    }
    if (pending.size() >= kPendingLimit)
        return;
    if (channel >= 0)
        ++pendingOfChannel[std::size_t(channel)];
    if (message.isReset())
        ++pendingResets;
    pending.push_back(std::move(message));
    pendingChanged.notify_one();
}

// Called with `lock` held: whether a program change to `program` on `channel` selects a
// preset whose samples are in memory (because a channel plays it), so that no reading waits.
bool FluidSynthService::Impl::presetInMemory(int channel, int program) const
{
    fluid_preset_t* preset = presetFor(synth.get(), font, channel, program);
    if (!preset)
        return true;   // FluidSynth only unsets the channel's program
    for (int other = 0; other < kChannels; ++other)
        if (fluid_synth_get_channel_preset(synth.get(), other) == preset)
            return true;
    return false;
}

// Called with `lock` held once the sound font is loaded; before, by the loading thread alone.
void FluidSynthService::Impl::play(const Pending& message)
{
    if (message.block.empty()) {
        playShort(message.packed);
    } else if (message.block.size() >= 2) {
        // FluidSynth takes the message without its F0 and F7.
        fluid_synth_sysex(synth.get(), reinterpret_cast<const char*>(message.block.data()) + 1,
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
    case 0x80:
        fluid_synth_noteoff(synth.get(), channel, data1);
        break;
    case 0x90:
        if (data2 == 0)
            fluid_synth_noteoff(synth.get(), channel, data1);
        else
            fluid_synth_noteon(synth.get(), channel, data1, data2);
        break;
    case 0xA0:
        fluid_synth_key_pressure(synth.get(), channel, data1, data2);
        break;
    case 0xB0:
        fluid_synth_cc(synth.get(), channel, data1, data2);
        break;
    case 0xC0:
        fluid_synth_program_change(synth.get(), channel, data1);
        break;
    case 0xD0:
        fluid_synth_channel_pressure(synth.get(), channel, data1);
        break;
    case 0xE0:
        fluid_synth_pitch_bend(synth.get(), channel, data1 | (data2 << 7));
        break;
    case 0xF0:
        if (status == 0xFF)
            fluid_synth_system_reset(synth.get());
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
    FluidPtr<fluid_settings_t> own = withSynth ? nullptr : newSettings();
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
        {
            LogCapture capture(reason);
            driver.reset(new_fluid_audio_driver2(use, &Impl::audioCallback, this));
        }
        if (driver) {
            driverName = name;
            driverSettings = std::move(own);
            return;
        }
        if (!reasons.empty())
            reasons += "; ";
        reasons += name + ": " + (reason.empty() ? std::string("unbekannter Fehler") : reason);
    }
    if (reasons.empty())
        reasons = "kein Audiotreiber vorhanden";
    throw MidiServiceError("Audioausgabe kann nicht geöffnet werden: " + reasons);
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
    if (peak < kQuietLevel && fluid_synth_get_active_voice_count(synth.get()) == 0) {
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
    if (!outputs.find(handle))
        outputs.failUnknown(handle);
    if (!loadError.empty())
        throw MidiServiceError(loadError);
}

FluidSynthService::FluidSynthService(std::filesystem::path soundFont)
    : FluidSynthService(std::move(soundFont), Options{})
{}

FluidSynthService::FluidSynthService(std::filesystem::path soundFont, Options options) : d(std::make_unique<Impl>())
{
    installLogHandler();
    d->soundFont = std::move(soundFont);
    d->options = std::move(options);

    d->settings = newSettings();
    if (!d->options.dynamicSampleLoading)
        fluid_settings_setint(d->settings.get(), "synth.dynamic-sample-loading", 0);
    d->loader = std::thread([impl = d.get()] { impl->load(); });
}

FluidSynthService::~FluidSynthService()
{
    {
        std::lock_guard guard(d->lock);
        d->deleteDriver();
        d->stopping = true;
        d->pendingChanged.notify_all();
    }
    if (d->loader.joinable())
        d->loader.join();
    // The loading thread may have opened a driver again after the first deletion. The synth
    // and the settings go with `d`, after the driver.
    d->deleteDriver();
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
    return d->outputs.add({});
}

void FluidSynthService::closeOutput(PortHandle handle)
{
    std::lock_guard guard(d->lock);
    d->outputs.take(handle);
    if (d->outputs.empty())
        d->closeAudio();
}

void FluidSynthService::sendShort(PortHandle handle, std::uint32_t packed)
{
    std::lock_guard guard(d->lock);
    d->checkOutput(handle);
    if (d->loaded.load(std::memory_order_acquire))
        d->queueOrPlay({packed, {}});
    else if (!isNoteMessage(packed & 0xFF) && d->pending.size() < kPendingLimit)
        d->pending.push_back({packed, {}});
}

void FluidSynthService::sendBlock(PortHandle handle, const std::uint8_t* data, std::size_t size)
{
    std::lock_guard guard(d->lock);
    d->checkOutput(handle);
    if (!data || size < 2 || data[0] != 0xF0 || data[size - 1] != 0xF7)
        return;
    Pending message{0, std::vector<std::uint8_t>(data, data + size)};
    if (d->loaded.load(std::memory_order_acquire))
        d->queueOrPlay(std::move(message));
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
    return d->settledChanged.wait_for(guard, timeout, [this] { return d->loadingEnded; });
}

bool FluidSynthService::waitUntilSettled(std::chrono::milliseconds timeout) const
{
    std::unique_lock guard(d->lock);
    return d->settledChanged.wait_for(guard, timeout, [this] { return d->loadingEnded && d->pending.empty(); });
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

}   // namespace tarv
