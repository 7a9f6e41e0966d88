// The stored channel settings put on the wire: read from the settings file, sent by the channel senders.
#pragma once

#include "settings/Settings.h"

// Threads: the UI thread (and the start-up before any window), like the senders. Nothing here
// takes a lock: the player sends under its own, and MIDI input is not running for other callers.

// Sends these settings on the channel as the stored ones go out, on the output port `port`:
// program change, then controllers 7, 10, 64, 91, 93.
void SendChannelSettings(int port, int channel, const TChannelSettings& settings);
// Sends the channel's stored settings on `port`. `channel` is 0..15 (std::out_of_range
// otherwise). A sender's failure is raised.
void SendStoredChannel(int port, int channel);
// The same for the 16 channels in ascending order, from one reading of the file.
void SendAllStoredChannels(int port);
