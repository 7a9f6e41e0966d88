// Saving a take: the folder beside the settings file, the file's name by date and time, the mark of the save.
#include "SaveRecording.h"

#include "Take.h"
#include "midi/Midi.h"
#include "settings/Settings.h"
#include "settings/WholeFile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace tarv {

namespace {

QString freeFileName(const QDir& folder, const QDateTime& when)
{
    const QString stem = when.toString(QStringLiteral("yyyy-MM-dd HH-mm-ss"));
    QString name = stem + QStringLiteral(".mid");
    for (int n = 2; folder.exists(name); ++n)
        name = QStringLiteral("%1 (%2).mid").arg(stem).arg(n);
    return folder.filePath(name);
}

}   // namespace

QString recordingFolder()
{
    return QFileInfo(QString::fromStdString(SettingsFilePath())).dir().filePath(QStringLiteral("Aufnahmen"));
}

std::optional<TSavedTake> saveRecording()
{
    TMidiOutput& output = MidiOutput();
    const std::optional<TTake> take = makeTake(output.Recording());
    if (!take)
        return std::nullopt;
    const QString folder = recordingFolder();
    const auto failure = [&folder](const QString& reason) {
        QString text = QStringLiteral("Die Aufnahme ist nicht gespeichert: In %1 kann nicht geschrieben werden")
                           .arg(QDir::toNativeSeparators(folder));
        if (!reason.isEmpty())
            text += QStringLiteral(" (%1)").arg(reason);
        text += QStringLiteral(". Sie bleibt im Speicher; Strg+S versucht es noch einmal.");
        return RecordingWriteError(text.toStdString());
    };
    if (!QDir().mkpath(folder))
        throw failure({});
    const QString path = freeFileName(QDir(folder), QDateTime::currentDateTime());
    const std::vector<std::uint8_t> file = take->file();
    const QByteArray bytes(reinterpret_cast<const char*>(file.data()), qsizetype(file.size()));
    if (QString reason; !writeWholeFile(path, bytes, &reason))
        throw failure(reason);
    output.MarkRecordingSaved(take->end);
    return TSavedTake{path, take->notes, take->length};
}

}   // namespace tarv
