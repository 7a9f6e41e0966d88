// Which sound font the built-in synthesizer takes.
#include "midi/SoundFontSearch.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>

using namespace tarv;

namespace {

class SoundFontSearchTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    std::filesystem::path path(const std::string& name) const
    {
        return std::filesystem::path(dir.path().toStdString()) / name;
    }

    // The smallest file that FluidSynth takes for a SoundFont 2 file: its RIFF header.
    std::filesystem::path soundFont(const std::string& name) const
    {
        std::filesystem::create_directories(path(name).parent_path());
        std::ofstream(path(name), std::ios::binary).write("RIFF\0\0\0\0sfbk", 12);
        return path(name);
    }

    std::filesystem::path otherFile(const std::string& name) const
    {
        std::filesystem::create_directories(path(name).parent_path());
        std::ofstream(path(name), std::ios::binary).write("RIFF\0\0\0\0WAVE", 12);
        return path(name);
    }

    QTemporaryDir dir;
};

TEST_F(SoundFontSearchTest, FirstThatExistsInOrder)
{
    const auto fromEnvironment = soundFont("env/chosen.sf2");
    const auto besideB = soundFont("exe/b.sf2");
    const auto besideA = soundFont("exe/a.SF2");
    const auto system1 = soundFont("sys/default-GM.sf2");
    const auto system2 = soundFont("sys/FluidR3_GM.sf2");

    SoundFontSearch search;
    search.environment = fromEnvironment.string();
    search.executableFolder = path("exe");
    search.systemFiles = {path("sys/missing.sf2"), system1, system2};
    EXPECT_EQ(findSoundFont(search), fromEnvironment.string());

    // A variable that names no sound font is passed over, not fatal.
    search.environment = path("env/missing.sf2").string();
    EXPECT_EQ(findSoundFont(search), besideA.string()) << "the first by name, whatever the case of .sf2";
    search.environment.reset();
    EXPECT_EQ(findSoundFont(search), besideA.string());

    std::filesystem::remove(besideA);
    std::filesystem::remove(besideB);
    EXPECT_EQ(findSoundFont(search), system1.string());
    std::filesystem::remove(system1);
    EXPECT_EQ(findSoundFont(search), system2.string());
}

TEST_F(SoundFontSearchTest, NoneMeansNoSynthesizer)
{
    SoundFontSearch search;
    search.environment = "none";
    search.executableFolder = soundFont("exe/a.sf2").parent_path();
    search.systemFiles = {soundFont("sys/default-GM.sf2")};
    EXPECT_EQ(findSoundFont(search), std::nullopt);
}

TEST_F(SoundFontSearchTest, FilesThatAreNoSoundFontsAreSkipped)
{
    SoundFontSearch search;
    search.environment = otherFile("env/sound.sf2").string();
    search.executableFolder = otherFile("exe/a.sf2").parent_path();
    otherFile("exe/b.wav");
    search.systemFiles = {otherFile("sys/default-GM.sf2"), path("sys")};
    EXPECT_EQ(findSoundFont(search), std::nullopt);

    const auto inFolder = soundFont("banks/Some Bank.sf2");
    search.systemFolders = {path("no-such-folder"), path("banks")};
    EXPECT_EQ(findSoundFont(search), inFolder.string());
}

#if defined(__linux__)
TEST(SoundFontSearchDefaults, LooksBesideTheExecutableAndAtTheSystemsFonts)
{
    const SoundFontSearch search = defaultSoundFontSearch("/opt/tarv/bin");
    EXPECT_EQ(search.executableFolder, "/opt/tarv/bin");
    ASSERT_FALSE(search.systemFiles.empty());
    EXPECT_EQ(search.systemFiles.front(), "/usr/share/sounds/sf2/default-GM.sf2");
}
#endif

}   // namespace
