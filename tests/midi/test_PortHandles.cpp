// Port handles of the MIDI services: handed out once, unknown after closing, never of the
// other kind, with the service's own text for an unknown one.
#include "midi/LoopbackMidiService.h"
#include "midi/PortTable.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace tarv;

namespace {

std::string failureOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const MidiServiceError& e) {
        return e.what();
    }
    return "no failure";
}

TEST(PortTable, HandlesAreNeverZeroNorHandedOutTwice)
{
    PortTable<std::string> table("Unbekannt");
    const PortHandle first = table.add("a");
    const PortHandle second = table.add("b");
    EXPECT_NE(first, 0u);
    EXPECT_EQ(table.take(first), "a");
    const PortHandle third = table.add("c");
    EXPECT_NE(third, first);
    EXPECT_NE(third, second);
    EXPECT_EQ(failureOf([&] { table.at(first); }), "Unbekannt (" + std::to_string(first) + ")");
    EXPECT_EQ(failureOf([&] { table.take(first); }), "Unbekannt (" + std::to_string(first) + ")");
    EXPECT_EQ(table.takeAll(), (std::vector<std::string>{"b", "c"}));
    EXPECT_TRUE(table.empty());
    EXPECT_EQ(table.find(second), nullptr);
}

// A handle kept after closing must not send to the port that opens next.
TEST(LoopbackPortHandles, AClosedHandleNeverReachesALaterPort)
{
    LoopbackMidiService service({"Keys"}, {"Synth A", "Synth B"});
    const PortHandle stale = service.openOutput(0, "Synth A");
    service.closeOutput(stale);
    const PortHandle fresh = service.openOutput(1, "Synth B");
    EXPECT_NE(fresh, stale);
    EXPECT_EQ(failureOf([&] { service.sendShort(stale, 0x90 | 60 << 8 | 100 << 16); }),
              "Loopback: Ungültiges Port-Handle (" + std::to_string(stale) + ")");
    EXPECT_THROW(service.closeOutput(stale), MidiServiceError);
    EXPECT_TRUE(service.sent().empty());
    EXPECT_EQ(service.openOutputCount(), 1);
}

TEST(LoopbackPortHandles, AnInputHandleIsUnknownToTheOutputCallsAndStaysOpen)
{
    LoopbackMidiService service({"Keys"}, {"Synth A"});
    std::vector<std::uint32_t> received;
    const PortHandle input =
        service.openInput(0, "Keys", 7, [&](int, std::uint32_t packed) { received.push_back(packed); }, {});
    EXPECT_THROW(service.sendShort(input, 0x90 | 60 << 8 | 100 << 16), MidiServiceError);
    EXPECT_THROW(service.closeOutput(input), MidiServiceError);
    EXPECT_EQ(service.openInputCount(), 1);
    service.injectShort("Keys", 0x80 | 60 << 8);
    ASSERT_TRUE(service.waitInputIdle());
    EXPECT_EQ(received, (std::vector<std::uint32_t>{0x80 | 60 << 8}));
    service.closeInput(input);
    EXPECT_EQ(service.openInputCount(), 0);
}

}   // namespace
