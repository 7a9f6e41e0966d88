// The application object and the general error display.
#pragma once

#include <QApplication>
#include <QString>

#include <functional>

namespace tarv {

// The program's application object. An exception that leaves any event handler, slot or
// queued call is caught here and shown with ShowError; the program goes on.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Termination requests of the system (SIGTERM at logout or from `kill`, SIGHUP when the
// terminal goes, SIGINT for Ctrl+C) close every window as the player would, so that the main
// window saves the settings on its way out. The signal handler only writes to a pipe; the
// closing runs in the message loop. Call once, after the main window exists. Not on Windows.
void CloseWindowsOnTerminationSignals();

// Shows a failure to the player: a message box with the text, over the active window.
// Runs on the UI thread (other threads post to it first).
void ShowError(const QString& text);

// Replaces what ShowError does (tests record the texts instead of showing a box that waits
// for a click); an empty function brings the message box back. Returns the previous display.
using TErrorDisplay = std::function<void(const QString& text)>;
TErrorDisplay setErrorDisplay(TErrorDisplay display);

}  // namespace tarv
