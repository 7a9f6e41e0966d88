// The key table: symbols of the US and German layouts to Windows codes, shifted symbols back to
// unshifted ones, and the agreement of the symbol and caption lookups row by row.
#include "keycodes/VirtualKeys.h"

#include <gtest/gtest.h>

#include <cstdint>

using namespace tarv;
using keycodes::Layout;

namespace {

struct SymbolCase {
    std::uint32_t keysym;
    int code;
};

TEST(VirtualKeys, SymbolsOfUsAndGermanKeysGiveTheirWindowsCodes)
{
    // clang-format off
    const SymbolCase cases[] = {
        {'q', 81}, {'Q', 81}, {'y', 89}, {'z', 90}, {'2', 50}, {'0', 48},
        {';', 186}, {0xfc /* ü */, 186}, {0xdc /* Ü */, 186},
        {'=', 187}, {'+', 187}, {',', 188}, {'-', 189}, {'.', 190},
        {'/', 191}, {'#', 191}, {'`', 192}, {0xf6 /* ö */, 192}, {0xd6 /* Ö */, 192},
        {'[', 219}, {0xdf /* ß */, 219}, {'\\', 220}, {0xfe52 /* dead ^ */, 220},
        {']', 221}, {0xfe51 /* dead ´ */, 221}, {'\'', 222}, {0xe4 /* ä */, 222}, {'<', 226},
        {0xffad /* keypad minus */, 109}, {0xffb7 /* keypad 7 */, 103}, {0xffbe /* F1 */, 112},
        {0xff95 /* keypad Home */, 36}, {0xffe2 /* right Shift */, 16},
        {0x20ac /* euro sign */, 0}, {'!', 0}, {0 /* no symbol: never a row's unused place */, 0},
    };
    // clang-format on
    for (const SymbolCase& c : cases)
        EXPECT_EQ(keycodes::fromKeysym(c.keysym), c.code) << std::hex << c.keysym;
}

TEST(VirtualKeys, ShiftedSymbolsTurnBackByLayout)
{
    EXPECT_EQ(keycodes::unshiftedKeysym('"', Layout::US), std::uint32_t('\''));
    EXPECT_EQ(keycodes::unshiftedKeysym('"', Layout::German), std::uint32_t('2'));
    EXPECT_EQ(keycodes::unshiftedKeysym('?', Layout::US), std::uint32_t('/'));
    EXPECT_EQ(keycodes::unshiftedKeysym('?', Layout::German), 0xdfu);
    EXPECT_EQ(keycodes::unshiftedKeysym('\'', Layout::German), std::uint32_t('#'));
    EXPECT_EQ(keycodes::unshiftedKeysym('_', Layout::German), std::uint32_t('-'));
    EXPECT_EQ(keycodes::unshiftedKeysym('Q', Layout::German), std::uint32_t('Q'));
    EXPECT_EQ(keycodes::unshiftedKeysym('-', Layout::US), std::uint32_t('-'));
}

// A symbol listed for two keys, or a caption that is no symbol of its own key, would make the
// key map picture show another key than the one the player presses.
TEST(VirtualKeys, EveryKeyIsFoundByEachOfItsSymbolsAndItsCaption)
{
    for (const keycodes::Key& key : keycodes::virtualKeys()) {
        for (std::uint32_t symbol : key.symbols) {
            if (symbol != 0) {
                EXPECT_EQ(keycodes::fromKeysym(symbol), key.code) << std::hex << symbol;
            }
        }
        EXPECT_EQ(keycodes::caption(key.code), key.caption) << key.code;
        if (key.caption != 0) {
            EXPECT_EQ(keycodes::fromKeysym(key.caption), key.code) << key.code;
        }
    }
    for (int code : {int('0'), int('9'), int('A'), int('Q'), int('Z')}) {
        EXPECT_EQ(keycodes::caption(code), char32_t(code));
        EXPECT_EQ(keycodes::fromKeysym(keycodes::caption(code)), code);
    }
    EXPECT_EQ(keycodes::caption(97), 0u);   // keypad 1: no caption
    EXPECT_EQ(keycodes::caption(0), 0u);
}

}   // namespace
