// Where the built-in synthesizer finds its sound font, before anything of the synthesizer loads.
#include "SoundFontSearch.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <system_error>

namespace tarv {

namespace {

// The *.sf2 files of a folder, sorted by name (an unreadable folder has none).
std::vector<std::filesystem::path> soundFontsIn(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> found;
    std::error_code error;
    if (folder.empty() || !std::filesystem::is_directory(folder, error))
        return found;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::string extension = it->path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (extension == ".sf2")
            found.push_back(it->path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::string utf8(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

std::filesystem::path fromUtf8(const std::string& text)
{
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}   // namespace

SoundFontSearch defaultSoundFontSearch(const std::filesystem::path& executableFolder)
{
    SoundFontSearch search;
    if (const char* value = std::getenv("TARV_SOUNDFONT"))
        search.environment = value;
    search.executableFolder = executableFolder;
#if defined(_WIN32)
    // FluidSynth's own default place on Windows, then the user's and the machine's folders.
    search.systemFiles = {"C:\\soundfonts\\default.sf2"};
    for (const char* variable : {"USERPROFILE", "ProgramData"})
        if (const char* base = std::getenv(variable))
            search.systemFolders.push_back(fromUtf8(base) / "soundfonts");
#elif defined(__APPLE__)
    // The folders where macOS keeps sound banks; Homebrew and MacPorts share.
    for (const char* folder : {"/Library/Audio/Sounds/Banks", "/opt/homebrew/share/soundfonts",
                               "/usr/local/share/soundfonts", "/opt/local/share/sounds/sf2"}) {
        search.systemFiles.push_back(std::filesystem::path(folder) / "default-GM.sf2");
        search.systemFiles.push_back(std::filesystem::path(folder) / "FluidR3_GM.sf2");
    }
    if (const char* home = std::getenv("HOME"))
        search.systemFolders.push_back(fromUtf8(home) / "Library/Audio/Sounds/Banks");
    search.systemFolders.push_back("/Library/Audio/Sounds/Banks");
#else
    // Debian and its derivatives (the alternative default-GM.sf2 first), then Fedora and Arch.
    // clang-format off
    search.systemFiles = {
        "/usr/share/sounds/sf2/default-GM.sf2",
        "/usr/share/sounds/sf2/FluidR3_GM.sf2",
        "/usr/share/sounds/sf2/TimGM6mb.sf2",
        "/usr/share/soundfonts/default.sf2",
        "/usr/share/soundfonts/FluidR3_GM.sf2",
    };
    // clang-format on
#endif
    return search;
}

std::optional<std::string> findSoundFont(const SoundFontSearch& search)
{
    if (search.environment) {
        if (*search.environment == "none")
            return std::nullopt;
        if (!search.environment->empty() && isSoundFontFile(fromUtf8(*search.environment)))
            return *search.environment;
    }
    for (const std::filesystem::path& file : soundFontsIn(search.executableFolder))
        if (isSoundFontFile(file))
            return utf8(file);
    for (const std::filesystem::path& file : search.systemFiles)
        if (isSoundFontFile(file))
            return utf8(file);
    for (const std::filesystem::path& folder : search.systemFolders)
        for (const std::filesystem::path& file : soundFontsIn(folder))
            if (isSoundFontFile(file))
                return utf8(file);
    return std::nullopt;
}

bool isSoundFontFile(const std::filesystem::path& path)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return false;
    // "RIFF", the chunk's size (4 bytes, little-endian), "sfbk": what FluidSynth checks too.
    std::array<char, 12> header{};
    std::ifstream file(path, std::ios::binary);
    return file.read(header.data(), header.size()) && std::memcmp(header.data(), "RIFF", 4) == 0
        && std::memcmp(header.data() + 8, "sfbk", 4) == 0;
}

}   // namespace tarv
