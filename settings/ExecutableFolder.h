// ExecutableFolder: the folder of the running executable, as the operating system tells it.
#pragma once

#include <filesystem>

namespace tarv {

// The folder that holds the running executable, asked of the operating system itself, so that
// the answer is the same before the application object exists (the start-up sending reads the
// settings file then) and after. Empty when the system cannot tell. Any thread.
std::filesystem::path executableFolder();

}   // namespace tarv
