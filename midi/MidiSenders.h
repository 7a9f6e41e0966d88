// The channel message senders: one message each, on the output port `aPort` (a device index of
// the output list).
#pragma once

#include <cstdint>

// The senders run on the UI thread and, for MIDI input, on the MIDI service thread; the player
// calls them under its lock. The record of a missing output (below) has a lock of its own, so
// that the senders stay safe for callers without that lock (the start-up sending before any
// input runs).

// Channels are 0..15; a channel above 15 would turn the message into another kind and is
// not sent. Data values above 127 go out as 127.
//
// A missing output (aPort outside the output list, or a port that cannot be
// opened) raises its error on the first send only; later sends to the same missing port are
// dropped quietly until the port changes, the output set is enumerated again or a
// send to that port succeeds (the port dialog opening it, say). Other failures raise each time.
void SendProgramChange(int aPort, std::uint8_t aChannel, std::uint8_t aProgram);
void SendVolume(int aPort, std::uint8_t aChannel, std::uint8_t aValue);
void SendPanorama(int aPort, std::uint8_t aChannel, std::uint8_t aValue);
void SendSustain(int aPort, std::uint8_t aChannel, std::uint8_t aValue);
void SendChorus(int aPort, std::uint8_t aChannel, std::uint8_t aValue);   // controller 91
void SendReverb(int aPort, std::uint8_t aChannel, std::uint8_t aValue);   // controller 93
void SendAllNotesOff(int aPort, std::uint8_t aChannel);
// Note On, or a real Note Off (0x80) carrying aVelocity as release velocity. True when it went
// out: a note outside 0..127 is dropped, and so is a note that a missing output swallowed.
bool SendNote(int aPort, std::uint8_t aChannel, int aNote, std::uint8_t aVelocity, bool aOn);
// The output learns that only these channels are played on it (a synthesizer may then keep
// the sounds of the others out of memory). Nothing is sent, and nothing fails: an output that
// cannot take it plays every channel as before.
void PlayOnlyChannels(int aPort, std::uint8_t aLeftChannel, std::uint8_t aRightChannel);

// True while sends to a missing output are being dropped after its failure was raised.
bool OutputFailureReported();
// Forgets a raised missing-output failure, so that the next failing send raises again.
void ResetOutputFailure();
