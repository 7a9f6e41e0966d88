// Program entry: module initialisation with the start-up sending, then the four windows and the message loop.
#include "dialogs/portWahl.h"
#include "dialogs/twInstrument.h"
#include "dialogs/twStimmung.h"
#include "mainwindow/Application.h"
#include "mainwindow/Pemo.h"
#include "midi/Midi.h"
#include "midi/MidiServiceFactory.h"
#include "player/Player.h"
#include "skin/ErrorDisplay.h"
#include "skin/Skin.h"
#ifdef TARV_WITH_FLUIDSYNTH
#include "midi/synth/BuiltInSynth.h"
#endif

#include <QDateTime>
#include <QEvent>
#include <QFile>
#include <QString>
#include <QTimer>

#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace {

// TARV_STARTUP_LOG=<file>: appends "<milestone> <ms since the epoch>" for the start-up benchmark.
// Runs on the UI thread, and on the synthesizer's loading thread for "synth-ready".
void LogStartup(const char* milestone)
{
    QFile file(qEnvironmentVariable("TARV_STARTUP_LOG"));
    if (!file.fileName().isEmpty() && file.open(QIODevice::Append))
        file.write(QByteArray(milestone) + ' ' + QByteArray::number(QDateTime::currentMSecsSinceEpoch()) + '\n');
}

// Runs `then` once on the UI thread, right after `window` has painted its first picture.
class AfterFirstPicture : public QObject {
public:
    AfterFirstPicture(QWidget* window, std::function<void()> then) : QObject(window), fThen(std::move(then))
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QMetaObject::invokeMethod(
                this,
                [this] {
                    fThen();
                    deleteLater();
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    std::function<void()> fThen;
};

// The modules' initialisation, run explicitly before any window exists: the player, made
// first, owns the settings records from the start-up sending on. A failure (no output device,
// port 0 cannot be opened) does not stop the program: it is reported once the window shows.
QString InitialiseModules(TPlayer& player)
{
    QString failure;
#ifdef TARV_WITH_FLUIDSYNTH
    tarv::setMidiService(tarv::withBuiltInSynth(tarv::createSystemMidiService(), [] { LogStartup("synth-ready"); }));
#else
    tarv::setMidiService(tarv::createSystemMidiService());
#endif
    try {
        player.SendAllStoredChannels();
    } catch (const std::exception& e) {
        failure = QString::fromUtf8(e.what());
    }
    player.LoadStoredSettings();
    return failure;
}

// TARV_SCREENSHOT=<file.png>: save a picture of the main window once it shows, then quit
// (used by the screenshot test and the documentation).
void ScheduleScreenshot(QWidget* window)
{
    const QString path = qEnvironmentVariable("TARV_SCREENSHOT");
    if (path.isEmpty())
        return;
    QTimer::singleShot(1500, window, [window, path] {
        window->grab().save(path);
        window->close();
    });
}

// TARV_MIDI_INPUT=<device name>: open the input devices of that name once the window shows, as
// if ticked in the port dialog (for a player who always plays the same keyboard, and for the
// latency benchmark). A name that is not listed is reported like any MIDI failure.
void OpenInputFromEnvironment()
{
    const std::string wanted = qEnvironmentVariable("TARV_MIDI_INPUT").toStdString();
    if (wanted.empty())
        return;
    try {
        const std::vector<std::string> devices = MidiInput().Devices();
        bool found = false;
        for (std::size_t i = 0; i < devices.size(); ++i) {
            if (devices[i] == wanted) {
                MidiInput().Open(int(i));
                found = true;
            }
        }
        if (!found)
            tarv::skin::ShowError(QStringLiteral("Der MIDI-Eingang \"%1\" steht nicht zur Verfügung.")
                                      .arg(QString::fromStdString(wanted)));
    } catch (const std::exception& e) {
        tarv::skin::ShowError(QString::fromUtf8(e.what()));
    }
}

}   // namespace

int main(int argc, char* argv[])
{
    LogStartup("main");
    TPlayer player;
    const QString startupFailure = InitialiseModules(player);
    LogStartup("sending-done");
    tarv::TApplication app(argc, argv);
    tarv::skin::apply(app);
    LogStartup("application");

    auto* mainWindow = new TfrmPemo(player);
    LogStartup("main-window");
    mainWindow->show();
    tarv::CloseWindowsOnTerminationSignals();
    QTimer::singleShot(0, mainWindow, [] { LogStartup("window-shown"); });
    // What the first picture does not need comes right after it, before any input of the
    // player: the icon and the three dialogs, created hidden in this order.
    new AfterFirstPicture(mainWindow, [mainWindow] {
        LogStartup("first-picture");
        QApplication::setWindowIcon(tarv::skin::appIcon());
        new TfrmPortWahl(mainWindow, mainWindow->player());
        new TfrmInstrument(mainWindow, mainWindow->player());
        new TfrmStimmung(mainWindow, mainWindow->player());
        LogStartup("dialogs");
    });
    if (!startupFailure.isEmpty()) {
        QTimer::singleShot(0, mainWindow, [startupFailure] {
            tarv::skin::ShowError(
                QStringLiteral("Die MIDI-Ausgabe konnte nicht geöffnet werden; es wird nichts gesendet, "
                               "bis ein Ausgang in der Portauswahl gewählt ist.\n\n%1")
                    .arg(startupFailure));
        });
    }
    QTimer::singleShot(0, mainWindow, OpenInputFromEnvironment);
    ScheduleScreenshot(mainWindow);
    const int result = app.exec();
    delete mainWindow;
    MidiShutdown();
    return result;
}
