// Cost of marking and unmarking a note on the main keyboard (1260 x 107), repaint included.
#include "widgets/Klavier.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPaintEvent>
#include <QWindow>

#include <cstdio>

namespace {

class CountingKeys : public TKeys {
public:
    long long paints = 0;
    long long paintedPixels = 0;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        ++paints;
        for (const QRect& r : event->region())
            paintedPixels += static_cast<long long>(r.width()) * r.height();
        TKeys::paintEvent(event);
    }
};

// Delivers the pending update requests: Qt paints the dirty rectangles and flushes them.
void flush()
{
    QCoreApplication::sendPostedEvents();
}

}   // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    CountingKeys keys;
    keys.resize(1260, 107);
    keys.setNoteWidth(18);
    keys.setBaseOctave(0);
    keys.show();
    QElapsedTimer wait;
    wait.start();
    while (!(keys.windowHandle() && keys.windowHandle()->isExposed()) && wait.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    flush();

    constexpr int Rounds = 200;
    constexpr int Notes = 120;   // C0..B9, every key of the keyboard
    keys.paints = 0;
    keys.paintedPixels = 0;
    QElapsedTimer timer;
    timer.start();
    for (int round = 0; round < Rounds; ++round) {
        for (int note = 0; note < Notes; ++note) {
            keys.PressNote(note, 100, false);
            flush();
            keys.ReleaseNote(note, 0, false);
            flush();
        }
    }
    const double perNote = static_cast<double>(timer.nsecsElapsed()) / 1000.0 / (Rounds * Notes);
    const long long marks = 2LL * Rounds * Notes;
    std::printf("bench_keys: note on + off with the repaint of its key: %.2f us per note "
                "(%d notes, %lld paints, %.0f pixels painted per mark)\n",
                perNote, Rounds * Notes, keys.paints, static_cast<double>(keys.paintedPixels) / marks);

    // For comparison: repainting the whole keyboard.
    constexpr int FullRounds = 500;
    timer.restart();
    for (int i = 0; i < FullRounds; ++i)
        keys.repaint();
    std::printf("bench_keys: full repaint of the keyboard: %.2f us\n",
                static_cast<double>(timer.nsecsElapsed()) / 1000.0 / FullRounds);
    return 0;
}
