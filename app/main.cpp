// Program entry: module initialisation with the start-up sending, then the four windows and the message loop.
#include "dialogs/portWahl.h"
#include "dialogs/twInstrument.h"
#include "dialogs/twStimmung.h"
#include "mainwindow/Application.h"
#include "mainwindow/Pemo.h"
#include "midi/Midi.h"
#include "midi/MidiServiceFactory.h"
#include "player/Player.h"
#include "settings/ExecutableFolder.h"
#include "skin/ErrorDisplay.h"
#include "skin/Skin.h"
#ifdef TARV_WITH_FLUIDSYNTH
#include "midi/BuiltInSynth.h"
#endif
#ifdef TARV_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

#include <QCoreApplication>
#include <QDateTime>
#include <QEvent>
#include <QFile>
#include <QString>
#include <QTimer>

#include <exception>
#include <functional>
#include <future>
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

struct StartupFailures {
    QString synth;     // the built-in synthesizer is missing although a sound font was found
    QString sending;   // no output device, or port 0 cannot be opened
};

// The modules' initialisation, run explicitly before any window exists, on a thread of its own
// while the UI thread makes the application object: the player, made first, owns the settings
// records from the start-up sending on. A failure does not stop the program: it is reported
// once the window shows.
StartupFailures InitialiseModules(TPlayer& player)
{
    StartupFailures failures;
#ifdef TARV_WITH_FLUIDSYNTH
    tarv::WithSynth withSynth = tarv::withBuiltInSynth(tarv::createSystemMidiService(), tarv::executableFolder(),
                                                       [] { LogStartup("synth-ready"); });
    failures.synth = QString::fromStdString(withSynth.failure);
    tarv::setMidiService(std::move(withSynth.service));
#else
    tarv::setMidiService(tarv::createSystemMidiService());
#endif
    try {
        player.SendAllStoredChannels();
    } catch (const std::exception& e) {
        failures.sending = QString::fromUtf8(e.what());
    }
    player.LoadStoredSettings();
    return failures;
}

// Each failure is shown by the general error display, one after the other.
void ReportStartupFailures(const StartupFailures& failures)
{
    if (!failures.synth.isEmpty())
        tarv::skin::ShowError(failures.synth);
    if (!failures.sending.isEmpty()) {
        tarv::skin::ShowError(QStringLiteral("Die MIDI-Ausgabe konnte nicht geöffnet werden; es wird nichts gesendet, "
                                             "bis ein Ausgang in der Portauswahl gewählt ist.\n\n%1")
                                  .arg(failures.sending));
    }
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
    // Set before a second thread runs: the settings folder asks for the name, and the
    // application object would otherwise set it while the modules' thread reads it.
    QCoreApplication::setApplicationName(QStringLiteral("tarv"));
#ifndef _WIN32
    // A JACK client (the synthesizer's audio output on JACK) joins a running server and never
    // starts one. Set here, before a second thread runs: changing the environment races with
    // every thread that reads it.
    qputenv("JACK_NO_START_SERVER", "1");
#endif
    // While the UI thread makes the application object (the X connection, the platform
    // plugin: the longest step before the window), a thread of its own reads the font
    // configuration, which the window's first layout needs (Qt's own FcInit then finds it
    // read), and initialises the modules with the start-up sending, which need nothing of the
    // application object. The window is made only once both are done.
    std::future<StartupFailures> modules = std::async(std::launch::async, [&player] {
#ifdef TARV_HAVE_FONTCONFIG
        FcInit();
#endif
        StartupFailures failures = InitialiseModules(player);
        LogStartup("sending-done");
        return failures;
    });
    tarv::TApplication app(argc, argv);
    tarv::skin::apply(app);
    LogStartup("application");
    const StartupFailures startupFailures = modules.get();

    auto* mainWindow = new TfrmPemo(player);
    LogStartup("main-window");
    mainWindow->show();
    tarv::CloseWindowsOnTerminationSignals();
    QTimer::singleShot(0, mainWindow, [] { LogStartup("window-shown"); });
    // What the first picture does not need comes right after it, before any input of the
    // player: the icon and the three dialogs, created hidden in this order, then the report of
    // what failed at the start (its message box would otherwise keep the window from painting).
    new AfterFirstPicture(mainWindow, [mainWindow, startupFailures] {
        LogStartup("first-picture");
        QApplication::setWindowIcon(tarv::skin::appIcon());
        new TfrmPortWahl(mainWindow, mainWindow->player());
        new TfrmInstrument(mainWindow, mainWindow->player());
        new TfrmStimmung(mainWindow, mainWindow->player());
        LogStartup("dialogs");
        ReportStartupFailures(startupFailures);
    });
    QTimer::singleShot(0, mainWindow, OpenInputFromEnvironment);
    ScheduleScreenshot(mainWindow);
    const int result = app.exec();
    delete mainWindow;
    MidiShutdown();
    return result;
}
