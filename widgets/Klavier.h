// The drawn piano keyboard TKeys and its MIDI-bound variant TMIDIKeys.
#pragma once

#include <QBrush>
#include <QPen>
#include <QString>
#include <QWidget>

#include <bitset>
#include <cstdint>
#include <functional>
#include <map>

#include "midi/MidiService.h"
#include "widgets/KeyGeometry.h"
#include "widgets/TouchScreen.h"

class QPainter;

// Sender, note, velocity. Empty when unassigned; raised synchronously inside the operation.
using TKeyboardNoteEvent = std::function<void(QObject* Sender, int note, int velocity)>;

// MIDI channel as the player counts it, 1..16; messages carry channel - 1.
using TMIDIChannel = std::uint8_t;

// Shared implementation of TKeys and TMKeysO; the two stay distinct types.
//
// A widget without a native window that paints every pixel of its rectangle. The picture
// always equals noteMap: painting draws the keyboard and then inverts the faces of the
// marked keys, and marking or unmarking a note repaints only that key's face.
// The mouse and every finger on a touch screen play by the same rules, each its own note: a
// press on the keyboard as it is shown plays, a slide glides from key to key, a release or lift
// ends the note. Mouse events made from touch are ignored, the fingers play through the touch
// events; a touch pad moves the pointer and plays only as the mouse.
// Runs on the UI thread only.
class TKeysBase : public QWidget, public TFingerPlayer {
    Q_OBJECT
    Q_PROPERTY(int NoteWidth READ NoteWidth WRITE setNoteWidth)
    Q_PROPERTY(int BaseOctave READ BaseOctave WRITE setBaseOctave)
    Q_PROPERTY(bool VelocityMode READ VelocityMode WRITE setVelocityMode)

public:
    explicit TKeysBase(QWidget* AOwner = nullptr);
    ~TKeysBase() override;

    TKeyboardOrientation Orientation() const { return fOrientation; }
    void setOrientation(TKeyboardOrientation value);
    // Width of one white key along the keyboard in pixels; values below 1 are kept but count as 1.
    int NoteWidth() const { return fNoteWidth; }
    void setNoteWidth(int value);
    // Octave of the first (lowest) C drawn.
    int BaseOctave() const { return fBaseOctave; }
    void setBaseOctave(int value);
    int Height() const { return height(); }
    void setHeight(int value);
    int Width() const { return width(); }
    void setWidth(int value);
    const QBrush& BlackBrush() const { return fBlackBrush; }
    void setBlackBrush(const QBrush& brush);
    const QBrush& WhiteBrush() const { return fWhiteBrush; }
    void setWhiteBrush(const QBrush& brush);
    // Outline, boundary lines and black key outlines; drawn one pixel wide in the pen's
    // colour (Qt::NoPen draws none).
    const QPen& Pen() const { return fPen; }
    void setPen(const QPen& pen);
    // Velocity from the pointer position (true) or always 127 (false).
    bool VelocityMode() const { return fVelocityMode; }
    void setVelocityMode(bool value) { fVelocityMode = value; }
    const TKeyboardNoteEvent& OnNoteOn() const { return fOnNoteOn; }
    void setOnNoteOn(TKeyboardNoteEvent handler) { fOnNoteOn = std::move(handler); }
    const TKeyboardNoteEvent& OnNoteOff() const { return fOnNoteOff; }
    void setOnNoteOff(TKeyboardNoteEvent handler) { fOnNoteOff = std::move(handler); }

    TKeyMetrics GetKeyMetrics() const;
    void DecodeNote(int note, int& octave, int& key, bool& sharp) const;
    // The note under pixel (x, y) of the widget and the velocity for it; not limited to 0..127.
    int NoteAt(int x, int y, int& velocity) const;
    // Marks the note (0..127) and raises OnNoteOn, also when it was marked already.
    void PressNote(int note, int velocity, bool GenerateEvent);
    // Unmarks the note and raises OnNoteOff with velocity 0, also when it was not marked;
    // the aftertouch is ignored. A note that a finger or the mouse still holds on this keyboard
    // stays marked: a key stays marked until the last of them lets go.
    void ReleaseNote(int note, int aftertouch, bool GenerateEvent);
    // Releases every marked note, ascending; unmarked notes raise nothing.
    void AllNotesOff(bool GenerateEvent);
    // Releases the note of every finger on the keyboard and forgets the fingers: what they do
    // until they lift plays nothing. Runs also when the touch sequence is cancelled, the window
    // loses the focus or the keyboard is hidden. Every finger is released also when a handler
    // fails; the first failure is raised afterwards.
    void AllFingersOff(bool GenerateEvent);
    // A finger plays as the mouse with its left button (TFingerPlayer).
    void FingerEvent(int id, QEventPoint::State state, QPointF at) override;
    void FingersCancelled() override { AllFingersOff(true); }

    bool IsMarked(int note) const { return note >= 0 && note <= 127 && noteMap.test(static_cast<std::size_t>(note)); }
    // The note last pressed with the mouse; -1 until the first one.
    int CurrentNote() const { return currentNote; }
    // The bounding rectangle (widget coordinates) of the face of the note's key, the part
    // that marking changes; empty when the key is not drawn.
    QRect KeyRect(int note) const;
    // Draws the picture inside `clip`: the keyboard, then the inverted faces of the marked keys.
    void Paint(QPainter& painter, const QRect& clip) const;

protected:
    bool event(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void KeysMouseDown(Qt::MouseButton button, int x, int y);
    void KeysMouseMove(Qt::MouseButtons buttons, int x, int y);
    void KeysMouseUp();
    void LiftFinger(int id);
    bool HeldByPointer(int note) const;
    // The glide of a pointer that holds `held` (-1: none) to (x, y): entering another key
    // releases the held one and presses the new one.
    void KeysGlide(int& held, int x, int y);
    // The part of the widget that its parents show (a keyboard wider than its view).
    QRect ShownRect() const;
    void PaintHorizontal(QPainter& painter, const TKeyMetrics& m, const QRect& clip) const;
    void PaintVertical(QPainter& painter, const TKeyMetrics& m, const QRect& clip) const;
    void PaintBoundary(QPainter& painter, const TKeyMetrics& m, int a, int w) const;
    void InvertNote(QPainter& painter, const TKeyMetrics& m, int note) const;
    void DrawingToolChanged();

    TKeyboardOrientation fOrientation = TKeyboardOrientation::kbHorizontal;
    int fNoteWidth = 10;
    int fBaseOctave = 3;
    QBrush fBlackBrush{Qt::black};
    QBrush fWhiteBrush{Qt::white};
    QPen fPen{Qt::black};
    bool fVelocityMode = true;
    TKeyboardNoteEvent fOnNoteOn;
    TKeyboardNoteEvent fOnNoteOff;
    std::bitset<128> noteMap;
    int currentNote = -1;
    bool fMouseDown = false;   // the left button is down since a press that played currentNote
    // The fingers on the keyboard by touch point id, each with the note it holds (-1: none).
    std::map<int, int> fFingers;
};

class TKeys : public TKeysBase {
    Q_OBJECT
public:
    explicit TKeys(QWidget* AOwner = nullptr) : TKeysBase(AOwner) {}
};

// A TKeys that plays by itself on one MIDI output and channel: PortNoteOn and PortNoteOff
// are its note handlers until others are assigned. It opens its own output through the
// MIDI service, lazily at the first note-on, independently of the program's output ports.
// Failures of the service are swallowed: a failed open leaves MIDIPortOk false and is
// tried again at the next note-on; failed sends and closes are ignored.
class TMIDIKeys : public TKeys {
    Q_OBJECT
    Q_PROPERTY(int MIDIDevice READ MIDIDevice WRITE setMIDIDevice)
    Q_PROPERTY(int MIDIChannel READ MIDIChannel WRITE setMIDIChannel)
    Q_PROPERTY(QString MIDIPortName READ MIDIPortName)

public:
    explicit TMIDIKeys(QWidget* AOwner = nullptr);
    ~TMIDIKeys() override;

    // Output device index; -1 is the system's default output. Writing a different value
    // closes an open device and renames it; the next note-on opens the new one.
    int MIDIDevice() const { return fMIDIDevice; }
    void setMIDIDevice(int value);
    // 1..16; other values are brought into that range.
    int MIDIChannel() const { return fMIDIChannel; }
    void setMIDIChannel(int value);
    QString MIDIPortName() const { return fMIDIPortName; }
    bool MIDIPortOk() const { return fMIDIPortOk; }
    tarv::PortHandle MIDIPort() const { return fMIDIPort; }

    void PortNoteOn(QObject* Sender, int note, int velocity);
    void PortNoteOff(QObject* Sender, int note, int velocity);

    // Name shown for device -1 (also at creation).
    static const QString MapperName;

private:
    void OpenPort();
    void ClosePort();
    void Send(std::uint32_t packed);

    int fMIDIDevice = -1;
    TMIDIChannel fMIDIChannel = 1;
    QString fMIDIPortName;
    bool fMIDIPortOk = false;
    tarv::PortHandle fMIDIPort = 0;
    // Notes this port switched on, by channel, so that closing it can silence them.
    std::bitset<16 * 128> fSounding;
};
