// The channel message senders: one message each, on CurrentOutputPort.
#pragma once

#include <array>
#include <cstdint>

// The senders run on the UI thread and, for MIDI input, on the MIDI service thread. The two
// variables below are plain globals: the program reads and writes them, and calls the senders,
// only under its player-state lock (PlayerStateLock, settings/PlayerState.h), which serialises
// the two threads. The record of a missing output (below) has a lock of its own, so that the
// senders stay safe for callers without that lock (the start-up sending before any input runs).

// Device index of the output port the program plays on; 0 at start, set by the port dialog.
extern int CurrentOutputPort;
// Outgoing notes switched on, by note number as sent.
extern std::array<bool, 128> NotesOn;

// Channels are 0..15; a channel above 15 would turn the message into another kind and is
// not sent. Data values above 127 go out as 127.
//
// A missing output (CurrentOutputPort outside the output list, or a port that cannot be
// opened) raises its error on the first send only; later sends to the same missing port are
// dropped quietly until CurrentOutputPort changes, the output set is enumerated again or a
// send to that port succeeds (the port dialog opening it, say). Other failures raise each time.
void SendProgramChange(std::uint8_t aChannel, std::uint8_t aProgram);
void SendVolume(std::uint8_t aChannel, std::uint8_t aValue);
void SendPanorama(std::uint8_t aChannel, std::uint8_t aValue);
void SendSustain(std::uint8_t aChannel, std::uint8_t aValue);
void SendChorus(std::uint8_t aChannel, std::uint8_t aValue);   // controller 91
void SendReverb(std::uint8_t aChannel, std::uint8_t aValue);   // controller 93
void SendAllNotesOff(std::uint8_t aChannel);
// Note On, or a real Note Off (0x80) carrying aVelocity as release velocity; then
// NotesOn[aNote] := aOn. A note outside 0..127 is dropped (neither sent nor recorded), and so
// is a note that a missing output swallowed.
void SendNote(std::uint8_t aChannel, int aNote, std::uint8_t aVelocity, bool aOn);

// True while sends to a missing output are being dropped after its failure was raised.
bool OutputFailureReported();
// Forgets a raised missing-output failure, so that the next failing send raises again.
void ResetOutputFailure();
