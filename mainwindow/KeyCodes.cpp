// Windows virtual-key codes for PC key events, on every platform.
//
// The PC key map stores Windows virtual-key codes, and they name a key by the symbol it carries
// without Shift on the active layout: the key that types "z" is 90 on a German keyboard, where it
// sits at the place of the US "y"; the key left of the right Shift key is 189 (OEM minus, "-") on
// a German keyboard and 191 (OEM 2, "/") on a US one. So the code of a key event comes from its
// symbol, never from its physical position:
//   Windows   the event's native virtual key, which is exactly that code.
//   X11       the symbol on the first shift level of the event's key code in the layout group that
//             produced the event, read from the X server's keymap through xkbcommon-x11.
//   Wayland   (and X11 without that keymap) the event's keysym; with Shift held, a shifted symbol
//             is turned back into its unshifted one by the table of the assumed layout.
//   otherwise (synthesized events, macOS) Qt's key code and text, the same way.
//
// The symbol -> code table, for the US and German layouts (a few more keys of both are covered):
//   A..Z, a..z           65..90   (upper-case ASCII)
//   0..9                 48..57
//   US ;   German Ü      186      OEM 1
//   US =   German +      187      OEM plus
//   ,                    188      OEM comma
//   -                    189      OEM minus
//   .                    190      OEM period
//   US /   German #      191      OEM 2
//   US `   German Ö      192      OEM 3
//   US [   German ß      219      OEM 4
//   US \   German ^      220      OEM 5
//   US ]   German ´      221      OEM 6
//   US '   German Ä      222      OEM 7
//   German <             226      OEM 102 (the extra key left of Y)
// German ^ and ´ are dead keys on most set-ups; their dead symbols map like the plain ones. Named
// keys (Space, Return, arrows, F1..F24, the keypad ...) map to their Windows codes as well, so a
// hand-edited key map may use them; keypad keys keep their keypad codes (the keypad minus is 109,
// not 189).
#include "KeyCodes.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLocale>

#include <algorithm>
#include <array>
#include <utility>

#if defined(TARV_HAVE_XKBCOMMON)
#include <xkbcommon/xkbcommon.h>
#endif
#if defined(TARV_HAVE_XKB_X11)
#include <QElapsedTimer>
#include <QtGui/qguiapplication_platform.h>
#include <xkbcommon/xkbcommon-x11.h>
#endif

namespace tarv {
namespace keycodes {
namespace {

// X keysyms that are not Latin-1 code points.
constexpr std::uint32_t XK_dead_grave = 0xfe50;
constexpr std::uint32_t XK_dead_acute = 0xfe51;
constexpr std::uint32_t XK_dead_circumflex = 0xfe52;
constexpr std::uint32_t XK_ISO_Left_Tab = 0xfe20;
constexpr std::uint32_t XK_ISO_Level3_Shift = 0xfe03;   // AltGr
constexpr std::uint32_t XK_KP_First = 0xff80;             // KP_Space
constexpr std::uint32_t XK_KP_Last = 0xffbd;              // KP_Equal
constexpr std::uint32_t XK_KP_0 = 0xffb0;
constexpr std::uint32_t XK_F1 = 0xffbe;
constexpr std::uint32_t XK_F24 = 0xffd5;

struct SymbolCode {
    std::uint32_t keysym;
    int code;
};

// Symbols with a fixed code, besides letters, digits, F keys and keypad digits (see fromKeysym).
constexpr auto kSymbolCodes = std::to_array<SymbolCode>({
    // punctuation of the US and German layouts (table in the file comment)
    {';', 186}, {0xfc /* ü */, 186}, {0xdc /* Ü */, 186},
    {'=', 187}, {'+', 187},
    {',', 188}, {'-', 189}, {'.', 190},
    {'/', 191}, {'#', 191},
    {'`', 192}, {0xf6 /* ö */, 192}, {0xd6 /* Ö */, 192}, {XK_dead_grave, 192},
    {'[', 219}, {0xdf /* ß */, 219},
    {'\\', 220}, {'^', 220}, {XK_dead_circumflex, 220},
    {']', 221}, {0xb4 /* ´ */, 221}, {XK_dead_acute, 221},
    {'\'', 222}, {0xe4 /* ä */, 222}, {0xc4 /* Ä */, 222},
    {'<', 226},
    {' ', 32},
    // named keys
    {0xff08, 8},    // BackSpace
    {0xff09, 9},    // Tab
    {XK_ISO_Left_Tab, 9},
    {0xff0d, 13},   // Return
    {0xff13, 19},   // Pause
    {0xff14, 145},  // Scroll_Lock
    {0xff1b, 27},   // Escape
    {0xff50, 36},   // Home
    {0xff51, 37},   // Left
    {0xff52, 38},   // Up
    {0xff53, 39},   // Right
    {0xff54, 40},   // Down
    {0xff55, 33},   // Prior (Page Up)
    {0xff56, 34},   // Next (Page Down)
    {0xff57, 35},   // End
    {0xff61, 44},   // Print
    {0xff63, 45},   // Insert
    {0xff67, 93},   // Menu
    {0xff7f, 144},  // Num_Lock
    {0xffff, 46},   // Delete
    {0xffe1, 16}, {0xffe2, 16},   // Shift_L, Shift_R
    {0xffe3, 17}, {0xffe4, 17},   // Control_L, Control_R
    {0xffe5, 20},                 // Caps_Lock
    {0xffe9, 18}, {0xffea, 18},   // Alt_L, Alt_R
    {XK_ISO_Level3_Shift, 18},
    {0xffeb, 91}, {0xffec, 92},   // Super_L, Super_R
    // keypad (digits by range in fromKeysym)
    {0xff8d, 13},   // KP_Enter
    {0xff95, 36},   // KP_Home
    {0xff96, 37},   // KP_Left
    {0xff97, 38},   // KP_Up
    {0xff98, 39},   // KP_Right
    {0xff99, 40},   // KP_Down
    {0xff9a, 33},   // KP_Prior
    {0xff9b, 34},   // KP_Next
    {0xff9c, 35},   // KP_End
    {0xff9d, 12},   // KP_Begin (Clear)
    {0xff9e, 45},   // KP_Insert
    {0xff9f, 46},   // KP_Delete
    {0xffaa, 106},  // KP_Multiply
    {0xffab, 107},  // KP_Add
    {0xffac, 108},  // KP_Separator
    {0xffad, 109},  // KP_Subtract
    {0xffae, 110},  // KP_Decimal
    {0xffaf, 111},  // KP_Divide
});

struct ShiftPair {
    std::uint32_t shifted;
    std::uint32_t unshifted;
};

constexpr auto kUsShifted = std::to_array<ShiftPair>({
    {'!', '1'}, {'@', '2'}, {'#', '3'}, {'$', '4'}, {'%', '5'}, {'^', '6'}, {'&', '7'},
    {'*', '8'}, {'(', '9'}, {')', '0'}, {'_', '-'}, {'+', '='}, {'{', '['}, {'}', ']'},
    {'|', '\\'}, {':', ';'}, {'"', '\''}, {'<', ','}, {'>', '.'}, {'?', '/'}, {'~', '`'},
});

constexpr auto kGermanShifted = std::to_array<ShiftPair>({
    {'!', '1'}, {'"', '2'}, {0xa7 /* § */, '3'}, {'$', '4'}, {'%', '5'}, {'&', '6'},
    {'/', '7'}, {'(', '8'}, {')', '9'}, {'=', '0'}, {'?', 0xdf /* ß */},
    {0xb0 /* ° */, '^'}, {XK_dead_grave, XK_dead_acute}, {'`', 0xb4 /* ´ */},
    {'*', '+'}, {'\'', '#'}, {';', ','}, {':', '.'}, {'_', '-'}, {'>', '<'},
});

struct QtKeySymbol {
    int qtKey;
    std::uint32_t keysym;
};

constexpr auto kQtNamedKeys = std::to_array<QtKeySymbol>({
    {Qt::Key_Escape, 0xff1b}, {Qt::Key_Tab, 0xff09}, {Qt::Key_Backtab, XK_ISO_Left_Tab},
    {Qt::Key_Backspace, 0xff08}, {Qt::Key_Return, 0xff0d}, {Qt::Key_Enter, 0xff8d},
    {Qt::Key_Insert, 0xff63}, {Qt::Key_Delete, 0xffff}, {Qt::Key_Pause, 0xff13},
    {Qt::Key_Print, 0xff61}, {Qt::Key_Home, 0xff50}, {Qt::Key_End, 0xff57},
    {Qt::Key_Left, 0xff51}, {Qt::Key_Up, 0xff52}, {Qt::Key_Right, 0xff53}, {Qt::Key_Down, 0xff54},
    {Qt::Key_PageUp, 0xff55}, {Qt::Key_PageDown, 0xff56}, {Qt::Key_Shift, 0xffe1},
    {Qt::Key_Control, 0xffe3}, {Qt::Key_Meta, 0xffeb}, {Qt::Key_Alt, 0xffe9},
    {Qt::Key_AltGr, XK_ISO_Level3_Shift}, {Qt::Key_CapsLock, 0xffe5}, {Qt::Key_NumLock, 0xff7f},
    {Qt::Key_ScrollLock, 0xff14}, {Qt::Key_Menu, 0xff67}, {Qt::Key_Clear, 0xff9d},
    {Qt::Key_Dead_Grave, XK_dead_grave}, {Qt::Key_Dead_Acute, XK_dead_acute},
    {Qt::Key_Dead_Circumflex, XK_dead_circumflex},
});

bool isKeypadKeysym(std::uint32_t keysym)
{
    return keysym >= XK_KP_First && keysym <= XK_KP_Last;
}

}  // namespace

int fromKeysym(std::uint32_t keysym)
{
    if (keysym >= 'a' && keysym <= 'z')
        return int(keysym - 'a' + 'A');
    if ((keysym >= 'A' && keysym <= 'Z') || (keysym >= '0' && keysym <= '9'))
        return int(keysym);
    if (keysym >= XK_F1 && keysym <= XK_F24)
        return int(112 + (keysym - XK_F1));
    if (keysym >= XK_KP_0 && keysym <= XK_KP_0 + 9)
        return int(96 + (keysym - XK_KP_0));
    const auto it = std::find_if(kSymbolCodes.begin(), kSymbolCodes.end(),
                                 [keysym](const SymbolCode& e) { return e.keysym == keysym; });
    return it == kSymbolCodes.end() ? 0 : it->code;
}

std::uint32_t unshiftedKeysym(std::uint32_t shifted, Layout layout)
{
    const auto lookup = [shifted](const auto& table) {
        const auto it = std::find_if(table.begin(), table.end(),
                                     [shifted](const ShiftPair& e) { return e.shifted == shifted; });
        return it == table.end() ? shifted : it->unshifted;
    };
    return layout == Layout::German ? lookup(kGermanShifted) : lookup(kUsShifted);
}

std::uint32_t keysymFromQtKey(int qtKey, bool keypad)
{
    if (keypad) {
        if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
            return XK_KP_0 + std::uint32_t(qtKey - Qt::Key_0);
        switch (qtKey) {
        case Qt::Key_Asterisk: return 0xffaa;
        case Qt::Key_Plus: return 0xffab;
        case Qt::Key_Minus: return 0xffad;
        case Qt::Key_Period:
        case Qt::Key_Comma: return 0xffae;
        case Qt::Key_Slash: return 0xffaf;
        default: break;   // the navigation keys of the keypad map like the others
        }
    }
    // Qt's codes of the printable Latin-1 keys are their (upper-case) code points, like the keysyms.
    if (qtKey >= 0x20 && qtKey <= 0xff)
        return std::uint32_t(qtKey);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return XK_F1 + std::uint32_t(qtKey - Qt::Key_F1);
    const auto it = std::find_if(kQtNamedKeys.begin(), kQtNamedKeys.end(),
                                 [qtKey](const QtKeySymbol& e) { return e.qtKey == qtKey; });
    return it == kQtNamedKeys.end() ? 0 : it->keysym;
}

Layout assumedLayout()
{
    return QLocale::system().language() == QLocale::German ? Layout::German : Layout::US;
}

#if defined(TARV_HAVE_XKBCOMMON)
std::uint32_t levelOneKeysym(xkb_keymap* keymap, std::uint32_t keycode, std::uint32_t eventKeysym,
                             std::uint32_t preferredLayout)
{
    if (keymap == nullptr || keycode == 0 || eventKeysym == 0)
        return 0;
    const xkb_layout_index_t layouts = xkb_keymap_num_layouts_for_key(keymap, keycode);
    // Caps Lock may have changed the case of the event's symbol.
    const xkb_keysym_t wanted = xkb_keysym_to_lower(eventKeysym);
    const auto inLayout = [&](xkb_layout_index_t layout) -> std::uint32_t {
        const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap, keycode, layout);
        bool produces = false;
        for (xkb_level_index_t level = 0; level < levels && !produces; ++level) {
            const xkb_keysym_t* syms = nullptr;
            const int n = xkb_keymap_key_get_syms_by_level(keymap, keycode, layout, level, &syms);
            for (int k = 0; k < n && !produces; ++k)
                produces = xkb_keysym_to_lower(syms[k]) == wanted;
        }
        if (!produces)
            return 0;
        const xkb_keysym_t* syms = nullptr;
        return xkb_keymap_key_get_syms_by_level(keymap, keycode, layout, 0, &syms) > 0 ? syms[0] : 0;
    };
    if (preferredLayout < layouts) {
        if (const std::uint32_t sym = inLayout(preferredLayout))
            return sym;
    }
    for (xkb_layout_index_t layout = 0; layout < layouts; ++layout) {
        if (layout == preferredLayout)
            continue;
        if (const std::uint32_t sym = inLayout(layout))
            return sym;
    }
    return 0;
}
#endif

}  // namespace keycodes

namespace {

#if defined(TARV_HAVE_XKB_X11)
// The X server's keymap, read once and read again when an event's symbol shows that the layout
// changed since (at most once a second). UI thread only.
class X11Keymap {
public:
    ~X11Keymap()
    {
        if (fKeymap != nullptr)
            xkb_keymap_unref(fKeymap);
        if (fContext != nullptr)
            xkb_context_unref(fContext);
    }

    xkb_keymap* keymap(xcb_connection_t* connection)
    {
        if (fKeymap == nullptr && !fFailed)
            load(connection);
        return fKeymap;
    }

    // Reads the keymap again; false when that was done less than a second ago or failed.
    bool reload(xcb_connection_t* connection)
    {
        if (fFailed || (fLastLoad.isValid() && fLastLoad.elapsed() < 1000))
            return false;
        load(connection);
        return fKeymap != nullptr;
    }

private:
    void load(xcb_connection_t* connection)
    {
        fLastLoad.start();
        if (fContext == nullptr) {
            fContext = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
            if (fContext == nullptr
                || !xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION,
                                                XKB_X11_MIN_MINOR_XKB_VERSION,
                                                XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr,
                                                nullptr, nullptr)) {
                fFailed = true;
                return;
            }
        }
        const std::int32_t device = xkb_x11_get_core_keyboard_device_id(connection);
        xkb_keymap* fresh = device < 0 ? nullptr
                                       : xkb_x11_keymap_new_from_device(fContext, connection, device,
                                                                        XKB_KEYMAP_COMPILE_NO_FLAGS);
        if (fresh == nullptr) {
            fFailed = fKeymap == nullptr;
            return;
        }
        if (fKeymap != nullptr)
            xkb_keymap_unref(fKeymap);
        fKeymap = fresh;
    }

    xkb_context* fContext = nullptr;
    xkb_keymap* fKeymap = nullptr;
    bool fFailed = false;
    QElapsedTimer fLastLoad;
};

// The code through the X server's keymap; 0 when not on X11 or the key is not found there.
int x11KeyCode(const QKeyEvent& event, std::uint32_t eventKeysym)
{
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    if (x11 == nullptr || x11->connection() == nullptr)
        return 0;
    static X11Keymap cache;
    xcb_connection_t* connection = x11->connection();
    // The core event state carries the layout group in bits 13 and 14.
    const std::uint32_t group = (event.nativeModifiers() >> 13) & 3;
    std::uint32_t sym = keycodes::levelOneKeysym(cache.keymap(connection), event.nativeScanCode(),
                                                 eventKeysym, group);
    if (sym == 0 && cache.reload(connection))
        sym = keycodes::levelOneKeysym(cache.keymap(connection), event.nativeScanCode(), eventKeysym,
                                       group);
    return sym == 0 ? 0 : keycodes::fromKeysym(sym);
}
#endif

// The code from a symbol that may be shifted: keypad symbols keep their own code, shifted
// symbols are turned back by the assumed layout's table.
int codeFromEventSymbol(std::uint32_t keysym, bool shift)
{
    if (keycodes::isKeypadKeysym(keysym))
        return keycodes::fromKeysym(keysym);
    if (shift)
        keysym = keycodes::unshiftedKeysym(keysym, keycodes::assumedLayout());
    return keycodes::fromKeysym(keysym);
}

}  // namespace

int windowsKeyCode(const QKeyEvent& event)
{
#if defined(Q_OS_WIN)
    if (event.nativeVirtualKey() != 0)
        return int(event.nativeVirtualKey() & 0xffff);
#endif
    const bool shift = event.modifiers().testFlag(Qt::ShiftModifier);
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    // X11 and Wayland: the native virtual key is the event's keysym (0 for synthesized events).
    if (const std::uint32_t keysym = event.nativeVirtualKey(); keysym != 0) {
#if defined(TARV_HAVE_XKB_X11)
        if (!keycodes::isKeypadKeysym(keysym)) {   // keypad keys keep their own symbol
            if (const int code = x11KeyCode(event, keysym))
                return code;
        }
#endif
        return codeFromEventSymbol(keysym, shift);
    }
#endif
    std::uint32_t keysym = keycodes::keysymFromQtKey(event.key(), event.modifiers().testFlag(Qt::KeypadModifier));
    if (keysym == 0 && event.text().size() == 1 && event.text().at(0).unicode() >= 0x20
        && event.text().at(0).unicode() <= 0xff)
        keysym = event.text().at(0).unicode();
    return codeFromEventSymbol(keysym, shift);
}

}  // namespace tarv
