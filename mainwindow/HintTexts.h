// The hint texts of the main window's controls, in German and English: one table.
#pragma once

#include <span>

struct THintText {
    const char* control;   // object name of the control
    const char* german;    // UTF-8; lines separated by CR LF
    const char* english;
};

// The controls' hints in the order in which they are assigned.
std::span<const THintText> hintTexts();
