// Ctrl+S in the main window: what was played comes back from the saved file as the wire saw it.
#include "PemoFixture.h"

#include "midi/MidiRecorder.h"
#include "skin/Skin.h"
#include "widgets/Klavier.h"

#include <QApplication>
#include <QFileInfo>

#include <cmath>
#include <map>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using Events = std::vector<std::pair<std::uint32_t, Bytes>>;   // tick, bytes

class PemoSaveKeyTest : public PemoTest {
protected:
    void SetUp() override
    {
        PemoTest::SetUp();
        tarv::skin::installHintWindow(*qApp);
        startUp();
        showWindow();
        MidiInput().Open(0);
    }

    void ctrlS() { QTest::keyClick(frm.get(), Qt::Key_S, Qt::ControlModifier); }
    void click(int note)
    {
        const QPoint key = frm->Pemo->KeyRect(note).center();
        QTest::mousePress(frm->Pemo, Qt::LeftButton, {}, key);
        letTimePass();
        QTest::mouseRelease(frm->Pemo, Qt::LeftButton, {}, key);
    }
    void inject(std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
    {
        loop->injectShort("Keys In", std::uint32_t(status) | std::uint32_t(data1) << 8 | std::uint32_t(data2) << 16);
        ASSERT_TRUE(loop->waitInputIdle());
    }
    // Spreads the phrase over some ticks, so that the times in the file say something.
    static void letTimePass() { QTest::qWait(25); }

    QString folder() const { return QDir(fSettings.path()).filePath(QStringLiteral("Aufnahmen")); }
    // Oldest first.
    QStringList savedFiles() const
    {
        return QDir(folder()).entryList({QStringLiteral("*.mid")}, QDir::Files, QDir::Time | QDir::Reversed);
    }

    // The events of each channel's track, by channel, as the independent reader reads the file.
    static std::map<int, Events> tracksOf(const tarv::test::MidiFileContents& file)
    {
        std::map<int, Events> tracks;
        for (const tarv::test::MidiFileEvent& e : file.events)
            tracks[e.bytes[0] & 0x0F].emplace_back(e.tick, e.bytes);
        return tracks;
    }
    // The channel messages on the wire from the first Note On on, by channel, at their ticks
    // (960 a second) after it; each channel's first the settings in force then, as the wire had
    // them: the last program, then the last values of controllers 7, 10, 64, 91, 93.
    std::map<int, Events> wireSinceFirstNote() const
    {
        std::map<int, Events> channels;
        std::map<int, std::map<int, Bytes>> inForce;   // by channel: by program (-1) or controller
        std::optional<std::chrono::steady_clock::time_point> start;
        for (const tarv::SentMessage& m : loop->sent()) {
            const int channel = m.bytes[0] & 0x0F, kind = m.bytes[0] & 0xF0;
            if (!start && kind == 0x90 && m.bytes[2] > 0)
                start = m.time;
            if (!start) {
                if (kind == 0xC0 || kind == 0xB0)
                    inForce[channel][kind == 0xC0 ? -1 : m.bytes[1]] = m.bytes;
                continue;
            }
            if (!channels.contains(channel)) {
                for (const int key : {-1, 7, 10, 64, 91, 93})
                    if (inForce[channel].contains(key))
                        channels[channel].emplace_back(0, inForce[channel][key]);
            }
            const double seconds = std::chrono::duration<double>(m.time - *start).count();
            channels[channel].emplace_back(std::uint32_t(std::lround(seconds * 960)), m.bytes);
        }
        return channels;
    }
};

TEST_F(PemoSaveKeyTest, APhraseFromEverySourceComesBackFromTheFileAsTheWireSawIt)
{
    letTimePass();   // leading silence, cut from the file
    click(60);
    QTest::keyPress(frm.get(), Qt::Key_Q);
    letTimePass();
    QTest::keyRelease(frm.get(), Qt::Key_Q);
    inject(0x90, 64, 80);
    letTimePass();
    inject(0xE0, 0, 70);   // pitch bend, passed through
    inject(0x80, 64, 0);
    clickSpinButton(frm->seLKanal, true);   // channel 2: its stored settings go out
    ASSERT_EQ(state().LeftChannel, 1);
    click(67);
    ctrlS();

    ASSERT_EQ(savedFiles().size(), 1u);
    const QString path = QDir(folder()).filePath(savedFiles().front());
    const tarv::test::MidiFileContents file = tarv::test::readMidiFile(path);
    ASSERT_TRUE(file.parsed) << path.toStdString();
    EXPECT_EQ(file.format, 1);
    EXPECT_EQ(file.ticksPerQuarter, 480);
    EXPECT_EQ(file.tempo, 500000u);
    EXPECT_EQ(file.tracks, 3);   // the tempo track, channels 1 and 2
    const std::map<int, Events> tracks = tracksOf(file);
    const std::map<int, Events> wire = wireSinceFirstNote();
    ASSERT_EQ(tracks.size(), wire.size());
    for (const auto& [channel, events] : tracks) {
        const Events& sent = wire.at(channel);
        ASSERT_EQ(events.size(), sent.size()) << channel;
        for (std::size_t i = 0; i < sent.size(); ++i) {
            EXPECT_EQ(events[i].second, sent[i].second) << channel << " " << i;
            EXPECT_LE(std::abs(int(events[i].first) - int(sent[i].first)), 1) << channel << " " << i;
        }
    }
    EXPECT_GT(wire.at(1).back().first, 48u);   // the phrase lasts longer than a few ticks
    EXPECT_TRUE(tarv::skin::currentHintText().contains(QDir::toNativeSeparators(path)));
    EXPECT_TRUE(tarv::skin::currentHintText().contains(QStringLiteral("4 Noten")));

    ctrlS();
    EXPECT_TRUE(tarv::skin::currentHintText().contains(QStringLiteral("nichts gespielt")));
    EXPECT_EQ(savedFiles().size(), 1u);
    EXPECT_TRUE(errors.empty());
}

// Control makes a key a command, never a note; a note key that comes up with Control held still
// ends its note.
TEST_F(PemoSaveKeyTest, NotesHeldAtTheSaveEndInItsFileAndTheirReleaseIsLeftOutOfTheNext)
{
    QTest::keyPress(frm.get(), Qt::Key_Q);
    ctrlS();
    QTest::keyRelease(frm.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(sentNotes().back(), (Bytes{0x80, 48, 0}));
    QTest::keyClick(frm.get(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(sentNotes().size(), 2u);
    click(72);
    ctrlS();

    ASSERT_EQ(savedFiles().size(), 2u);   // named by the second of the save, the second one maybe with " (2)"
    std::vector<Bytes> notes[2];
    for (int i = 0; i < 2; ++i) {
        const tarv::test::MidiFileContents file = tarv::test::readMidiFile(QDir(folder()).filePath(savedFiles()[i]));
        ASSERT_TRUE(file.parsed);
        for (const tarv::test::MidiFileEvent& e : file.events)
            if ((e.bytes[0] & 0xE0) == 0x80)
                notes[i].push_back(e.bytes);
    }
    EXPECT_EQ(notes[0], (std::vector<Bytes>{{0x90, 48, 127}, {0x80, 48, 0}}));
    EXPECT_EQ(notes[1], (std::vector<Bytes>{sentNotes()[2], sentNotes()[3]}));
}

// Root writes everywhere, so the player who may not write the folder is a child process that
// drops to an unprivileged user; it makes the folder writable (its own) and saves again.
TEST_F(PemoSaveKeyTest, AFolderThatCannotBeWrittenIsReportedAndTheNextSaveTakesItAllAgain)
{
    click(60);
    const bool root = geteuid() == 0;
    const QByteArray settings = QFile::encodeName(fSettings.path());
    if (root) {
        ASSERT_EQ(chown(settings.constData(), tarv::test::NobodyId, tarv::test::NobodyId), 0);
    }
    ASSERT_EQ(chmod(settings.constData(), 0500), 0);

    // Exit code: 0 as it should be; otherwise the bits of what went wrong.
    const int wrong = tarv::test::runAsNobody([&] {
        int wrong = 0;
        ctrlS();
        if (errors.size() != 1 || !errors[0].contains(QDir::toNativeSeparators(folder()))
            || !errors[0].contains(QStringLiteral("Strg+S versucht es noch einmal")))
            wrong |= 1;
        if (QFileInfo::exists(folder()))
            wrong |= 2;
        chmod(settings.constData(), 0700);
        ctrlS();
        if (savedFiles().size() != 1 || !tarv::skin::currentHintText().contains(QStringLiteral("1 Note")))
            wrong |= 4;
        return wrong;
    });
    chmod(settings.constData(), 0700);
    if (root) {
        ASSERT_EQ(chown(settings.constData(), 0, 0), 0);
    }
    EXPECT_EQ(wrong, 0) << "1: no clear error, 2: a folder made, 4: not saved the second time, 64: no user change, "
                           "-1: crashed";
}

}   // namespace
