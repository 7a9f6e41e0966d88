// Where the built-in synthesizer's sound font is found, before anything of the synthesizer loads.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tarv {

// Where findSoundFont looks, in this order.
struct SoundFontSearch {
    std::optional<std::string> environment;             // value of TARV_SOUNDFONT, if set
    std::filesystem::path executableFolder;             // empty: not searched
    std::vector<std::filesystem::path> systemFiles;     // General MIDI sound fonts of the system
    std::vector<std::filesystem::path> systemFolders;   // folders whose *.sf2 come after systemFiles
};

// The places of this platform and process: TARV_SOUNDFONT, `executableFolder`, the system's
// General MIDI sound fonts.
SoundFontSearch defaultSoundFontSearch(const std::filesystem::path& executableFolder);

// The sound font of the built-in synthesizer: the first that exists of TARV_SOUNDFONT, a
// *.sf2 next to the executable (the first by name), the system's General MIDI sound fonts.
// TARV_SOUNDFONT=none means no synthesizer: the result is then empty, as when nothing is found.
std::optional<std::string> findSoundFont(const SoundFontSearch& search);

// True when `path` is a file that starts as a SoundFont 2 file does: a RIFF chunk of form "sfbk".
bool isSoundFontFile(const std::filesystem::path& path);

}   // namespace tarv
