// SettingsWriteError: the one failure of the settings file, raised by its INI layer.
#pragma once

#include <stdexcept>

// Thrown when the settings file cannot be written ("In %s kann nicht geschrieben werden").
class SettingsWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
