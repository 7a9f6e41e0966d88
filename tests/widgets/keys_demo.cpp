// A window with a playable keyboard for trying the widgets by hand (not a test): the
// keyboard plays on the default MIDI output by itself and the silver strip above it
// shows the notes it plays.
#include "widgets/Klavier.h"
#include "widgets/KlavierO.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("tarv keyboard"));
    window.resize(1260, 124);

    auto* strip = new TMKeysO(&window);
    strip->setGeometry(0, 0, 1260, 18);
    strip->setNoteWidth(18);
    strip->setBaseOctave(0);
    strip->setBlackBrush(QColor(192, 192, 192));
    strip->setWhiteBrush(QColor(192, 192, 192));
    strip->setVelocityMode(false);
    strip->setEnabled(false);

    auto* keys = new TMIDIKeys(&window);
    keys->setGeometry(0, 17, 1260, 107);
    keys->setNoteWidth(18);
    keys->setBaseOctave(0);
    keys->setCursor(Qt::PointingHandCursor);
    keys->raise();
    strip->raise();
    keys->setOnNoteOn([keys, strip](QObject* sender, int note, int velocity) {
        keys->PortNoteOn(sender, note, velocity);
        strip->PressNote(note, velocity, false);
    });
    keys->setOnNoteOff([keys, strip](QObject* sender, int note, int velocity) {
        keys->PortNoteOff(sender, note, velocity);
        strip->ReleaseNote(note, velocity, false);
    });

    window.show();
    return app.exec();
}
