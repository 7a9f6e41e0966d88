// The note <-> pixel arithmetic of the drawn keyboard, as plain functions without a window.
#pragma once

#include <QRect>

#include <cstdint>

enum class TKeyboardOrientation : std::uint8_t { kbHorizontal = 0, kbVertical = 1 };

// Metrics of a keyboard of a given size, in pixels. Positions along the keyboard are
// called a, positions across it c: horizontally a = x and c = y (black keys hang from
// the top edge); vertically a = L - 1 - y and c = x (low notes at the bottom, black keys
// on the left), so the vertical picture is the horizontal one turned a quarter.
struct TKeyMetrics {
    TKeyboardOrientation orientation = TKeyboardOrientation::kbHorizontal;
    int width = 0;    // of the widget
    int height = 0;   // of the widget
    int L = 0;        // length along the keyboard
    int D = 0;        // depth across it (length of a white key)
    int BL = 0;       // black key length, (D * 3) / 5
    int BW = 1;       // black key width, always odd
    int HB = 0;       // BW / 2, so that a black key can sit centred on a boundary line
    int NW = 1;       // white key width (NoteWidth, at least 1)
};

namespace KeyGeometry {

// Moves the black key that follows white key w (C, D, E, F, G, A, B) off the boundary
// line, in pixels along the keyboard; E and B have no black key after them.
inline constexpr int BlackKeyOffset[7] = {-1, +1, 0, -1, 0, +1, 0};

// True for the white keys followed by a black key (C, D, F, G, A).
constexpr bool HasBlackAfter(int w)
{
    return w == 0 || w == 1 || w == 3 || w == 4 || w == 5;
}

// A NoteWidth below 1 counts as 1.
TKeyMetrics GetKeyMetrics(TKeyboardOrientation orientation, int width, int height, int noteWidth);

// Splits a note (>= 0) into its octave, its white key index 0..6 and the sharp flag:
// C# decodes as key 0 with sharp set, F as key 3 without.
void DecodeNote(int note, int& octave, int& key, bool& sharp);

// The note under pixel (x, y) and the velocity for it: 0 at the far end of the key,
// growing toward its front end; 127 when velocityMode is off. The note is not limited
// to 0..127.
int NoteAt(const TKeyMetrics& m, int baseOctave, bool velocityMode, int x, int y, int& velocity);

// The rectangle (along start, across start, along extent, across extent) in widget
// coordinates; not clipped.
QRect ToWidget(const TKeyMetrics& m, int a, int c, int along, int across);

// The rectangles that make up the face of the note's key, in widget coordinates and
// clipped to the widget: the interior of a black key inside its outline; for a white
// key the lower part and the part between the black keys, one pixel inside the lines
// around them. Returns how many were written to `rects` (0 when the key is not drawn,
// e.g. a note below the first C).
int FaceRects(const TKeyMetrics& m, int baseOctave, int note, QRect rects[2]);

// The bounding rectangle of FaceRects; empty when the key is not drawn.
QRect FaceBounds(const TKeyMetrics& m, int baseOctave, int note);

}   // namespace KeyGeometry
