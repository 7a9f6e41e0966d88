// The application object: catches what escapes a handler and shows it; the termination signals.
#include "Application.h"

#include "player/ErrorText.h"
#include "skin/ErrorDisplay.h"

#include <QSessionManager>
#include <QSocketNotifier>

#include <exception>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <unistd.h>
#endif

namespace tarv {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        skin::ShowError(QString::fromUtf8(e.what()));
    } catch (...) {
        skin::ShowError(QString::fromUtf8(UnknownErrorText));
    }
    return false;
}

#ifdef Q_OS_UNIX
namespace {

int signalPipe[2] = {-1, -1};

void WriteSignalToPipe(int)
{
    const int savedErrno = errno;   // the interrupted code may be about to read it
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

}   // namespace

void CloseWindowsOnTerminationSignals()
{
    if (signalPipe[0] >= 0 || ::pipe(signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char byte;
        [[maybe_unused]] const auto read = ::read(signalPipe[0], &byte, 1);
        QApplication::closeAllWindows();
    });
    struct sigaction action = {};
    action.sa_handler = WriteSignalToPipe;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGHUP, SIGINT})
        sigaction(signal, &action, nullptr);
}
#else
// Windows asks every program before the user logs off or the system shuts down (Qt's commit
// data request) and ends it right after; the windows close then, as the player would close them.
void CloseWindowsOnTerminationSignals()
{
#if QT_CONFIG(sessionmanager)
    QObject::connect(
        qApp, &QGuiApplication::commitDataRequest, qApp, [](QSessionManager&) { QApplication::closeAllWindows(); },
        Qt::DirectConnection);
#endif
}
#endif

}   // namespace tarv
