// Helpers shared by the test suites.
#include "TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#ifndef _WIN32
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

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

void ensureApplication(int screenWidth, int screenHeight)
{
    if (QCoreApplication::instance())
        return;
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen") {
        // The offscreen platform reads its screens from a configuration file.
        static QTemporaryDir folder(QDir::current().filePath(QStringLiteral("tarv-screen-XXXXXX")));
        QFile config(folder.filePath(QStringLiteral("screen.json")));
        if (config.open(QIODevice::WriteOnly)) {
            config.write(
                QStringLiteral(R"({"windowFrameMargins": true, "screens": [{"name": "test", "x": 0, "y": 0, )"
                               R"("width": %1, "height": %2, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})")
                    .arg(screenWidth)
                    .arg(screenHeight)
                    .toUtf8());
            config.close();
            // In and relative to the working folder: the platform's arguments are separated by
            // colons, so a Windows path with its drive letter would fall apart.
            const QString relative = QDir::current().relativeFilePath(config.fileName());
            qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + relative.toUtf8());
        }
    }
    ensureApplication();
}

QByteArray systemLineEnds(QByteArray text)
{
#ifdef _WIN32
    text.replace("\n", "\r\n");
#endif
    return text;
}

QString startXvfb(QProcess& xvfb)
{
    // Xvfb picks a free display and writes its number to the descriptor given.
    xvfb.start(QStringLiteral("Xvfb"),
               {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!xvfb.waitForStarted(5000))
        return {};
    while (!xvfb.canReadLine()) {
        if (!xvfb.waitForReadyRead(10000))
            return {};
    }
    return QLatin1Char(':') + QString::fromLatin1(xvfb.readLine()).trimmed();
}

#ifndef _WIN32
int runAsNobody(const std::function<int()>& body)
{
    const pid_t child = fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(NobodyId) != 0 || setuid(NobodyId) != 0))
            _exit(64);
        _exit(body());
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}
#endif

MidiFileContents readMidiFile(const QString& path)
{
    MidiFileContents contents;
    QProcess reader;
    reader.start(QStringLiteral(TARV_PYTHON3), {QStringLiteral(TARV_MIDI_FILE_READER), path});
    if (!reader.waitForFinished(30000) || reader.exitStatus() != QProcess::NormalExit || reader.exitCode() != 0)
        return contents;
    for (const QByteArray& line : reader.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() == 3 && words[0] == "file") {
            contents.format = words[1].toInt();
            contents.ticksPerQuarter = words[2].toInt();
        } else if (words.size() == 2 && words[0] == "tempo") {
            contents.tempo = words[1].toUInt();
        } else if (words.size() == 2) {
            const QByteArray bytes = QByteArray::fromHex(words[1]);
            contents.events.push_back({words[0].toUInt(), {bytes.begin(), bytes.end()}});
        }
    }
    contents.parsed = contents.format >= 0;
    return contents;
}

void stopProcess(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

}   // namespace tarv::test
