// VirtualKeys: the Windows virtual-key codes of PC keys, the symbols each key carries and its caption.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace tarv::keycodes {

// The PC key map stores Windows virtual-key codes, and they name a key by the symbol it carries
// without Shift on the active layout: the key that types "z" is 90 on a German keyboard, where
// it sits at the place of the US "y"; the key left of the right Shift key is 189 (OEM minus,
// "-") on a German keyboard and 191 (OEM 2, "/") on a US one. Symbols are X keysyms: the
// Latin-1 characters are their own code points.
//
// Letters, digits, F keys and keypad digits follow a rule instead of rows of the table:
//   A..Z, a..z   65..90 (upper-case ASCII), captioned with the upper-case letter
//   0..9         48..57, captioned with the digit
//   F1..F24      112..135;  keypad 0..9  96..105 (no caption)
// Every other key with a code is one row of virtualKeys(). Plain C++, any thread.
struct Key {
    int code;                               // Windows virtual-key code
    char32_t caption;                       // printed on the key of a German keyboard; 0: none
    std::array<std::uint32_t, 4> symbols;   // its symbols without Shift (US, German); 0: unused
};
std::span<const Key> virtualKeys();

// The layouts whose shifted symbols the tables know.
enum class Layout : std::uint8_t { US, German };

// X keysyms that are not Latin-1 code points and that the key code translation names; the
// table of virtual keys and the translation of Qt's key codes both name them from here.
namespace keysym {
inline constexpr std::uint32_t BackSpace = 0xff08;
inline constexpr std::uint32_t Tab = 0xff09;
inline constexpr std::uint32_t Return = 0xff0d;
inline constexpr std::uint32_t Pause = 0xff13;
inline constexpr std::uint32_t ScrollLock = 0xff14;
inline constexpr std::uint32_t Escape = 0xff1b;
inline constexpr std::uint32_t Home = 0xff50;
inline constexpr std::uint32_t Left = 0xff51;
inline constexpr std::uint32_t Up = 0xff52;
inline constexpr std::uint32_t Right = 0xff53;
inline constexpr std::uint32_t Down = 0xff54;
inline constexpr std::uint32_t Prior = 0xff55;
inline constexpr std::uint32_t Next = 0xff56;
inline constexpr std::uint32_t End = 0xff57;
inline constexpr std::uint32_t Print = 0xff61;
inline constexpr std::uint32_t Insert = 0xff63;
inline constexpr std::uint32_t Menu = 0xff67;
inline constexpr std::uint32_t NumLock = 0xff7f;
inline constexpr std::uint32_t KeypadEnter = 0xff8d;
inline constexpr std::uint32_t KeypadBegin = 0xff9d;
inline constexpr std::uint32_t KeypadMultiply = 0xffaa;
inline constexpr std::uint32_t KeypadAdd = 0xffab;
inline constexpr std::uint32_t KeypadSubtract = 0xffad;
inline constexpr std::uint32_t KeypadDecimal = 0xffae;
inline constexpr std::uint32_t KeypadDivide = 0xffaf;
inline constexpr std::uint32_t ShiftL = 0xffe1;
inline constexpr std::uint32_t ControlL = 0xffe3;
inline constexpr std::uint32_t CapsLock = 0xffe5;
inline constexpr std::uint32_t AltL = 0xffe9;
inline constexpr std::uint32_t SuperL = 0xffeb;
inline constexpr std::uint32_t Delete = 0xffff;
inline constexpr std::uint32_t IsoLevel3Shift = 0xfe03;   // AltGr
inline constexpr std::uint32_t IsoLeftTab = 0xfe20;
inline constexpr std::uint32_t DeadGrave = 0xfe50;
inline constexpr std::uint32_t DeadAcute = 0xfe51;
inline constexpr std::uint32_t DeadCircumflex = 0xfe52;
inline constexpr std::uint32_t KeypadFirst = 0xff80;   // KP_Space
inline constexpr std::uint32_t KeypadLast = 0xffbd;    // KP_Equal
inline constexpr std::uint32_t Keypad0 = 0xffb0;
inline constexpr std::uint32_t F1 = 0xffbe;
inline constexpr std::uint32_t F24 = 0xffd5;
}   // namespace keysym

// Virtual-key code of a key given by its unshifted symbol ('q' and 'Q' are both 81); 0 when the
// symbol belongs to no key of the table.
int fromKeysym(std::uint32_t keysym);

// The unshifted symbol of the key that gives `shifted` together with Shift on `layout`; the
// symbol itself when it is no shifted symbol there (letters keep their case: fromKeysym takes both).
std::uint32_t unshiftedKeysym(std::uint32_t shifted, Layout layout);

// Keypad symbols keep their own codes (the keypad minus is 109, not 189).
bool isKeypadKeysym(std::uint32_t keysym);

// The character printed on the key of a German keyboard ('Q', '7', ',', U'Ö', ...); 0 for a
// code without one (named keys, the keypad, codes of no key).
char32_t caption(int code);

}   // namespace tarv::keycodes
