// The stored channel settings sent on CurrentOutputPort, channel by channel.
#include "SettingsSending.h"

#include "midi/MidiSenders.h"
#include "settings/PlayerState.h"

void SendChannelSettings(int channel, const TChannelSettings& settings)
{
    const auto midiChannel = static_cast<std::uint8_t>(channel);
    SendProgramChange(midiChannel, settings.Instrument);
    SendVolume(midiChannel, settings.Volume);
    SendPanorama(midiChannel, settings.Panorama);
    SendSustain(midiChannel, settings.Sustain);
    SendChorus(midiChannel, settings.Chorus);
    SendReverb(midiChannel, settings.Reverb);
}

void SendStoredChannel(int channel)
{
    // The stored values, not the ones being edited in the main window.
    const TChannelSettings stored = StoredChannelSettings(channel);
    std::lock_guard lock(PlayerStateLock);
    SendChannelSettings(channel, stored);
}

void SendAllStoredChannels()
{
    const std::array<TChannelSettings, 16> stored = AllStoredChannelSettings();
    // One channel at a time: MIDI input waits at most for six messages.
    for (int channel = 0; channel < 16; ++channel) {
        std::lock_guard lock(PlayerStateLock);
        SendChannelSettings(channel, stored[std::size_t(channel)]);
    }
}
