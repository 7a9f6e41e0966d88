// Ctrl+S in the main window: the save of the recording, its notice and its failure.
#include "SaveKey.h"

#include "recording/SaveRecording.h"
#include "skin/ErrorDisplay.h"
#include "skin/Skin.h"

#include <QDir>
#include <QKeySequence>
#include <QShortcut>
#include <QWidget>

#include <chrono>
#include <exception>

namespace {

constexpr std::chrono::seconds NoticeTime{6};

// "42 Noten, 1:05 min"
QString amount(const tarv::TSavedTake& take)
{
    const std::int64_t seconds = (take.length + 500'000) / 1'000'000;
    const QString notes = take.notes == 1 ? QStringLiteral("1 Note") : QStringLiteral("%1 Noten").arg(take.notes);
    return QStringLiteral("%1, %2:%3 min").arg(notes).arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void saveAndTell(QWidget* window)
{
    QString notice;
    try {
        const std::optional<tarv::TSavedTake> take = tarv::saveRecording();
        notice = take ? QStringLiteral("Aufnahme gespeichert (Strg+S): %1\r\n%2")
                            .arg(amount(*take), QDir::toNativeSeparators(take->path))
                      : QStringLiteral("Seit dem letzten Speichern (Strg+S) wurde nichts gespielt: keine Datei "
                                       "geschrieben.");
    } catch (const std::exception& e) {
        tarv::skin::ShowError(QString::fromUtf8(e.what()));
        return;
    }
    // Over the middle of the window, a little below its top.
    const QPoint place =
        window->mapToGlobal(QPoint((window->width() - tarv::skin::hintMaxWidth) / 2, window->height() / 4));
    tarv::skin::showHintNotice(notice, place, NoticeTime);
}

}   // namespace

void installSaveKey(QWidget* window)
{
    auto* key = new QShortcut(QKeySequence::Save, window);
    key->setAutoRepeat(false);   // held down, the keys save once
    QObject::connect(key, &QShortcut::activated, window, [window] { saveAndTell(window); });
}
