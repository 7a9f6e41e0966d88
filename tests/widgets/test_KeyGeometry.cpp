// Note <-> pixel arithmetic of the keyboard, without a window.
#include "widgets/KeyGeometry.h"

#include <gtest/gtest.h>

using KeyGeometry::GetKeyMetrics;
using KeyGeometry::NoteAt;

namespace {

constexpr auto H = TKeyboardOrientation::kbHorizontal;
constexpr auto V = TKeyboardOrientation::kbVertical;

struct HitCase {
    TKeyboardOrientation orientation;
    int width, height, noteWidth, baseOctave;
    int x, y;
    int note;
    int velocity;   // -1: not checked
};

}   // namespace

TEST(KeyGeometry, NoteAndVelocityUnderThePointer)
{
    // clang-format off
    const HitCase cases[] = {
        {H, 200, 50, 10, 3, 0, 0, 36, 0},
        {H, 200, 50, 10, 3, 199, 49, 69, 124},
        {H, 1260, 107, 18, 0, 12, 10, 1, 19},
        {H, 1260, 107, 18, 0, 11, 10, 0, 11},
        {H, 1260, 107, 18, 0, 22, 10, 1, -1},
        {H, 1260, 107, 18, 0, 23, 10, 2, -1},
        {H, 1260, 107, 18, 0, 20, 63, 1, 125},
        {H, 1260, 107, 18, 0, 20, 64, 2, 75},
        {H, 1260, 107, 18, 0, 630, 50, 60, 59},
        {H, 1260, 107, 18, 0, 1259, 5, 119, -1},
        {V, 50, 200, 10, 3, 49, 199, 36, 124},
        {V, 50, 200, 10, 3, 49, 0, 69, 124},
        {V, 50, 200, 10, 3, 5, 190, 37, 21},
    };
    // clang-format on
    for (const HitCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " at " << c.x << "," << c.y);
        const TKeyMetrics m = GetKeyMetrics(c.orientation, c.width, c.height, c.noteWidth);
        int velocity = -2;
        EXPECT_EQ(NoteAt(m, c.baseOctave, true, c.x, c.y, velocity), c.note);
        if (c.velocity >= 0) {
            EXPECT_EQ(velocity, c.velocity);
        }
        EXPECT_EQ(NoteAt(m, c.baseOctave, false, c.x, c.y, velocity), c.note);
        EXPECT_EQ(velocity, 127);
    }
}

// C# 12..22, D# 32..42, F# 66..76, G# 85..95, A# 104..114, every 126 pixels, rows 0..63.
TEST(KeyGeometry, BlackKeyColumnsOfTheMainKeyboard)
{
    const TKeyMetrics m = GetKeyMetrics(H, 1260, 107, 18);
    const struct {
        int first, last, semitone;
    } blacks[] = {{12, 22, 1}, {32, 42, 3}, {66, 76, 6}, {85, 95, 8}, {104, 114, 10}};
    const int whiteSemitone[7] = {0, 2, 4, 5, 7, 9, 11};
    const auto isBlack = [](int note) {
        const int s = note % 12;
        return s == 1 || s == 3 || s == 6 || s == 8 || s == 10;
    };
    for (int octave = 0; octave < 10; ++octave) {
        int expected[126];
        for (int x = 0; x < 126; ++x)
            expected[x] = -1;
        for (const auto& b : blacks)
            for (int x = b.first; x <= b.last; ++x)
                expected[x] = 12 * octave + b.semitone;
        for (int x = 0; x < 126; ++x) {
            int v = 0;
            const int px = 126 * octave + x;
            const int top = NoteAt(m, 0, true, px, 0, v);
            const int bottom = NoteAt(m, 0, true, px, 63, v);
            const int below = NoteAt(m, 0, true, px, 64, v);
            if (expected[x] >= 0) {
                EXPECT_EQ(top, expected[x]) << "column " << px;
                EXPECT_EQ(bottom, expected[x]) << "column " << px;
            } else {
                EXPECT_FALSE(isBlack(top)) << "column " << px;
            }
            EXPECT_EQ(below, 12 * octave + whiteSemitone[x / 18]) << "column " << px;
        }
    }
}

TEST(KeyGeometry, DegenerateSizesNeitherDivideByZeroNorIndexOutside)
{
    const TKeyMetrics narrow = GetKeyMetrics(H, 200, 50, 0);
    EXPECT_EQ(narrow.NW, 1);
    int v = -1;
    EXPECT_EQ(NoteAt(narrow, 0, true, 0, 49, v), 0);
    EXPECT_EQ(NoteAt(narrow, 0, true, 7, 49, v), 12);

    const TKeyMetrics flat = GetKeyMetrics(H, 200, 0, 10);
    EXPECT_EQ(NoteAt(flat, 3, true, 5, 0, v), 36);
    EXPECT_EQ(v, 0);

    // Left of the first C: the key below it, not a read outside the offset table.
    const TKeyMetrics m = GetKeyMetrics(H, 1260, 107, 18);
    EXPECT_EQ(NoteAt(m, 1, true, -1, 90, v), 11);
}

TEST(KeyGeometry, FacesOfMarkedKeys)
{
    const TKeyMetrics m = GetKeyMetrics(H, 1260, 107, 18);
    QRect r[2];
    ASSERT_EQ(KeyGeometry::FaceRects(m, 0, 1, r), 1);
    EXPECT_EQ(r[0], QRect(13, 1, 9, 62));   // inside the outline of C# (12..22, 0..63)
    ASSERT_EQ(KeyGeometry::FaceRects(m, 0, 0, r), 2);
    EXPECT_EQ(r[0], QRect(2, 65, 15, 40));               // lower part, rows BL + 1 .. D - 3
    EXPECT_EQ(r[1], QRect(2, 2, 9, 63));                 // C up to the black key, rows 2 .. BL
    EXPECT_EQ(KeyGeometry::FaceRects(m, 1, 11, r), 0);   // below the first C
    // B9 is cut off where the widget ends; its part right of A# lies wholly beyond.
    const TKeyMetrics shorter = GetKeyMetrics(H, 1250, 107, 18);
    ASSERT_EQ(KeyGeometry::FaceRects(shorter, 0, 119, r), 1);
    EXPECT_EQ(r[0].right(), 1249);
    EXPECT_EQ(KeyGeometry::FaceRects(GetKeyMetrics(H, 100, 107, 18), 0, 60, r), 0);
}
