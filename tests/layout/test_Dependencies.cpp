// The libraries' dependencies as the README's arrow list states them, checked against every
// include of the sources and every target_link_libraries of the CMake files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Graph = std::map<std::string, std::set<std::string>>;

const fs::path SourceFolder = TARV_SOURCE_DIR;

std::string readText(const fs::path& path)
{
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<std::string> backticked(const std::string& text)
{
    static const std::regex name("`([^`]+)`");
    std::vector<std::string> names;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), name); it != std::sregex_iterator(); ++it)
        names.push_back((*it)[1]);
    return names;
}

// The README's arrow list: lines "- `a` → `b`, `c`" (a leaf: "- `a`, `b` → nothing ...").
Graph readmeArrows()
{
    static const std::regex arrow(R"(^- ((?:`[^`]+`(?:, )?)+) → (.*)$)");
    Graph graph;
    std::istringstream lines(readText(SourceFolder / "README.md"));
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (!std::regex_match(line, m, arrow))
            continue;
        const std::vector<std::string> targets = backticked(m[2]);
        for (const std::string& library : backticked(m[1]))
            graph[library].insert(targets.begin(), targets.end());
    }
    return graph;
}

// The library a path inside the source tree belongs to: the longest library folder it lies in.
std::string libraryOf(const std::string& path, const Graph& libraries)
{
    std::string found;
    for (const auto& [library, uses] : libraries) {
        if (path.starts_with(library + '/') && library.size() > found.size())
            found = library;
    }
    return found;
}

bool isSource(const fs::path& path)
{
    return path.extension() == ".cpp" || path.extension() == ".h";
}

// A Qt Designer form: its widgets' headers are includes of the code that uic makes of it.
bool isForm(const fs::path& path)
{
    return path.extension() == ".ui";
}

// Every folder of the program's own code: what is not tests, benchmarks, packaging or a build.
std::vector<std::string> codeFolders()
{
    static const std::set<std::string> notCode = {"tests", "bench", "packaging", "docs", "scripts"};
    std::set<std::string> folders;
    for (auto it = fs::recursive_directory_iterator(SourceFolder); it != fs::recursive_directory_iterator(); ++it) {
        const std::string name = it->path().filename().string();
        if (it->is_directory() && it.depth() == 0
            && (notCode.contains(name) || name.starts_with("build") || name.starts_with('.'))) {
            it.disable_recursion_pending();
        } else if (it->is_regular_file() && isSource(it->path())) {
            folders.insert(fs::relative(it->path().parent_path(), SourceFolder).generic_string());
        }
    }
    return {folders.begin(), folders.end()};
}

struct Includes {
    Graph edges;                       // library -> libraries it includes
    std::vector<std::string> faults;   // includes that name no file of their own folder
};

Includes includesOf(const Graph& libraries)
{
    static const std::regex include(R"re(^\s*#\s*include\s+"([^"]+)")re");
    static const std::regex formHeader(R"re(<header>([^<]+)</header>)re");
    Includes result;
    for (const auto& [library, uses] : libraries) {
        result.edges[library];
        if (!fs::is_directory(SourceFolder / library))
            continue;   // reported by EveryFolderOfCodeIsALibraryOfTheArrowList
        for (const auto& entry : fs::directory_iterator(SourceFolder / library)) {
            if (!entry.is_regular_file() || !(isSource(entry.path()) || isForm(entry.path())))
                continue;
            std::istringstream lines(readText(entry.path()));
            for (std::string line; std::getline(lines, line);) {
                std::smatch m;
                if (!std::regex_search(line, m, isForm(entry.path()) ? formHeader : include))
                    continue;
                const std::string name = m[1];
                const std::string where = library + '/' + entry.path().filename().string();
                if (name.find('/') == std::string::npos) {
                    // uic makes ui_X.h of the folder's form X.ui.
                    const bool formCode = name.starts_with("ui_") && name.ends_with(".h")
                        && fs::exists(SourceFolder / library / (name.substr(3, name.size() - 5) + ".ui"));
                    if (!formCode && !fs::exists(SourceFolder / library / name))
                        result.faults.push_back(where + " includes \"" + name + "\" without its folder");
                    continue;
                }
                const std::string target = libraryOf(name, libraries);
                if (target.empty())
                    result.faults.push_back(where + " includes \"" + name + "\" of no library");
                else if (target != library)
                    result.edges[library].insert(target);
            }
        }
    }
    return result;
}

// The project's libraries each library's CMake file links, by the folder that defines them.
Graph linksOf(const Graph& libraries)
{
    static const std::regex defines(R"(add_(?:library|executable)\(\s*(tarv\w*))");
    static const std::regex links(R"(target_link_libraries\(([^)]*)\))");
    static const std::regex target(R"(\btarv_\w+)");
    std::map<std::string, std::string> folderOf;
    for (const auto& [library, uses] : libraries) {
        const std::string text = readText(SourceFolder / library / "CMakeLists.txt");
        for (auto it = std::sregex_iterator(text.begin(), text.end(), defines); it != std::sregex_iterator(); ++it)
            folderOf[(*it)[1]] = library;
    }
    Graph graph;
    for (const auto& [library, uses] : libraries) {
        graph[library];
        const std::string text = readText(SourceFolder / library / "CMakeLists.txt");
        for (auto call = std::sregex_iterator(text.begin(), text.end(), links); call != std::sregex_iterator();
             ++call) {
            const std::string arguments = (*call)[1];
            for (auto it = std::sregex_iterator(arguments.begin(), arguments.end(), target);
                 it != std::sregex_iterator(); ++it) {
                const auto folder = folderOf.find(it->str());
                // Appended rather than "?" + str(): GCC 12 warns falsely on that (-Wrestrict).
                const std::string linked =
                    folder == folderOf.end() ? std::string("?").append(it->str()) : folder->second;
                if (linked != library)
                    graph[library].insert(linked);
            }
        }
    }
    return graph;
}

// "a → b" for every arrow of `graph` that `other` lacks.
std::vector<std::string> arrowsMissingIn(const Graph& graph, const Graph& other)
{
    std::vector<std::string> missing;
    for (const auto& [from, targets] : graph) {
        for (const std::string& to : targets) {
            const auto it = other.find(from);
            if (it == other.end() || !it->second.contains(to))
                missing.push_back(from + " → " + to);
        }
    }
    return missing;
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += "\n  " + line;
    return text;
}

class Dependencies : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fs::exists(SourceFolder / "README.md")) << SourceFolder;
        fArrows = readmeArrows();
        ASSERT_GE(fArrows.size(), 5u) << "the README's arrow list is missing or unreadable";
    }
    Graph fArrows;
};

TEST_F(Dependencies, EveryFolderOfCodeIsALibraryOfTheArrowList)
{
    for (const std::string& folder : codeFolders())
        EXPECT_TRUE(fArrows.contains(folder)) << folder << " holds code but is not in the README's arrow list";
    for (const auto& [library, uses] : fArrows) {
        EXPECT_TRUE(fs::exists(SourceFolder / library / "CMakeLists.txt")) << library;
        for (const std::string& used : uses)
            EXPECT_TRUE(fArrows.contains(used)) << library << " → " << used << ": no such library";
    }
}

// Exactly the arrows: an include against them fails, and so does an arrow no include needs.
TEST_F(Dependencies, IncludesFollowExactlyTheArrows)
{
    const Includes includes = includesOf(fArrows);
    EXPECT_TRUE(includes.faults.empty()) << joined(includes.faults);
    EXPECT_TRUE(arrowsMissingIn(includes.edges, fArrows).empty())
        << "includes without an arrow:" << joined(arrowsMissingIn(includes.edges, fArrows));
    EXPECT_TRUE(arrowsMissingIn(fArrows, includes.edges).empty())
        << "arrows without an include:" << joined(arrowsMissingIn(fArrows, includes.edges));
}

TEST_F(Dependencies, EachLibraryLinksExactlyWhatItIncludes)
{
    const Graph links = linksOf(fArrows);
    EXPECT_TRUE(arrowsMissingIn(links, fArrows).empty())
        << "links without an arrow:" << joined(arrowsMissingIn(links, fArrows));
    EXPECT_TRUE(arrowsMissingIn(fArrows, links).empty())
        << "arrows without a link:" << joined(arrowsMissingIn(fArrows, links));
}

// The player is what the main window shows: it includes no Qt header and links no widget
// library, so that its rules run and are tested without a window.
TEST_F(Dependencies, ThePlayerHasNoWidget)
{
    static const std::regex qtInclude(R"re(^\s*#\s*include\s+<Q)re");
    ASSERT_TRUE(fs::is_directory(SourceFolder / "player"));
    for (const auto& entry : fs::directory_iterator(SourceFolder / "player")) {
        if (!entry.is_regular_file() || !isSource(entry.path()))
            continue;
        std::istringstream lines(readText(entry.path()));
        for (std::string line; std::getline(lines, line);)
            EXPECT_FALSE(std::regex_search(line, qtInclude)) << entry.path().filename() << ": " << line;
    }
    EXPECT_EQ(readText(SourceFolder / "player" / "CMakeLists.txt").find("Qt6::"), std::string::npos);
}

TEST_F(Dependencies, ArrowsHaveNoCircle)
{
    // Depth-first search; a library met again while it is still on the path closes a circle.
    std::map<std::string, int> state;   // 1: on the path, 2: done
    std::vector<std::string> path;
    std::vector<std::string> circles;
    std::function<void(const std::string&)> visit = [&](const std::string& library) {
        state[library] = 1;
        path.push_back(library);
        const auto uses = fArrows.find(library);
        for (const std::string& used : uses == fArrows.end() ? std::set<std::string>() : uses->second) {
            if (state[used] == 1) {
                std::string circle;
                for (auto it = std::find(path.begin(), path.end(), used); it != path.end(); ++it)
                    circle += *it + " → ";
                circles.push_back(circle + used);
            } else if (state[used] == 0) {
                visit(used);
            }
        }
        path.pop_back();
        state[library] = 2;
    };
    for (const auto& [library, uses] : fArrows) {
        if (state[library] == 0)
            visit(library);
    }
    EXPECT_TRUE(circles.empty()) << joined(circles);
}

}   // namespace
