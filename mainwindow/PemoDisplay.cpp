// The player's display and the one way it reaches the widgets, SyncWidgets on the UI thread.
#include "Pemo.h"
#include "SyncEvent.h"

#include "dialogs/portWahl.h"
#include "settings/uTonFamilie.h"
#include "widgets/Klavier.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>

#include <utility>

// Runs on the MIDI service thread, outside the lock: one event and the event loop's wake-up.
void TfrmPemo::PostSync()
{
    QCoreApplication::postEvent(this, new TSyncEvent);
}

bool TfrmPemo::event(QEvent* event)
{
    if (event->type() != TSyncEvent::Kind)
        return QWidget::event(event);
    SyncPosted();
    return true;
}

// The widgets follow a stream of changes about as often as the screen shows a new picture; MIDI
// input posts nothing meanwhile, so that it neither wakes the UI thread for every message nor
// waits for it to run. Once a look finds nothing new, the next change posts again.
void TfrmPemo::SyncPosted()
{
    if (!fSyncTimer) {
        fSyncTimer = new QTimer(this);
        fSyncTimer->setSingleShot(true);
        fSyncTimer->setInterval(16);
        connect(fSyncTimer, &QTimer::timeout, this, [this] { SyncFollowing(); });
    }
    SyncWidgets();
    fSyncTimer->start();
    ReportMidiInFailures();
}

void TfrmPemo::SyncFollowing()
{
    if (fPlayer.DisplayFollowUp())
        SyncPosted();
}

bool TfrmPemo::WidgetsUpToDate() const
{
    return fPlayer.DisplayUpToDate();
}

// Takes the player's display, then sets the widgets without their signals: the player did the
// work already. Only what changed is set.
void TfrmPemo::SyncWidgets()
{
    const TDisplay now = fPlayer.TakeDisplay();
    for (int note = 0; note < 128; ++note) {
        const bool marked = now.keys.test(std::size_t(note));
        if (Pemo->IsMarked(note) == marked)
            continue;
        if (marked)
            Pemo->PressNote(note, 0, false);
        else
            Pemo->ReleaseNote(note, 0, false);
    }
    if (now.notesOn != fApplied.notesOn)
        ShowReadout(now.notesOn);
    ShowControllers(now);
    if (seSplitOktave->maximum() != now.splitOctave || seSplitOktave->value() != now.splitChannelOctave) {
        const QSignalBlocker blocker(seSplitOktave);
        seSplitOktave->setMaximum(now.splitOctave);
        seSplitOktave->setValue(now.splitChannelOctave);
    }
    if (now.splitNote != fApplied.splitNote) {
        btnSetSplit->setText(QStringLiteral("Set %1%2")
                                 .arg(QString::fromLatin1(NoteNames[std::size_t(now.splitNote % 12)]))
                                 .arg(now.splitNote / 12));
    }
    if (now.monitorCount != fApplied.monitorCount && frmPortWahl) {
        const std::array<std::uint8_t, 3>& bytes = now.monitorBytes;
        frmPortWahl->ShowInput(now.monitorDevice, bytes[0], bytes[1], bytes[2]);
    }
    fApplied = now;
}

void TfrmPemo::ReportMidiInFailures()
{
    for (const std::string& failure : fPlayer.TakeMidiInFailures())
        ReportMidiFailure(QString::fromStdString(failure));
}
