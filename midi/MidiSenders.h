// The channel message senders: one message each, on CurrentOutputPort.
#pragma once

#include <array>
#include <cstdint>

// Device index of the output port the program plays on; 0 at start, set by the port dialog.
// Runs on the UI thread, like every sender.
extern int CurrentOutputPort;
// Outgoing notes switched on, by note number as sent.
extern std::array<bool, 128> NotesOn;

void SendProgramChange(std::uint8_t aChannel, std::uint8_t aProgram);
void SendVolume(std::uint8_t aChannel, std::uint8_t aValue);
void SendPanorama(std::uint8_t aChannel, std::uint8_t aValue);
void SendSustain(std::uint8_t aChannel, std::uint8_t aValue);
void SendChorus(std::uint8_t aChannel, std::uint8_t aValue);
void SendReverb(std::uint8_t aChannel, std::uint8_t aValue);
void SendAllNotesOff(std::uint8_t aChannel);
// A note above 127 is dropped (neither sent nor recorded).
void SendNote(std::uint8_t aChannel, int aNote, std::uint8_t aVelocity, bool aOn);
