// The FluidSynth service: background loading of the sound font, the messages' order and playing.
#include "FluidSynthServiceImpl.h"

#include <stdexcept>
#include <utility>

namespace tarv {

namespace {

constexpr int Channels = 16;

}   // namespace

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
        const SynthMessage message = pending.front();
        pending.popFront();
        guard.unlock();
        play(message);
        guard.lock();
    }
    setAsideUnplayedChannels();
    loaded.store(true, std::memory_order_release);
    reopenJackWithSynth(guard);
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
        const SynthMessage message = pending.front();
        fluid_preset_t* read = nullptr;
        if (message.isProgramChange()) {
            guard.unlock();
            read = readPreset(message);
            guard.lock();
            if (stopping)
                return;
        }
        play(message);
        pending.popFront();
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
fluid_preset_t* FluidSynthService::Impl::readPreset(const SynthMessage& message)
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

// Called with `lock` held: plays `message` at once, or queues it for the loading thread.
void FluidSynthService::Impl::send(SynthMessage message)
{
    const int channel = message.channel();
    const bool played = channel < 0 || (playedChannels >> channel & 1) != 0;
    if (!played && message.isProgramChange()) {
        setAside[std::size_t(channel)] = message.packed;
        return;
    }
    if (message.isReset())
        setAside.fill(0);   // every channel's program starts over
    const bool isLoaded = loaded.load(std::memory_order_acquire);
    if (!played && isLoaded && message.isNoteOn())
        startPlaying(channel);
    const Placement placement =
        pending.place(message, isLoaded, [this](int channel, int program) { return presetInMemory(channel, program); });
    if (placement == Placement::PlayNow)
        play(message);
    else if (placement == Placement::Queued && isLoaded)
        pendingChanged.notify_one();
}

// Called with `lock` held: the channel is played from now on, with its program set aside.
void FluidSynthService::Impl::startPlaying(int channel)
{
    playedChannels |= std::uint16_t(1u << channel);
    if (const std::uint32_t program = std::exchange(setAside[std::size_t(channel)], 0))
        send({program, {}});
}

// Runs on the loading thread with `lock` held, before `loaded` is set: the channels not played
// let go of their presets (loading the sound font gave every channel its first one) and keep
// their programs aside.
void FluidSynthService::Impl::setAsideUnplayedChannels()
{
    for (int channel = 0; channel < Channels; ++channel) {
        if (playedChannels >> channel & 1)
            continue;
        int fontId = 0;
        int bank = 0;
        int program = 0;
        if (!setAside[std::size_t(channel)]
            && fluid_synth_get_program(synth.get(), channel, &fontId, &bank, &program) == FLUID_OK)
            setAside[std::size_t(channel)] = std::uint32_t(0xC0 | channel | (program & 0x7F) << 8);
        fluid_synth_unset_program(synth.get(), channel);
    }
}

// Called with `lock` held: whether a program change to `program` on `channel` selects a
// preset whose samples are in memory (because a channel plays it), so that no reading waits.
bool FluidSynthService::Impl::presetInMemory(int channel, int program) const
{
    fluid_preset_t* preset = presetFor(synth.get(), font, channel, program);
    if (!preset)
        return true;   // FluidSynth only unsets the channel's program
    for (int other = 0; other < Channels; ++other)
        if (fluid_synth_get_channel_preset(synth.get(), other) == preset)
            return true;
    return false;
}

// Called with `lock` held once the sound font is loaded; before, by the loading thread alone.
void FluidSynthService::Impl::play(const SynthMessage& message)
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

    d->settings = newSettings(SampleRate, PeriodSize, Periods);
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
    if (index != 0 || name != SynthPortName)
        throw MidiServiceError("Kein MIDI-Ausgang \"" + name + "\" mit der Nummer " + std::to_string(index));
    std::lock_guard guard(d->lock);
    if (!d->loadError.empty())
        throw MidiServiceError(d->loadError);
    if (d->options.audio && !d->driver && !d->reopening)
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
    d->send({packed, {}});
}

void FluidSynthService::sendBlock(PortHandle handle, const std::uint8_t* data, std::size_t size)
{
    std::lock_guard guard(d->lock);
    d->checkOutput(handle);
    if (!data || size < 2 || data[0] != 0xF0 || data[size - 1] != 0xF7)
        return;
    d->send({0, std::vector<std::uint8_t>(data, data + size)});
}

void FluidSynthService::playChannels(PortHandle handle, std::uint16_t channels)
{
    std::lock_guard guard(d->lock);
    if (!d->outputs.find(handle))
        d->outputs.failUnknown(handle);
    const std::uint16_t added = channels & ~d->playedChannels;
    d->playedChannels = channels;
    for (int channel = 0; channel < Channels; ++channel)
        if (added >> channel & 1)
            d->startPlaying(channel);
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

}   // namespace tarv
