// Helpers shared by the test suites.
#include "TestSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

namespace tarv::test {

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeout.count())
            return false;
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

void ensureApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "tarv-tests";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    new QApplication(argc, argv);
}

}  // namespace tarv::test
