// The table of PC keys with their Windows codes, symbols and captions, and the lookups in it.
#include "VirtualKeys.h"

#include <algorithm>

namespace tarv::keycodes {
namespace {

// Besides the keys of the US and German layouts, named keys (Space, Return, arrows, the keypad
// ...) have rows too, so that a hand-edited key map may use them. German ^ and ´ are dead keys
// on most set-ups; their dead symbols belong to the same keys.
// clang-format off
constexpr auto PcKeys = std::to_array<Key>({
    {186, U'Ü', {';', 0xfc /* ü */, 0xdc /* Ü */}},                      // OEM 1
    {187, U'+', {'=', '+'}},                                             // OEM plus
    {188, U',', {','}},                                                  // OEM comma
    {189, U'-', {'-'}},                                                  // OEM minus
    {190, U'.', {'.'}},                                                  // OEM period
    {191, U'#', {'/', '#'}},                                             // OEM 2
    {192, U'Ö', {'`', 0xf6 /* ö */, 0xd6 /* Ö */, keysym::DeadGrave}},   // OEM 3
    {219, U'ß', {'[', 0xdf /* ß */}},                                    // OEM 4
    {220, U'^', {'\\', '^', keysym::DeadCircumflex}},                    // OEM 5
    {221, U'´', {']', 0xb4 /* ´ */, keysym::DeadAcute}},                 // OEM 6
    {222, U'Ä', {'\'', 0xe4 /* ä */, 0xc4 /* Ä */}},                     // OEM 7
    {226, U'<', {'<'}},                                                  // OEM 102, the German key left of Y
    {32, 0, {' '}},
    {8, 0, {keysym::BackSpace}},                                         // BackSpace
    {9, 0, {keysym::Tab, keysym::IsoLeftTab}},                           // Tab
    {13, 0, {keysym::Return, keysym::KeypadEnter}},                      // Return, KP_Enter
    {19, 0, {keysym::Pause}},                                            // Pause
    {145, 0, {keysym::ScrollLock}},                                      // Scroll_Lock
    {27, 0, {keysym::Escape}},                                           // Escape
    {36, 0, {keysym::Home, 0xff95}},                                     // Home, KP_Home
    {37, 0, {keysym::Left, 0xff96}},                                     // Left, KP_Left
    {38, 0, {keysym::Up, 0xff97}},                                       // Up, KP_Up
    {39, 0, {keysym::Right, 0xff98}},                                    // Right, KP_Right
    {40, 0, {keysym::Down, 0xff99}},                                     // Down, KP_Down
    {33, 0, {keysym::Prior, 0xff9a}},                                    // Prior (Page Up), KP_Prior
    {34, 0, {keysym::Next, 0xff9b}},                                     // Next (Page Down), KP_Next
    {35, 0, {keysym::End, 0xff9c}},                                      // End, KP_End
    {44, 0, {keysym::Print}},                                            // Print
    {45, 0, {keysym::Insert, 0xff9e}},                                   // Insert, KP_Insert
    {46, 0, {keysym::Delete, 0xff9f}},                                   // Delete, KP_Delete
    {93, 0, {keysym::Menu}},                                             // Menu
    {144, 0, {keysym::NumLock}},                                         // Num_Lock
    {16, 0, {keysym::ShiftL, 0xffe2}},                                   // Shift_L, Shift_R
    {17, 0, {keysym::ControlL, 0xffe4}},                                 // Control_L, Control_R
    {20, 0, {keysym::CapsLock}},                                         // Caps_Lock
    {18, 0, {keysym::AltL, 0xffea, keysym::IsoLevel3Shift}},             // Alt_L, Alt_R, AltGr
    {91, 0, {keysym::SuperL}},                                           // Super_L
    {92, 0, {0xffec}},                                                   // Super_R
    {12, 0, {keysym::KeypadBegin}},                                      // KP_Begin (Clear)
    {106, 0, {keysym::KeypadMultiply}},                                  // KP_Multiply
    {107, 0, {keysym::KeypadAdd}},                                       // KP_Add
    {108, 0, {0xffac}},                                                  // KP_Separator
    {109, 0, {keysym::KeypadSubtract}},                                  // KP_Subtract
    {110, 0, {keysym::KeypadDecimal}},                                   // KP_Decimal
    {111, 0, {keysym::KeypadDivide}},                                    // KP_Divide
});
// clang-format on

struct ShiftPair {
    std::uint32_t shifted;
    std::uint32_t unshifted;
};

// clang-format off
constexpr auto UsShifted = std::to_array<ShiftPair>({
    {'!', '1'}, {'@', '2'}, {'#', '3'}, {'$', '4'}, {'%', '5'}, {'^', '6'}, {'&', '7'},
    {'*', '8'}, {'(', '9'}, {')', '0'}, {'_', '-'}, {'+', '='}, {'{', '['}, {'}', ']'},
    {'|', '\\'}, {':', ';'}, {'"', '\''}, {'<', ','}, {'>', '.'}, {'?', '/'}, {'~', '`'},
});
// clang-format on

// clang-format off
constexpr auto GermanShifted = std::to_array<ShiftPair>({
    {'!', '1'}, {'"', '2'}, {0xa7 /* § */, '3'}, {'$', '4'}, {'%', '5'}, {'&', '6'},
    {'/', '7'}, {'(', '8'}, {')', '9'}, {'=', '0'}, {'?', 0xdf /* ß */},
    {0xb0 /* ° */, '^'}, {keysym::DeadGrave, keysym::DeadAcute}, {'`', 0xb4 /* ´ */},
    {'*', '+'}, {'\'', '#'}, {';', ','}, {':', '.'}, {'_', '-'}, {'>', '<'},
});
// clang-format on

bool isLetterOrDigitCode(int code)
{
    return (code >= '0' && code <= '9') || (code >= 'A' && code <= 'Z');
}

}   // namespace

std::span<const Key> virtualKeys()
{
    return PcKeys;
}

int fromKeysym(std::uint32_t symbol)
{
    if (symbol >= 'a' && symbol <= 'z')
        return int(symbol - 'a' + 'A');
    if (isLetterOrDigitCode(int(symbol)))
        return int(symbol);
    if (symbol >= keysym::F1 && symbol <= keysym::F24)
        return int(112 + (symbol - keysym::F1));
    if (symbol >= keysym::Keypad0 && symbol <= keysym::Keypad0 + 9)
        return int(96 + (symbol - keysym::Keypad0));
    if (symbol == 0)
        return 0;
    const auto it = std::find_if(PcKeys.begin(), PcKeys.end(), [symbol](const Key& key) {
        return std::find(key.symbols.begin(), key.symbols.end(), symbol) != key.symbols.end();
    });
    return it == PcKeys.end() ? 0 : it->code;
}

std::uint32_t unshiftedKeysym(std::uint32_t shifted, Layout layout)
{
    const auto lookup = [shifted](const auto& table) {
        const auto it =
            std::find_if(table.begin(), table.end(), [shifted](const ShiftPair& e) { return e.shifted == shifted; });
        return it == table.end() ? shifted : it->unshifted;
    };
    return layout == Layout::German ? lookup(GermanShifted) : lookup(UsShifted);
}

bool isKeypadKeysym(std::uint32_t symbol)
{
    return symbol >= keysym::KeypadFirst && symbol <= keysym::KeypadLast;
}

char32_t caption(int code)
{
    if (isLetterOrDigitCode(code))
        return char32_t(code);
    const auto it = std::find_if(PcKeys.begin(), PcKeys.end(), [code](const Key& key) { return key.code == code; });
    return it == PcKeys.end() ? 0 : it->caption;
}

}   // namespace tarv::keycodes
