#include "uTonFamilie.h"

const std::array<const char*, 12> NoteNames = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
