// The drawn piano keyboard TKeys (painting, marking, mouse) and the MIDI-bound TMIDIKeys.
#include "Klavier.h"

#include "midi/MidiServiceFactory.h"

#include <QMouseEvent>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QPointingDevice>
#include <QTouchEvent>
#include <QtMath>

#include <algorithm>
#include <exception>
#include <utility>
#include <vector>

namespace {

int floorDiv(int a, int b)
{
    const int q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

// A rectangle with its outermost pixels in the pen's colour and its interior in `brush`;
// right and bottom bounds exclusive, like every rectangle of the keyboard.
void drawFramedRect(QPainter& painter, const QRect& r, const QPen& pen, const QBrush& brush)
{
    if (r.isEmpty())
        return;
    if (pen.style() == Qt::NoPen) {
        painter.fillRect(r, brush);
        return;
    }
    const QBrush& line = pen.brush();
    painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), line);
    if (r.height() > 1)
        painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), line);
    if (r.height() > 2) {
        painter.fillRect(QRect(r.left(), r.top() + 1, 1, r.height() - 2), line);
        if (r.width() > 1)
            painter.fillRect(QRect(r.right(), r.top() + 1, 1, r.height() - 2), line);
        if (r.width() > 2)
            painter.fillRect(r.adjusted(1, 1, -1, -1), brush);
    }
}

}   // namespace

TKeysBase::TKeysBase(QWidget* AOwner) : QWidget(AOwner)
{
    // Every pixel of the rectangle is painted, so Qt paints nothing behind the keyboard.
    // The widget stays alien (no native window of its own); Qt grabs the mouse
    // implicitly from a press to the release of the last button.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Every finger plays: the keyboard takes touch, so that Qt makes no mouse of its fingers.
    setAttribute(Qt::WA_AcceptTouchEvents);
    TTouchScreen::Install();
    resize(200, 50);
}

TKeysBase::~TKeysBase() = default;

void TKeysBase::setOrientation(TKeyboardOrientation value)
{
    if (value == fOrientation)
        return;
    fOrientation = value;
    update();
}

void TKeysBase::setNoteWidth(int value)
{
    if (value == fNoteWidth)
        return;
    fNoteWidth = value;
    update();
}

void TKeysBase::setBaseOctave(int value)
{
    if (value == fBaseOctave)
        return;
    fBaseOctave = value;
    repaint();
}

void TKeysBase::setHeight(int value)
{
    resize(width(), value);
}

void TKeysBase::setWidth(int value)
{
    resize(value, height());
}

void TKeysBase::setBlackBrush(const QBrush& brush)
{
    fBlackBrush = brush;
    DrawingToolChanged();
}

void TKeysBase::setWhiteBrush(const QBrush& brush)
{
    fWhiteBrush = brush;
    DrawingToolChanged();
}

void TKeysBase::setPen(const QPen& pen)
{
    fPen = pen;
    DrawingToolChanged();
}

void TKeysBase::DrawingToolChanged()
{
    update();
}

TKeyMetrics TKeysBase::GetKeyMetrics() const
{
    return KeyGeometry::GetKeyMetrics(fOrientation, width(), height(), fNoteWidth);
}

void TKeysBase::DecodeNote(int note, int& octave, int& key, bool& sharp) const
{
    KeyGeometry::DecodeNote(note, octave, key, sharp);
}

int TKeysBase::NoteAt(int x, int y, int& velocity) const
{
    return KeyGeometry::NoteAt(GetKeyMetrics(), fBaseOctave, fVelocityMode, x, y, velocity);
}

QRect TKeysBase::KeyRect(int note) const
{
    return KeyGeometry::FaceBounds(GetKeyMetrics(), fBaseOctave, note);
}

void TKeysBase::PressNote(int note, int velocity, bool GenerateEvent)
{
    if (note >= 0 && note <= 127 && !noteMap.test(static_cast<std::size_t>(note))) {
        noteMap.set(static_cast<std::size_t>(note));
        update(KeyRect(note));
    }
    if (GenerateEvent && fOnNoteOn) {
        // A copy, so that a handler may replace itself while it runs.
        const TKeyboardNoteEvent handler = fOnNoteOn;
        handler(this, note, velocity);
    }
}

void TKeysBase::ReleaseNote(int note, int /*aftertouch*/, bool GenerateEvent)
{
    if (note >= 0 && note <= 127 && noteMap.test(static_cast<std::size_t>(note)) && !HeldByPointer(note)) {
        noteMap.reset(static_cast<std::size_t>(note));
        update(KeyRect(note));
    }
    if (GenerateEvent && fOnNoteOff) {
        const TKeyboardNoteEvent handler = fOnNoteOff;
        handler(this, note, 0);
    }
}

void TKeysBase::AllNotesOff(bool GenerateEvent)
{
    for (int note = 0; note <= 127; ++note) {
        if (noteMap.test(static_cast<std::size_t>(note)))
            ReleaseNote(note, 0, GenerateEvent);
    }
}

void TKeysBase::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    Paint(painter, event->rect());
}

void TKeysBase::Paint(QPainter& painter, const QRect& clip) const
{
    const QRect area = clip.intersected(rect());
    if (area.isEmpty())
        return;
    const TKeyMetrics m = GetKeyMetrics();

    painter.save();
    painter.setClipRect(area, Qt::IntersectClip);

    drawFramedRect(painter, rect(), fPen, fWhiteBrush);
    if (fOrientation == TKeyboardOrientation::kbHorizontal)
        PaintHorizontal(painter, m, area);
    else
        PaintVertical(painter, m, area);

    if (noteMap.any()) {
        // Inverting is the bitwise complement of each pixel; engines without raster
        // operations (printers, pictures) get the same result for opaque colours from
        // the difference with white.
        if (painter.paintEngine() && painter.paintEngine()->hasFeature(QPaintEngine::RasterOpModes))
            painter.setCompositionMode(QPainter::RasterOp_NotDestination);
        else
            painter.setCompositionMode(QPainter::CompositionMode_Difference);
        for (int note = 0; note <= 127; ++note) {
            if (noteMap.test(static_cast<std::size_t>(note)) && KeyRect(note).intersects(area))
                InvertNote(painter, m, note);
        }
    }
    painter.restore();
}

// Draws the boundary line at `a` along the keyboard and the black key on it, if white
// key w (0..6) before the line has one. The line comes first: the black key covers its
// upper part.
void TKeysBase::PaintBoundary(QPainter& painter, const TKeyMetrics& m, int a, int w) const
{
    if (fPen.style() != Qt::NoPen)
        painter.fillRect(KeyGeometry::ToWidget(m, a, 0, 1, m.D), fPen.brush());
    if (KeyGeometry::HasBlackAfter(w)) {
        const int bx = a - m.HB + KeyGeometry::BlackKeyOffset[w];
        drawFramedRect(painter, KeyGeometry::ToWidget(m, bx, 0, m.BW, m.BL), fPen, fBlackBrush);
    }
}

// Boundary k (k >= 1) lies at x = k * NW and belongs to white key w = (k - 1) mod 7; only
// the boundaries whose line or black key reaches into `clip` are drawn. A black key lies
// within HB + 1 pixels of its line.
void TKeysBase::PaintHorizontal(QPainter& painter, const TKeyMetrics& m, const QRect& clip) const
{
    const int first = std::max(1, floorDiv(clip.left() - m.HB - 1, m.NW));
    const int last = floorDiv(clip.right() + m.HB + 1, m.NW);
    for (int k = first; k <= last; ++k) {
        const int x = k * m.NW;
        if (x >= m.L)
            break;
        PaintBoundary(painter, m, x, (k - 1) % 7);
    }
}

// The horizontal picture turned a quarter: boundary k at y = L - k * NW - 1. As in the
// keyboard's first drawing of the vertical layout, a boundary falling on y = 0 (the top
// row) is not drawn.
void TKeysBase::PaintVertical(QPainter& painter, const TKeyMetrics& m, const QRect& clip) const
{
    const int aLow = m.L - 1 - clip.bottom();
    const int aHigh = m.L - 1 - clip.top();
    const int first = std::max(1, floorDiv(aLow - m.HB - 1, m.NW));
    const int last = floorDiv(aHigh + m.HB + 1, m.NW);
    for (int k = first; k <= last; ++k) {
        const int a = k * m.NW;
        if (m.L - 1 - a <= 0)
            break;
        PaintBoundary(painter, m, a, (k - 1) % 7);
    }
}

// Inverts the face of the note's key (the painter is in an inverting mode): a black key
// inside its outline, a white key one pixel inside the lines around it.
void TKeysBase::InvertNote(QPainter& painter, const TKeyMetrics& m, int note) const
{
    QRect rects[2];
    const int n = KeyGeometry::FaceRects(m, fBaseOctave, note, rects);
    for (int i = 0; i < n; ++i)
        painter.fillRect(rects[i], Qt::white);
}

// A mouse event that Qt or the system made from a finger plays nothing: the finger plays by its
// touch events.
void TKeysBase::mousePressEvent(QMouseEvent* event)
{
    const QPointF pos = event->position();
    if (!isTouchScreen(event->pointingDevice()))
        KeysMouseDown(event->button(), qFloor(pos.x()), qFloor(pos.y()));
    event->accept();
}

void TKeysBase::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF pos = event->position();
    if (!isTouchScreen(event->pointingDevice()))
        KeysMouseMove(event->buttons(), qFloor(pos.x()), qFloor(pos.y()));
    event->accept();
}

void TKeysBase::mouseReleaseEvent(QMouseEvent* event)
{
    if (!isTouchScreen(event->pointingDevice()))
        KeysMouseUp();
    event->accept();
}

bool TKeysBase::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
        // The fingers' points come from TTouchScreen; a touch pad's are no places on the keys.
        if (isEnabled() && isTouchScreen(static_cast<QTouchEvent*>(event)->pointingDevice())) {
            event->accept();
            return true;
        }
        break;
    case QEvent::WindowDeactivate:
        // The lifts may go to another window.
        AllFingersOff(true);
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void TKeysBase::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    AllFingersOff(true);
}

// A finger presses where it lands, glides and releases where it lifts, whatever the other
// fingers and the mouse do.
void TKeysBase::FingerEvent(int id, QEventPoint::State state, QPointF at)
{
    const int x = qFloor(at.x());
    const int y = qFloor(at.y());
    switch (state) {
    case QEventPoint::State::Pressed: {
        LiftFinger(id);   // a lift that never came
        if (!isEnabled())
            return;
        int velocity = 0;
        const int note = NoteAt(x, y, velocity);
        const bool plays = note >= 0 && note <= 127;
        fFingers[id] = plays ? note : -1;
        if (plays)
            PressNote(note, velocity, true);
        return;
    }
    case QEventPoint::State::Updated: {
        const auto finger = fFingers.find(id);
        if (finger != fFingers.end())
            KeysGlide(finger->second, x, y);
        return;
    }
    case QEventPoint::State::Released:
        LiftFinger(id);
        return;
    default:
        return;
    }
}

// The finger is forgotten before its note is released, so that a failing handler leaves no
// finger behind.
void TKeysBase::LiftFinger(int id)
{
    const auto finger = fFingers.find(id);
    if (finger == fFingers.end())
        return;
    const int note = finger->second;
    fFingers.erase(finger);
    if (note >= 0)
        ReleaseNote(note, 0, true);
}

void TKeysBase::AllFingersOff(bool GenerateEvent)
{
    fMouseDown = false;   // the mouse's key is no more held than the fingers' keys
    const std::map<int, int> fingers = std::exchange(fFingers, {});
    forEachEvenIfOneFails(fingers, [this, GenerateEvent](const std::pair<const int, int>& finger) {
        if (finger.second >= 0)
            ReleaseNote(finger.second, 0, GenerateEvent);
    });
}

bool TKeysBase::HeldByPointer(int note) const
{
    if (fMouseDown && currentNote == note)
        return true;
    for (const auto& finger : fFingers)
        if (finger.second == note)
            return true;
    return false;
}

void TKeysBase::KeysMouseDown(Qt::MouseButton button, int x, int y)
{
    if (button != Qt::LeftButton)
        return;
    int velocity = 0;
    const int note = NoteAt(x, y, velocity);
    if (note < 0 || note > 127)
        return;
    currentNote = note;
    fMouseDown = true;
    PressNote(note, velocity, true);
}

void TKeysBase::KeysMouseMove(Qt::MouseButtons buttons, int x, int y)
{
    if (!(buttons & Qt::LeftButton))
        return;
    const int held = currentNote;
    KeysGlide(currentNote, x, y);
    fMouseDown = fMouseDown || currentNote != held;
}

// The new key is pressed with the velocity where the pointer entered it. Moves off the keyboard
// as it is shown (outside the widget, or on a part that its view hides) or onto its last column
// or row change nothing.
void TKeysBase::KeysGlide(int& held, int x, int y)
{
    if (x < 0 || x > width() - 2 || y < 0 || y > height() - 2 || !ShownRect().contains(x, y))
        return;
    int velocity = 0;
    const int note = NoteAt(x, y, velocity);
    if (note < 0 || note > 127 || note == held)
        return;
    // A press outside the notes 0..127 holds nothing: there is no note -1 to release. The
    // pointer holds the new note before the old one is released, so that the old one unmarks.
    const int old = std::exchange(held, note);
    if (old >= 0)
        ReleaseNote(old, 0, true);
    PressNote(note, velocity, true);
}

QRect TKeysBase::ShownRect() const
{
    QRect shown = rect();
    QPoint offset;   // the origin of `widget` in this widget's coordinates, negated
    for (const QWidget* widget = this; !widget->isWindow() && widget->parentWidget();) {
        offset += widget->pos();
        widget = widget->parentWidget();
        shown &= widget->rect().translated(-offset);
    }
    return shown;
}

// Any button's release ends the hold; currentNote keeps its value. A release that ends no hold
// releases the mouse's last note, unless a finger holds that key now.
void TKeysBase::KeysMouseUp()
{
    const bool held = std::exchange(fMouseDown, false);
    if (currentNote >= 0 && (held || !HeldByPointer(currentNote)))
        ReleaseNote(currentNote, 0, true);
}

const QString TMIDIKeys::MapperName = QStringLiteral("Microsoft MIDI Mapper");

TMIDIKeys::TMIDIKeys(QWidget* AOwner) : TKeys(AOwner), fMIDIPortName(MapperName)
{
    setOnNoteOn([this](QObject* Sender, int note, int velocity) { PortNoteOn(Sender, note, velocity); });
    setOnNoteOff([this](QObject* Sender, int note, int velocity) { PortNoteOff(Sender, note, velocity); });
}

TMIDIKeys::~TMIDIKeys()
{
    ClosePort();
}

void TMIDIKeys::setMIDIChannel(int value)
{
    fMIDIChannel = static_cast<TMIDIChannel>(std::clamp(value, 1, 16));
}

void TMIDIKeys::setMIDIDevice(int value)
{
    if (value == fMIDIDevice)
        return;
    ClosePort();
    fMIDIDevice = value;
    QString name;
    if (value == -1) {
        name = MapperName;
    } else if (value >= 0) {
        try {
            const std::vector<std::string> names = tarv::midiService().outputNames();
            if (value < static_cast<int>(names.size()))
                name = QString::fromStdString(names[static_cast<std::size_t>(value)]);
        } catch (const std::exception&) {
            // The name stays empty when the device cannot be asked.
        }
    }
    fMIDIPortName = name;
}

void TMIDIKeys::OpenPort()
{
    ClosePort();
    try {
        tarv::MidiService& service = tarv::midiService();
        const std::vector<std::string> names = service.outputNames();
        // Device -1 is the system's default output. The MIDI systems we run on (ALSA,
        // JACK, CoreMIDI) have no mapper device, so the first output port stands in for it.
        // A chosen device opens only while it is still the one named when it was chosen.
        const int index = fMIDIDevice == -1 ? 0 : fMIDIDevice;
        if (index >= 0 && index < static_cast<int>(names.size())) {
            const std::string name =
                fMIDIDevice == -1 ? names[static_cast<std::size_t>(index)] : fMIDIPortName.toStdString();
            fMIDIPort = service.openOutput(index, name);
            fMIDIPortOk = fMIDIPort != 0;
        }
    } catch (const std::exception&) {
        // A failed open leaves the widget without a device; the next note-on tries again.
        fMIDIPort = 0;
        fMIDIPortOk = false;
    }
}

void TMIDIKeys::ClosePort()
{
    if (fMIDIPort != 0) {
        // The service has no reset: switch off what this port switched on, then close it.
        for (std::size_t i = 0; i < fSounding.size(); ++i) {
            if (fSounding.test(i)) {
                const std::uint32_t channel = static_cast<std::uint32_t>(i / 128);
                const std::uint32_t note = static_cast<std::uint32_t>(i % 128);
                Send((0x80u | channel) | (note << 8));
            }
        }
        try {
            tarv::midiService().closeOutput(fMIDIPort);
        } catch (const std::exception&) {
            // Closing errors are ignored: the handle is gone either way.
        }
    }
    fSounding.reset();
    fMIDIPort = 0;
    fMIDIPortOk = false;
}

void TMIDIKeys::Send(std::uint32_t packed)
{
    if (!fMIDIPortOk)
        return;
    try {
        tarv::midiService().sendShort(fMIDIPort, packed);
    } catch (const std::exception&) {
        // A lost message is not reported; the port stays open.
    }
}

// Notes outside 0..127 are not sent: their low eight bits would not be a data byte.
void TMIDIKeys::PortNoteOn(QObject* /*Sender*/, int note, int velocity)
{
    if (fMIDIPort == 0)
        OpenPort();
    if (!fMIDIPortOk || note < 0 || note > 127)
        return;
    const std::uint32_t channel = static_cast<std::uint32_t>(fMIDIChannel - 1);
    const std::uint32_t v = static_cast<std::uint32_t>(std::clamp(velocity, 0, 127));
    Send((0x90u | channel) | (static_cast<std::uint32_t>(note) << 8) | (v << 16));
    fSounding.set(channel * 128 + static_cast<std::size_t>(note), v > 0);
}

void TMIDIKeys::PortNoteOff(QObject* /*Sender*/, int note, int velocity)
{
    if (!fMIDIPortOk || note < 0 || note > 127)
        return;
    const std::uint32_t channel = static_cast<std::uint32_t>(fMIDIChannel - 1);
    const std::uint32_t v = static_cast<std::uint32_t>(std::clamp(velocity, 0, 127));
    Send((0x80u | channel) | (static_cast<std::uint32_t>(note) << 8) | (v << 16));
    fSounding.reset(channel * 128 + static_cast<std::size_t>(note));
}
