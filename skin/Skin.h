// The built-in skin: style sheet, colours, pointers, tab stops, pictures and the hint window.
#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

#include <array>
#include <chrono>

class QApplication;
class QWidget;

namespace tarv::skin {

// Roles pick the named looks of the style sheet; a widget carries its role in the dynamic
// property "skinRole" (set it with setRole, which also re-polishes a widget already shown, or in
// a form, which prepareControls completes).
namespace role {
inline constexpr const char* LabelYellow = "label-yellow";     // yellow label text (lblKanal, lblC5, ...)
inline constexpr const char* ModeList = "mode-list";           // olive drop-down list with yellow text
inline constexpr const char* ButtonSilver = "button-silver";   // silver button face, black text
inline constexpr const char* Panel = "panel";                  // raised strip panel
inline constexpr const char* Inset = "inset";                  // sunken well (keyboard viewport)
inline constexpr const char* Cover = "cover";                  // sliding cover over a control strip
inline constexpr const char* OctaveLabel = "octave-label";     // small label under the drawn keyboard
inline constexpr const char* LightList = "light-list";         // light list with black names (the pickers)
inline constexpr const char* CheckList = "check-list";         // grey check list (port dialog)
inline constexpr const char* NotePaper = "note-paper";         // light memo in a small proportional font
}   // namespace role

void setRole(QWidget* widget, const char* role);

// The skin's colours; the style sheet refers to them by name (@window, @yellow, ...).
namespace colour {
inline const QColor Window{0x33, 0x33, 0x33};
inline const QColor Panel{0x2a, 0x2a, 0x2a};
inline const QColor PanelLight{0x4a, 0x4a, 0x4a};   // bevel, lit edge
inline const QColor PanelDark{0x14, 0x14, 0x14};    // bevel, shaded edge
inline const QColor Text{0xe8, 0xe8, 0xe8};
inline const QColor TextDisabled{0x7a, 0x7a, 0x7a};
inline const QColor Yellow{0xf5, 0xc8, 0x1e};
inline const QColor Olive{0x6b, 0x6b, 0x12};
inline const QColor Silver{0xc8, 0xc8, 0xc8};
inline const QColor ButtonTop{0x55, 0x55, 0x55};
inline const QColor ButtonBottom{0x36, 0x36, 0x36};
inline const QColor Groove{0x0e, 0x0e, 0x0e};
inline const QColor HintBackground{0x1c, 0x1c, 0x1c};
inline const QColor Cover{0x2e, 0x2e, 0x2e};       // the covers' face
inline const QColor CoverHole{0x16, 0x16, 0x16};   // the holes of their grille
}   // namespace colour

// Sets the skin's style (Fusion underneath), palette, font, style sheet (skin/tarv.qss) and
// hint window on the application. Call once after the QApplication exists and before windows
// are shown. The window icon is not part of it: the program sets appIcon() once its window
// shows, as the first picture does not need it.
void apply(QApplication& app);
// The style sheet with the colour names replaced, as apply() sets it.
QString styleSheet();

// The hand pointer of active controls.
void setHandCursor(QWidget* widget);
// Takes the widget out of tab-key focus moves; clicks keep working. Buttons, labels and panels
// take no focus at all; sliders, spin edits and lists still take it on a click.
void noTabStop(QWidget* widget);
// For a whole window: hand pointer on every button, slider, spin edit, drop-down list, slide
// switch and link panel below `root`, and no tab stop on anything except the slide switches.
// A widget whose role a Qt Designer form set (the bare "skinRole" property) gets its role's look.
void prepareControls(QWidget* root);

// A 4 x 4 tile of the covers' grille: the cover's face with two holes.
QPixmap grillePicture();
// A 30 x 30 picture of a five-pin DIN MIDI connector.
QPixmap midiConnectorPicture();
// A 192 x 46 picture of the 24 PC keys of a key map (Windows virtual-key codes, the order of
// the "keyboard" settings: leftC .. leftB, rightC .. rightB) in their keyboard rows.
QPixmap pcKeysPicture(const std::array<int, 24>& keyCodes);
// The character printed on a PC key for a Windows virtual-key code ("Q", "7", ",", "Ö", ...);
// an empty string for codes without one.
QString keyCaption(int virtualKey);
// The program's icon (the MIDI connector), rendered at the first call.
QIcon appIcon();

// The hint window. installHintWindow replaces Qt's tooltip handling for the whole application:
// a widget's hint is its toolTip(); lines are separated by CR LF; the window is at most
// hintMaxWidth pixels wide, word-wrapped, and hides after hintHideTimeout or when the pointer
// leaves the control.
void installHintWindow(QApplication& app);
inline constexpr int hintMaxWidth = 250;
void setHintHideTimeout(std::chrono::milliseconds timeout);   // 10 s unless changed
std::chrono::milliseconds hintHideTimeout();

// ShowHint / ParentShowHint. A widget with ParentShowHint on (the default) shows hints when its
// parent chain does; setShowHint gives a widget its own value and turns its ParentShowHint off,
// setParentShowHint(widget, true) makes it inherit again. A window that inherits from nothing
// shows hints unless setShowHint(window, false) was called.
void setShowHint(QWidget* widget, bool show);
void setParentShowHint(QWidget* widget, bool inherit);
bool showHint(const QWidget* widget);   // the widget's own value
bool parentShowHint(const QWidget* widget);
bool effectiveShowHint(const QWidget* widget);

// The hint window while it is visible, else nullptr; and the text it shows (lines split by \n).
QWidget* currentHintWindow();
QString currentHintText();
// Shows the hint of `widget` (or of its nearest ancestor with a hint) as if the pointer rested
// on it at the global position; returns whether a hint window is now visible.
bool showHintFor(QWidget* widget, const QPoint& globalPos);
// Shows `text` in the hint window at the global position for `duration`, with hints on or off: a
// notice that needs no click. Keys and clicks leave it; the hint of a control replaces it.
void showHintNotice(const QString& text, const QPoint& globalPos, std::chrono::milliseconds duration);
void hideHint();

}   // namespace tarv::skin
