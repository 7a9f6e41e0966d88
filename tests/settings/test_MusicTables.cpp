// The note names and the General MIDI instrument names.
#include "settings/uGMInstrumente.h"
#include "settings/uTonFamilie.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

TEST(NoteNames, NameThePitchClassOfANote)
{
    const std::pair<int, const char*> cases[] = {{60, "C"}, {61, "C#"}, {70, "A#"}, {71, "B"}, {0, "C"}, {127, "G"}};
    for (const auto& [note, name] : cases)
        EXPECT_STREQ(NoteNames[note % 12], name) << note;
}

TEST(GMInstrumente, OrdinalIsTheProgramNumber)
{
    // clang-format off
    const std::pair<int, const char*> cases[] = {
        {0, "AcousticGrandPiano"}, {40, "Violin"},       {56, "Trumpet"},
        {80, "Lead1Square"},       {99, "FXatmophere"},  {127, "Gunshot"},
    };
    // clang-format on
    for (const auto& [ordinal, name] : cases)
        EXPECT_STREQ(GMInstrumentName(ordinal), name) << ordinal;
    EXPECT_STREQ(GMInstrumentName(TGMInstrument::Violin), "Violin");
    EXPECT_STREQ(GMInstrumentName(128), "");
    EXPECT_STREQ(GMInstrumentName(-1), "");
}

TEST(GMInstrumente, HasExactly128DistinctNamesWithoutSpaces)
{
    std::set<std::string> names;
    for (int i = 0; i < GMInstrumentCount; ++i) {
        const std::string name = GMInstrumentName(i);
        EXPECT_FALSE(name.empty()) << i;
        EXPECT_EQ(name.find(' '), std::string::npos) << name;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 128u);
}
