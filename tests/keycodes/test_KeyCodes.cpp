// Windows virtual-key codes of PC key events: Qt's key codes and the first shift level of X key
// codes on US and German keymaps.
#include "keycodes/KeyCodes.h"

#include <QKeyEvent>

#include <gtest/gtest.h>

#if defined(TARV_HAVE_XKBCOMMON)
#include <xkbcommon/xkbcommon.h>
#endif

#include <cstdint>
#include <vector>

using namespace tarv;

namespace {

int codeOf(int qtKey, Qt::KeyboardModifiers modifiers, const QString& text)
{
    const QKeyEvent event(QEvent::KeyPress, qtKey, modifiers, text);
    return keycodes::windowsKeyCode(event);
}

// Synthesized events carry no native data: Qt's key code decides.
TEST(KeyCodes, SynthesizedEventsUseQtKey)
{
    EXPECT_EQ(codeOf(Qt::Key_Q, Qt::NoModifier, "q"), 81);
    EXPECT_EQ(codeOf(Qt::Key_Q, Qt::ShiftModifier, "Q"), 81);
    EXPECT_EQ(codeOf(Qt::Key_2, Qt::NoModifier, "2"), 50);
    EXPECT_EQ(codeOf(Qt::Key_Exclam, Qt::ShiftModifier, "!"), 49);   // Shift+1 on both layouts
    EXPECT_EQ(codeOf(Qt::Key_Minus, Qt::NoModifier, "-"), 189);
    EXPECT_EQ(codeOf(Qt::Key_Minus, Qt::KeypadModifier, "-"), 109);
    EXPECT_EQ(codeOf(Qt::Key_7, Qt::KeypadModifier, "7"), 103);
    EXPECT_EQ(codeOf(Qt::Key_Odiaeresis, Qt::NoModifier, QString(QChar(0xf6))), 192);
    EXPECT_EQ(codeOf(Qt::Key_NumberSign, Qt::NoModifier, "#"), 191);
    EXPECT_EQ(codeOf(Qt::Key_Dead_Circumflex, Qt::NoModifier, ""), 220);
    EXPECT_EQ(codeOf(Qt::Key_F5, Qt::NoModifier, ""), 116);
    EXPECT_EQ(codeOf(Qt::Key_unknown, Qt::NoModifier, ""), 0);
}

#if defined(Q_OS_WIN)

// On Windows a real key event carries the key's virtual-key code, which already names the key
// by its unshifted symbol on the active layout: it wins over Qt's key code and text.
TEST(KeyCodes, WindowsTakesTheEventsVirtualKey)
{
    const auto code = [](int qtKey, Qt::KeyboardModifiers modifiers, quint32 virtualKey, const QString& text) {
        const QKeyEvent event(QEvent::KeyPress, qtKey, modifiers, 0, virtualKey, 0, text);
        return keycodes::windowsKeyCode(event);
    };
    EXPECT_EQ(code(Qt::Key_Q, Qt::NoModifier, 0x51, "q"), 81);
    EXPECT_EQ(code(Qt::Key_Exclam, Qt::ShiftModifier, 0x31, "!"), 49);
    EXPECT_EQ(code(Qt::Key_Odiaeresis, Qt::NoModifier, 0xC0, QString(QChar(0xf6))), 192);
    EXPECT_EQ(code(Qt::Key_Minus, Qt::KeypadModifier, 0x6D, "-"), 109);
    // A layout that puts another letter on the key: the code follows the layout, as Windows says.
    EXPECT_EQ(code(Qt::Key_Q, Qt::NoModifier, 0x41, "q"), 65);
    // Without a virtual key (a synthesized event) Qt's key code decides, as on every system.
    EXPECT_EQ(code(Qt::Key_Q, Qt::NoModifier, 0, "q"), 81);
}

#endif

#if defined(TARV_HAVE_XKBCOMMON)

// X key codes (evdev + 8) of a few keys, by their place on a US keyboard.
constexpr std::uint32_t KeyY = 29, KeyZ = 52, Key2 = 11, KeyMinus = 20, KeyEqual = 21, KeyLeftBrace = 34,
                        KeyRightBrace = 35, KeySemicolon = 47, KeyApostrophe = 48, KeyGrave = 49, KeyBackslash = 51,
                        KeySlash = 61, Key102nd = 94;

class Keymaps : public ::testing::Test {
protected:
    void SetUp() override
    {
        fContext = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
        ASSERT_NE(fContext, nullptr);
    }
    void TearDown() override
    {
        for (xkb_keymap* k : fKeymaps)
            xkb_keymap_unref(k);
        xkb_context_unref(fContext);
    }
    xkb_keymap* keymap(const char* layout)
    {
        const xkb_rule_names names{"evdev", "pc105", layout, "", ""};
        xkb_keymap* k = xkb_keymap_new_from_names(fContext, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
        if (k != nullptr)
            fKeymaps.push_back(k);
        return k;
    }
    // The code for a key event with symbol `eventSym` on key `keycode`, group 0 preferred.
    static int code(xkb_keymap* k, std::uint32_t keycode, std::uint32_t eventSym)
    {
        return keycodes::fromKeysym(keycodes::levelOneKeysym(k, keycode, eventSym, 0));
    }
    xkb_context* fContext = nullptr;
    std::vector<xkb_keymap*> fKeymaps;
};

TEST_F(Keymaps, GermanLayoutNamesKeysByTheirSymbolsNotTheirPlaces)
{
    xkb_keymap* de = keymap("de");
    if (de == nullptr)
        GTEST_SKIP() << "no XKB data for the German layout";
    EXPECT_EQ(code(de, KeyY, 'z'), 90);   // the German Z sits where the US Y is
    EXPECT_EQ(code(de, KeyY, 'Z'), 90);   // with Shift or Caps Lock
    EXPECT_EQ(code(de, KeyZ, 'y'), 89);
    EXPECT_EQ(code(de, Key2, '"'), 50);   // Shift+2
    EXPECT_EQ(code(de, KeyMinus, '?'), 219);
    EXPECT_EQ(code(de, KeyEqual, 0xfe51), 221);
    EXPECT_EQ(code(de, KeyLeftBrace, 0xdc), 186);
    EXPECT_EQ(code(de, KeyRightBrace, '*'), 187);
    EXPECT_EQ(code(de, KeySemicolon, 0xf6), 192);
    EXPECT_EQ(code(de, KeyApostrophe, 0xe4), 222);
    EXPECT_EQ(code(de, KeyGrave, 0xfe52), 220);
    EXPECT_EQ(code(de, KeyBackslash, '\''), 191);   // Shift+#
    EXPECT_EQ(code(de, KeySlash, '_'), 189);
    EXPECT_EQ(code(de, Key102nd, '>'), 226);
}

TEST_F(Keymaps, UsLayoutNamesPunctuationByItsOemCodes)
{
    xkb_keymap* us = keymap("us");
    if (us == nullptr)
        GTEST_SKIP() << "no XKB data for the US layout";
    EXPECT_EQ(code(us, KeyY, 'y'), 89);
    EXPECT_EQ(code(us, Key2, '@'), 50);
    EXPECT_EQ(code(us, KeySemicolon, ':'), 186);
    EXPECT_EQ(code(us, KeySlash, '?'), 191);
    EXPECT_EQ(code(us, KeyGrave, '~'), 192);
    EXPECT_EQ(code(us, KeyApostrophe, '"'), 222);
    EXPECT_EQ(code(us, KeyMinus, '_'), 189);
}

// With two layouts, the group that produced the symbol decides, whichever is preferred.
TEST_F(Keymaps, SymbolFindsItsLayoutGroup)
{
    xkb_keymap* both = keymap("us,de");
    if (both == nullptr)
        GTEST_SKIP() << "no XKB data for US and German";
    EXPECT_EQ(code(both, KeyY, 'z'), 90);
    EXPECT_EQ(code(both, KeyY, 'y'), 89);
    EXPECT_EQ(keycodes::fromKeysym(keycodes::levelOneKeysym(both, KeySemicolon, 0xd6, 0)), 192);
    // A symbol the key does not produce at all names nothing.
    EXPECT_EQ(keycodes::levelOneKeysym(both, KeyY, 'q', 0), 0u);
}

#endif

}   // namespace
