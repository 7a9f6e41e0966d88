// Keyboard view navigation: the octave labels move the strip, the covers slide, the wheel focuses.
#include "Pemo.h"

#include "skin/Click.h"

#include <QFrame>
#include <QSlider>
#include <QSpinBox>

namespace {

// One octave of the strip in pixels: seven white keys of 18 pixels.
constexpr int OctaveWidth = 126;

// Moves a cover between its closed and its open place; from any other place it closes.
void slideCover(QWidget* cover, QPoint closed, QPoint open)
{
    cover->move(cover->pos() == closed ? open : closed);
}

}   // namespace

// Label Ck puts the strip at -126 * (k - 3), so that Ck starts at the view's middle column 378.
// Only the strip moves: the keyboard's own coordinates, and its hit testing, stay as they are.
// The keyboard repaints its held notes marked (its picture always equals its notes).
void TfrmPemo::CentreOctave(int octave)
{
    const int left = -OctaveWidth * (octave - 3);
    if (panelKB->x() != left)
        panelKB->move(left, panelKB->y());
}

void TfrmPemo::lblC3Click()
{
    CentreOctave(3);
}

void TfrmPemo::lblC4Click()
{
    CentreOctave(4);
}

void TfrmPemo::lblC5Click()
{
    CentreOctave(5);
}

void TfrmPemo::lblC6Click()
{
    CentreOctave(6);
}

void TfrmPemo::lblC7Click()
{
    CentreOctave(7);
}

// Window coordinates; each cover closes over its strip and opens toward the window's edge.
void TfrmPemo::panelAOClick()
{
    slideCover(panelAO, {panelAO->x(), 36}, {panelAO->x(), 0});
}

void TfrmPemo::panelAUClick()
{
    slideCover(panelAU, {panelAU->x(), 216}, {panelAU->x(), 264});
}

void TfrmPemo::panelALClick()
{
    slideCover(panelAL, {36, panelAL->y()}, {0, panelAL->y()});
}

void TfrmPemo::panelARClick()
{
    slideCover(panelAR, {824, panelAR->y()}, {860, panelAR->y()});
}

// The pointer is over a target when the widget under it is the target or one of its parts (the
// spin edit's text field); a closed cover lies above its strip, so the widget under the pointer
// is the cover then. A disabled target takes no focus. The event goes on to the toolkit, which
// turns the wheel into steps of the control under the pointer.
void TfrmPemo::FormMouseWheel(const QPoint& globalPos)
{
    // The window's own lookup, as the toolkit finds the receiver of a pointer event.
    const QWidget* under = childAt(mapFromGlobal(globalPos));
    if (!under)
        return;
    QWidget* const targets[] = {tbVolume,      tbPanorama, seLKanal, seRkanal,
                                seSplitOktave, tbVelocity, tbChorus, tbReverb};
    for (QWidget* target : targets) {
        if (target == under || target->isAncestorOf(under)) {
            target->setFocus(Qt::MouseFocusReason);
            return;
        }
    }
}
