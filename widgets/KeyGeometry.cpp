// The note <-> pixel arithmetic of the drawn keyboard.
#include "KeyGeometry.h"

#include <algorithm>

namespace KeyGeometry {

namespace {

// Floor division, so that positions left of the first C still index the key tables
// with 0..6; for a >= 0 it equals the truncating division the layout is defined with.
int floorDiv(int a, int b)
{
    const int q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

// Widths beyond this cannot show a single key on any screen; the cap keeps the
// products below (octave * 7 * width) inside an int.
constexpr int MaxNoteWidth = 1 << 20;

}   // namespace

TKeyMetrics GetKeyMetrics(TKeyboardOrientation orientation, int width, int height, int noteWidth)
{
    TKeyMetrics m;
    m.orientation = orientation;
    m.width = std::max(width, 0);
    m.height = std::max(height, 0);
    const bool horizontal = orientation == TKeyboardOrientation::kbHorizontal;
    m.L = horizontal ? m.width : m.height;
    m.D = horizontal ? m.height : m.width;
    m.NW = std::clamp(noteWidth, 1, MaxNoteWidth);
    m.BL = (m.D * 3) / 5;
    m.BW = (m.NW * 3) / 5;
    if (m.BW % 2 == 0)
        ++m.BW;
    m.HB = m.BW / 2;
    return m;
}

void DecodeNote(int note, int& octave, int& key, bool& sharp)
{
    octave = note / 12;
    const int s = note % 12;
    const int t = s < 5 ? s : s + 1;
    key = t / 2;
    sharp = (t % 2) != 0;
}

int NoteAt(const TKeyMetrics& m, int baseOctave, bool velocityMode, int x, int y, int& velocity)
{
    const bool horizontal = m.orientation == TKeyboardOrientation::kbHorizontal;
    const int a = horizontal ? x : m.L - 1 - y;
    const int c = horizontal ? y : x;

    const int k = floorDiv(a, m.NW);
    const int p = a - k * m.NW;
    const int o = floorDiv(k, 7);
    int w = k - 7 * o;
    const int prev = w == 0 ? 6 : w - 1;
    bool black = false;
    if (c < m.BL) {
        if (p >= m.NW - m.HB + BlackKeyOffset[w]) {
            black = HasBlackAfter(w);
        } else if (p < m.HB + 1 + BlackKeyOffset[prev] && HasBlackAfter(prev)) {
            black = true;
            w = prev;
        }
    }

    int s = w < 3 ? 2 * w : 2 * w - 1;
    if (black)
        ++s;

    if (velocityMode) {
        const int depth = black ? m.BL : m.D;
        velocity = depth > 0 ? static_cast<int>((static_cast<long long>(c) * 127) / depth) : 0;
    } else {
        velocity = 127;
    }
    return 12 * (o + baseOctave) + s;
}

QRect ToWidget(const TKeyMetrics& m, int a, int c, int along, int across)
{
    if (m.orientation == TKeyboardOrientation::kbHorizontal)
        return QRect(a, c, along, across);
    return QRect(c, m.L - a - along, across, along);
}

int FaceRects(const TKeyMetrics& m, int baseOctave, int note, QRect rects[2])
{
    const long long r = static_cast<long long>(note) - 12LL * baseOctave;
    // Before the first C drawn, or beyond the far end of the keyboard: nothing to draw.
    if (r < 0 || (r / 12) * 7 * m.NW >= m.L)
        return 0;
    int o = 0, w = 0;
    bool sharp = false;
    DecodeNote(static_cast<int>(r), o, w, sharp);

    const int NW = m.NW, HB = m.HB, BW = m.BW, BL = m.BL, D = m.D;
    const int xw = (7 * o + w) * NW;   // first column of white key w (for a sharp: of the key below it)
    const int prev = w == 0 ? 6 : w - 1;
    const int bxR = xw + NW - HB + BlackKeyOffset[w];   // first column of the black key after w
    const int bxL = xw - HB + BlackKeyOffset[prev];     // first column of the black key before w

    struct Part {
        int a, c, along, across;
    };
    Part parts[2];
    int count = 0;
    if (sharp) {
        parts[count++] = {bxR + 1, 1, BW - 2, BL - 2};
    } else {
        parts[count++] = {xw + 2, BL + 1, NW - 3, D - BL - 3};
        switch (w) {
        case 0:
        case 3:   // C, F: from the boundary line to the black key after them
            parts[count++] = {xw + 2, 2, bxR - xw - 3, BL - 1};
            break;
        case 1:
        case 4:
        case 5:   // D, G, A: between two black keys
            parts[count++] = {bxL + BW + 1, 2, bxR - bxL - BW - 2, BL - 1};
            break;
        default:   // E, B: from the black key before them to the boundary line
            parts[count++] = {bxL + BW + 1, 2, xw + NW - bxL - BW - 2, BL - 1};
            break;
        }
    }

    const QRect widget(0, 0, m.width, m.height);
    int n = 0;
    for (int i = 0; i < count; ++i) {
        const Part& part = parts[i];
        if (part.along <= 0 || part.across <= 0)
            continue;
        const QRect clipped = ToWidget(m, part.a, part.c, part.along, part.across).intersected(widget);
        if (!clipped.isEmpty())
            rects[n++] = clipped;
    }
    return n;
}

QRect FaceBounds(const TKeyMetrics& m, int baseOctave, int note)
{
    QRect rects[2];
    const int n = FaceRects(m, baseOctave, note, rects);
    QRect bounds;
    for (int i = 0; i < n; ++i)
        bounds |= rects[i];
    return bounds;
}

}   // namespace KeyGeometry
