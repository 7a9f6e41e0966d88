// Windows virtual-key codes for PC key events, on every platform. A code names a key by the
// symbol it carries without Shift on the active layout (the table of virtual keys, keycodes/VirtualKeys.h), so
// the code of a key event comes from its symbol, never from its physical position:
//   Windows   the event's native virtual key, which is exactly that code.
//   X11       the symbol on the first shift level of the event's key code in the layout group that
//             produced the event, read from the X server's keymap through xkbcommon-x11.
//   Wayland   (and X11 without that keymap) the event's keysym; with Shift held, a shifted symbol
//             is turned back into its unshifted one by the table of the assumed layout.
//   otherwise (synthesized events, macOS) Qt's key code and text, the same way.
#include "KeyCodes.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLocale>

#include <algorithm>
#include <array>
#include <memory>
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

struct QtKeySymbol {
    int qtKey;
    std::uint32_t keysym;
};

// clang-format off
constexpr auto QtNamedKeys = std::to_array<QtKeySymbol>({
    {Qt::Key_Escape, keysym::Escape}, {Qt::Key_Tab, keysym::Tab}, {Qt::Key_Backtab, keysym::IsoLeftTab},
    {Qt::Key_Backspace, keysym::BackSpace}, {Qt::Key_Return, keysym::Return}, {Qt::Key_Enter, keysym::KeypadEnter},
    {Qt::Key_Insert, keysym::Insert}, {Qt::Key_Delete, keysym::Delete}, {Qt::Key_Pause, keysym::Pause},
    {Qt::Key_Print, keysym::Print}, {Qt::Key_Home, keysym::Home}, {Qt::Key_End, keysym::End},
    {Qt::Key_Left, keysym::Left}, {Qt::Key_Up, keysym::Up}, {Qt::Key_Right, keysym::Right}, {Qt::Key_Down, keysym::Down},
    {Qt::Key_PageUp, keysym::Prior}, {Qt::Key_PageDown, keysym::Next}, {Qt::Key_Shift, keysym::ShiftL},
    {Qt::Key_Control, keysym::ControlL}, {Qt::Key_Meta, keysym::SuperL}, {Qt::Key_Alt, keysym::AltL},
    {Qt::Key_AltGr, keysym::IsoLevel3Shift}, {Qt::Key_CapsLock, keysym::CapsLock}, {Qt::Key_NumLock, keysym::NumLock},
    {Qt::Key_ScrollLock, keysym::ScrollLock}, {Qt::Key_Menu, keysym::Menu}, {Qt::Key_Clear, keysym::KeypadBegin},
    {Qt::Key_Dead_Grave, keysym::DeadGrave}, {Qt::Key_Dead_Acute, keysym::DeadAcute},
    {Qt::Key_Dead_Circumflex, keysym::DeadCircumflex},
});
// clang-format on

}   // namespace

std::uint32_t keysymFromQtKey(int qtKey, bool keypad)
{
    if (keypad) {
        if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
            return keysym::Keypad0 + std::uint32_t(qtKey - Qt::Key_0);
        switch (qtKey) {
        case Qt::Key_Asterisk:
            return keysym::KeypadMultiply;
        case Qt::Key_Plus:
            return keysym::KeypadAdd;
        case Qt::Key_Minus:
            return keysym::KeypadSubtract;
        case Qt::Key_Period:
        case Qt::Key_Comma:
            return keysym::KeypadDecimal;
        case Qt::Key_Slash:
            return keysym::KeypadDivide;
        default:
            break;   // the navigation keys of the keypad map like the others
        }
    }
    // Qt's codes of the printable Latin-1 keys are their (upper-case) code points, like the keysyms.
    if (qtKey >= 0x20 && qtKey <= 0xff)
        return std::uint32_t(qtKey);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return keysym::F1 + std::uint32_t(qtKey - Qt::Key_F1);
    const auto it = std::find_if(QtNamedKeys.begin(), QtNamedKeys.end(),
                                 [qtKey](const QtKeySymbol& e) { return e.qtKey == qtKey; });
    return it == QtNamedKeys.end() ? 0 : it->keysym;
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

namespace {

#if defined(TARV_HAVE_XKB_X11)
// The X server's keymap, read once and read again when an event's symbol shows that the layout
// changed since (at most once a second). UI thread only.
class X11Keymap {
public:
    xkb_keymap* keymap(xcb_connection_t* connection)
    {
        if (fKeymap == nullptr && !fFailed)
            load(connection);
        return fKeymap.get();
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
            fContext.reset(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
            if (fContext == nullptr
                || !xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION,
                                                XKB_X11_MIN_MINOR_XKB_VERSION, XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS,
                                                nullptr, nullptr, nullptr, nullptr)) {
                fFailed = true;
                return;
            }
        }
        const std::int32_t device = xkb_x11_get_core_keyboard_device_id(connection);
        KeymapPtr fresh(device < 0 ? nullptr
                                   : xkb_x11_keymap_new_from_device(fContext.get(), connection, device,
                                                                    XKB_KEYMAP_COMPILE_NO_FLAGS));
        if (fresh == nullptr) {
            fFailed = fKeymap == nullptr;
            return;
        }
        fKeymap = std::move(fresh);
    }

    struct Unref {
        void operator()(xkb_context* context) const { xkb_context_unref(context); }
        void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
    };
    using KeymapPtr = std::unique_ptr<xkb_keymap, Unref>;

    std::unique_ptr<xkb_context, Unref> fContext;
    KeymapPtr fKeymap;   // compiled in fContext, goes before it
    bool fFailed = false;
    QElapsedTimer fLastLoad;
};

// The code through the X server's keymap; 0 when not on X11 or the key is not found there.
int x11KeyCode(const QKeyEvent& event, std::uint32_t eventKeysym)
{
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (x11 == nullptr || x11->connection() == nullptr)
        return 0;
    static X11Keymap cache;
    xcb_connection_t* connection = x11->connection();
    // The core event state carries the layout group in bits 13 and 14.
    const std::uint32_t group = (event.nativeModifiers() >> 13) & 3;
    std::uint32_t sym = keycodes::levelOneKeysym(cache.keymap(connection), event.nativeScanCode(), eventKeysym, group);
    if (sym == 0 && cache.reload(connection))
        sym = keycodes::levelOneKeysym(cache.keymap(connection), event.nativeScanCode(), eventKeysym, group);
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

}   // namespace

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

}   // namespace keycodes
}   // namespace tarv
