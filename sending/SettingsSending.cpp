// The stored channel settings sent on an output port, channel by channel.
#include "SettingsSending.h"

#include "midi/MidiSenders.h"

void SendChannelSettings(int port, int channel, const TChannelSettings& settings)
{
    const auto midiChannel = static_cast<std::uint8_t>(channel);
    SendProgramChange(port, midiChannel, settings.Instrument);
    SendVolume(port, midiChannel, settings.Volume);
    SendPanorama(port, midiChannel, settings.Panorama);
    SendSustain(port, midiChannel, settings.Sustain);
    SendChorus(port, midiChannel, settings.Chorus);
    SendReverb(port, midiChannel, settings.Reverb);
}

void SendStoredChannel(int port, int channel)
{
    SendChannelSettings(port, channel, StoredChannelSettings(channel));
}

void SendAllStoredChannels(int port)
{
    const std::array<TChannelSettings, 16> stored = AllStoredChannelSettings();
    for (int channel = 0; channel < 16; ++channel)
        SendChannelSettings(port, channel, stored[std::size_t(channel)]);
}
