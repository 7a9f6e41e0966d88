// uTonFamilie: the names of the twelve pitch classes.
#pragma once

#include <array>

// Indexed by pitch class (note number mod 12, 0 = C); black keys take the sharp, 11 is "B".
extern const std::array<const char*, 12> NoteNames;
