// The stored channel settings put on the wire: read from the settings file, sent by the channel senders.
#pragma once

#include "settings/Settings.h"

// Threads: the UI thread (and the start-up before any window), like the senders.

// Sends these settings on the channel as the stored ones go out: program change, then
// controllers 7, 10, 64, 91, 93. Takes no lock: the caller holds PlayerStateLock while MIDI input runs.
void SendChannelSettings(int channel, const TChannelSettings& settings);
// Sends the channel's stored settings (not ChannelSettings) on CurrentOutputPort. `channel` is
// 0..15 (std::out_of_range otherwise). A sender's failure is raised. Takes PlayerStateLock only
// to send, never while the file is read; the caller must not hold it.
void SendStoredChannel(int channel);
// The same for the 16 channels in ascending order (the start-up sending), from one reading of
// the file; MIDI input waits at most for one channel's messages.
void SendAllStoredChannels();
