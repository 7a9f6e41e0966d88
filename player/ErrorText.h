// The text of a failure that carries none: what escapes a handler or MIDI input without a
// message of its own.
#pragma once

inline constexpr const char* UnknownErrorText = "Unbekannter Fehler";
