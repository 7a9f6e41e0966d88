// The drawn piano keyboard TKeys and its MIDI-bound variant TMIDIKeys.
#pragma once

#include <QBrush>
#include <QPen>
#include <QWidget>

#include <bitset>
#include <cstdint>
#include <functional>

#include "midi/MidiService.h"

enum class TKeyboardOrientation : std::uint8_t { kbHorizontal = 0, kbVertical = 1 };

// Sender, note, velocity. Empty when unassigned; raised synchronously inside the operation.
using TKeyboardNoteEvent = std::function<void(QObject* Sender, int note, int velocity)>;

// Metrics of a keyboard of a given size, in pixels; pure, so tests need no window.
struct TKeyMetrics {
    int L = 0;    // length along the keyboard
    int D = 0;    // depth across it (length of a white key)
    int BL = 0;   // black key length
    int BW = 0;   // black key width (always odd)
    int HB = 0;   // BW div 2
    int NW = 1;   // white key width (NoteWidth, at least 1)
};

namespace KeyGeometry {
extern const int BlackKeyOffset[7];
TKeyMetrics GetKeyMetrics(TKeyboardOrientation orientation, int width, int height, int noteWidth);
void DecodeNote(int note, int& octave, int& key, bool& sharp);
// The note under pixel (x, y) and the velocity for it (127 when velocityMode is off).
int NoteAt(const TKeyMetrics& m, TKeyboardOrientation orientation, int baseOctave, bool velocityMode,
           int x, int y, int& velocity);
}  // namespace KeyGeometry

// Shared implementation of TKeys and TMKeysO; the two stay distinct types.
class TKeysBase : public QWidget {
public:
    explicit TKeysBase(QWidget* AOwner = nullptr);

    TKeyboardOrientation Orientation() const;
    void setOrientation(TKeyboardOrientation value);
    int NoteWidth() const;
    void setNoteWidth(int value);
    int BaseOctave() const;
    void setBaseOctave(int value);
    int Height() const { return height(); }
    void setHeight(int value);
    int Width() const { return width(); }
    void setWidth(int value);
    const QBrush& BlackBrush() const;
    void setBlackBrush(const QBrush& brush);
    const QBrush& WhiteBrush() const;
    void setWhiteBrush(const QBrush& brush);
    const QPen& Pen() const;
    void setPen(const QPen& pen);
    bool VelocityMode() const;
    void setVelocityMode(bool value);
    const TKeyboardNoteEvent& OnNoteOn() const;
    void setOnNoteOn(TKeyboardNoteEvent handler);
    const TKeyboardNoteEvent& OnNoteOff() const;
    void setOnNoteOff(TKeyboardNoteEvent handler);

    void DecodeNote(int note, int& octave, int& key, bool& sharp) const;
    int NoteAt(int x, int y, int& velocity) const;
    void PressNote(int note, int velocity, bool GenerateEvent);
    void ReleaseNote(int note, int aftertouch, bool GenerateEvent);
    void AllNotesOff(bool GenerateEvent);

    bool IsMarked(int note) const;
    int CurrentNote() const;
    // The rectangle (widget coordinates) that holds the face of the note's key; empty when not drawn.
    QRect KeyRect(int note) const;
    // Draws the whole picture (keyboard plus inverted faces of the marked notes) into `painter`.
    void Paint(QPainter& painter, const QRect& clip) const;
    // ... the implementer adds the rest (paintEvent, mouse handling, InvertNote, ...)
};
