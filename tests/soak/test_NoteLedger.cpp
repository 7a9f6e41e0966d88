// The soak's verdict on a recorded stream: which notes it leaves sounding.
#include "NoteLedger.h"

#include <gtest/gtest.h>

#include <ostream>

namespace tarv::soak {
void PrintTo(const UnendedNote& n, std::ostream* out)
{
    *out << "channel " << n.channel << " note " << n.note;
}
}   // namespace tarv::soak

using tarv::soak::UnendedNote;
using tarv::soak::unendedNotes;
using Stream = std::vector<std::vector<std::uint8_t>>;

TEST(NoteLedger, EachWayOfEndingANoteCountsOnlyForItsChannelAndNote)
{
    struct Case {
        const char* what;
        Stream stream;
        std::vector<UnendedNote> unended;
    };
    // clang-format off
    const Case cases[] = {
        {"note off", {{0x90, 60, 100}, {0x80, 60, 0}}, {}},
        {"note on with velocity 0", {{0x93, 60, 100}, {0x93, 60, 0}}, {}},
        {"all notes off on the channel", {{0x92, 60, 100}, {0x92, 61, 1}, {0xB2, 123, 0}}, {}},
        {"all notes off on another channel", {{0x92, 60, 100}, {0xB3, 123, 0}}, {{2, 60}}},
        {"note off on another channel", {{0x90, 60, 100}, {0x81, 60, 0}}, {{0, 60}}},
        {"note off for another note", {{0x90, 60, 100}, {0x80, 61, 0}}, {{0, 60}}},
        {"struck again after its end", {{0x90, 60, 100}, {0xB0, 123, 0}, {0x90, 60, 90}}, {{0, 60}}},
        {"other messages change nothing", {{0x9F, 127, 1}, {0xB0, 64, 0}, {0xE0, 0, 64}, {0xC0, 5}}, {{15, 127}}},
    };
    // clang-format on
    for (const Case& c : cases)
        EXPECT_EQ(unendedNotes(c.stream), c.unended) << c.what;
}
