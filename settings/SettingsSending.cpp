// The settings operations that send: the stored channel settings go out on CurrentOutputPort.
#include "Settings.h"

#include "midi/MidiSenders.h"

void SendStoredChannel(int channel)
{
    // The stored values, not the ones being edited in the main window.
    const TChannelSettings stored = StoredChannelSettings(channel);
    const auto midiChannel = static_cast<std::uint8_t>(channel);
    SendProgramChange(midiChannel, stored.Instrument);
    SendVolume(midiChannel, stored.Volume);
    SendPanorama(midiChannel, stored.Panorama);
    SendSustain(midiChannel, stored.Sustain);
    SendChorus(midiChannel, stored.Chorus);
    SendReverb(midiChannel, stored.Reverb);
}

void SendAllStoredChannels()
{
    for (int channel = 0; channel < 16; ++channel)
        SendStoredChannel(channel);
}
