// Windows virtual-key codes for PC key events: the codes the settings file stores for the PC key map.
#pragma once

#include "keycodes/VirtualKeys.h"

#include <cstdint>

class QKeyEvent;

#if defined(TARV_HAVE_XKBCOMMON)
struct xkb_keymap;
#endif

namespace tarv::keycodes {

// The Windows virtual-key code of the key that raised the event, independent of Shift: the code
// Windows gives for the same key on the active layout (letters and digits: their upper-case ASCII
// code; punctuation: its OEM code). 0 for a key that has no code in the key table.
// Runs on the UI thread.
int windowsKeyCode(const QKeyEvent& event);

// The X keysym for a Qt key code, for events that carry no native data (synthesized ones);
// `keypad` picks the keypad symbols for digits and operators. 0 when unknown.
std::uint32_t keysymFromQtKey(int qtKey, bool keypad);

// The layout assumed for shifted symbols when the active one cannot be read: German for a German
// system locale, US otherwise.
Layout assumedLayout();

#if defined(TARV_HAVE_XKBCOMMON)
// The symbol on the first shift level of the key `keycode` in the layout (group) that produced
// `eventKeysym`, trying `preferredLayout` first; 0 when no layout of the key produces it.
std::uint32_t levelOneKeysym(xkb_keymap* keymap, std::uint32_t keycode, std::uint32_t eventKeysym,
                             std::uint32_t preferredLayout);
#endif

}   // namespace tarv::keycodes
