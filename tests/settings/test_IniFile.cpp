// IniFile: number forms, name matching and edits that keep a hand-written file as it was.
#include "settings/IniFile.h"
#include "settings/Settings.h"

#include "TestSupport.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

using tarv::IniFile;

TEST(IniFile, ParsesDecimalAndBothHexForms)
{
    struct Case {
        const char* text;
        std::optional<std::int32_t> value;
    };
    // clang-format off
    const Case cases[] = {
        {"64", 64},         {" 64 ", 64},       {"0x40", 64},       {"0X4a", 74},
        {"$40", 64},        {"$ff", 255},       {"-5", -5},         {"+7", 7},
        {"-$10", -16},      {"2147483647", 2147483647},             {"-2147483648", -2147483647 - 1},
        {"$FFFFFFFF", -1},  {"abc", {}},        {"12abc", {}},      {"", {}},
        {"0x", {}},         {"$", {}},          {"-", {}},          {"1.5", {}},
        {"2147483648", {}}, {"0x100000000", {}}, {"$4g", {}},       {"٣", {}},
    };
    // clang-format on
    for (const Case& c : cases)
        EXPECT_EQ(IniFile::parseInteger(QString::fromUtf8(c.text)), c.value) << c.text;
}

TEST(IniFile, MatchesSectionAndKeyNamesWithoutCase)
{
    const IniFile ini = IniFile::fromBytes("[KANAL3]\nvOLUME = 0x40\n[kanal3]\nVolume=1\n");
    EXPECT_EQ(ini.readInteger("kanal3", "Volume", 127), 64);   // the first section of a name counts
    EXPECT_EQ(ini.readInteger("kanal3", "Panorama", 64), 64);
    EXPECT_EQ(ini.readInteger("kanal4", "Volume", 127), 127);
}

TEST(IniFile, ReadsCrlfAndByteOrderMark)
{
    const IniFile ini = IniFile::fromBytes("\xEF\xBB\xBF[allgemein]\r\nDelay=25\r\nHint=0\r\n");
    EXPECT_EQ(ini.readInteger("allgemein", "Delay", 10), 25);
    EXPECT_EQ(ini.readInteger("allgemein", "Hint", 1), 0);
}

TEST(IniFile, IgnoresCommentsAndLinesOutsideSections)
{
    const IniFile ini = IniFile::fromBytes("Volume=1\n[s]\n;Volume=2\n# Volume=3\nno key here\nVolume=4\n");
    EXPECT_EQ(ini.readInteger("s", "Volume", 0), 4);
    EXPECT_FALSE(ini.value("", "Volume").has_value());
}

TEST(IniFile, ReplacesExistingValueInPlace)
{
    IniFile ini = IniFile::fromBytes("; mine\n[s]\n  Volume = 300 \n\nOther=x\n");
    ini.setValue("S", "VOLUME", 44);
    EXPECT_EQ(ini.toBytes(), QByteArray("; mine\n[s]\n  Volume = 44\n\nOther=x\n"));
}

TEST(IniFile, AppendsNewKeyAfterLastKeyOfItsSection)
{
    IniFile ini = IniFile::fromBytes("[a]\nx=1\n\n; about b\n[b]\ny=2\n[c]\n; only a comment\n");
    ini.setValue("a", "z", 3);
    ini.setValue("b", "w", 4);
    ini.setValue("c", "v", 5);
    EXPECT_EQ(ini.toBytes(), QByteArray("[a]\nx=1\nz=3\n\n; about b\n[b]\ny=2\nw=4\n[c]\nv=5\n; only a comment\n"));
}

TEST(IniFile, AppendsNewSectionAfterOneBlankLine)
{
    IniFile withoutFinalNewLine = IniFile::fromBytes("[a]\nx=1");
    withoutFinalNewLine.setValue("b", "y", 2);
    EXPECT_EQ(withoutFinalNewLine.toBytes(), QByteArray("[a]\nx=1\n\n[b]\ny=2\n"));

    IniFile endingInBlankLine = IniFile::fromBytes("[a]\nx=1\n\n");
    endingInBlankLine.setValue("b", "y", 2);
    EXPECT_EQ(endingInBlankLine.toBytes(), QByteArray("[a]\nx=1\n\n[b]\ny=2\n"));

    IniFile empty = IniFile::fromBytes("");
    empty.setValue("b", "y", 2);
    EXPECT_EQ(empty.toBytes(), tarv::test::systemLineEnds("[b]\ny=2\n"));   // a new file: the system's ends
}

TEST(IniFile, KeepsLineEndingsAndByteOrderMarkOfTheFile)
{
    IniFile ini = IniFile::fromBytes("\xEF\xBB\xBF[a]\r\nx=1\r\n");
    ini.setValue("a", "x", 5);
    ini.setValue("a", "y", 6);
    ini.setValue("b", "z", 7);
    EXPECT_EQ(ini.toBytes(), QByteArray("\xEF\xBB\xBF[a]\r\nx=5\r\ny=6\r\n\r\n[b]\r\nz=7\r\n"));
}

// A read that fails after the file was opened (this process's memory file fails at its first
// byte) is as unreadable as a file that cannot be opened: nothing may be saved from it. A
// missing file is only empty.
TEST(IniFile, AReadThatFailsMidwayRefusesToSave)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString target = dir.filePath("saved.ini");
    if (!QFile::exists("/proc/self/mem"))
        GTEST_SKIP() << "no /proc";
    IniFile unreadable = IniFile::load("/proc/self/mem");
    EXPECT_FALSE(unreadable.value("a", "x"));
    unreadable.setValue("a", "x", 1);
    EXPECT_THROW(unreadable.save(target), SettingsWriteError);
    EXPECT_FALSE(QFile::exists(target));

    IniFile missing = IniFile::load(dir.filePath("missing.ini"));
    missing.setValue("a", "x", 1);
    missing.save(target);
    EXPECT_EQ(IniFile::load(target).readInteger("a", "x", 0), 1);
}
