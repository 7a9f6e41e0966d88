// The application object: what escapes a handler goes to the error display; the system's end.
#pragma once

#include <QApplication>

namespace tarv {

// The program's application object. An exception that leaves any event handler, slot or
// queued call is caught here and shown by the general error display (skin/ErrorDisplay.h);
// the program goes on.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Termination requests of the system (SIGTERM at logout or from `kill`, SIGHUP when the
// terminal goes, SIGINT for Ctrl+C) close every window as the player would, so that the main
// window saves the settings on its way out. The signal handler only writes to a pipe; the
// closing runs in the message loop. On Windows the same happens when the user logs off or the
// system shuts down. Call once, after the main window exists.
void CloseWindowsOnTerminationSignals();

}   // namespace tarv
