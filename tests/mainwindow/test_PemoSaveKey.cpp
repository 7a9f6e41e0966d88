// Ctrl+S in the main window: what was played comes back from the saved file as the wire saw it.
#include "PemoFixture.h"

#include "skin/Skin.h"
#include "widgets/Klavier.h"

#include <QApplication>

#include <algorithm>
#include <cmath>
#include <map>

namespace {

using Events = std::vector<std::pair<std::uint32_t, Bytes>>;   // tick, bytes; by channel below

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
        QTest::mousePress(frm->Pemo, Qt::LeftButton, {}, frm->Pemo->KeyRect(note).center());
        QTest::qWait(25);   // the phrase lasts some ticks, so that its times say something
        QTest::mouseRelease(frm->Pemo, Qt::LeftButton, {}, frm->Pemo->KeyRect(note).center());
    }
    QString folder() const { return QDir(fSettings.path()).filePath(QStringLiteral("Aufnahmen")); }
    QStringList saved() const { return QDir(folder()).entryList({QStringLiteral("*.mid")}, QDir::Files); }
    std::map<int, Events> savedTracks() const   // of the first file saved
    {
        const tarv::test::MidiFileContents contents = tarv::test::readMidiFile(QDir(folder()).filePath(saved()[0]));
        EXPECT_TRUE(contents.parsed && contents.format == 1 && contents.ticksPerQuarter == 480
                    && contents.tempo == 500000);
        std::map<int, Events> tracks;
        for (const tarv::test::MidiFileEvent& e : contents.events)
            tracks[e.bytes[0] & 0x0F].emplace_back(e.tick, e.bytes);
        return tracks;
    }
    // Each channel's messages on the wire from the first Note On on, at 960 ticks a second.
    std::map<int, Events> wireSinceFirstNote() const
    {
        const std::vector<tarv::SentMessage> sent = loop->sent();
        const auto first = std::find_if(sent.begin(), sent.end(), [](auto& m) { return (m.bytes[0] & 0xF0) == 0x90; });
        std::map<int, Events> channels;
        for (auto m = first; m != sent.end(); ++m)
            channels[m->bytes[0] & 0x0F].emplace_back(
                std::uint32_t(std::lround(std::chrono::duration<double>(m->time - first->time).count() * 960)), m->bytes);
        return channels;
    }
};

TEST_F(PemoSaveKeyTest, APhraseFromEverySourceComesBackFromTheFileAsTheWireSawItWithinTwoTicks)
{
    QTest::qWait(25);   // silence before the first note, cut from the file
    click(60);
    QTest::keyClick(frm.get(), Qt::Key_Q, Qt::NoModifier, 25);
    loop->injectShort("Keys In", 0x90 | 64 << 8 | 80 << 16);
    loop->injectShort("Keys In", 0xE0 | 70 << 16);   // pitch bend, passed through
    loop->injectShort("Keys In", 0x80 | 64 << 8);
    ASSERT_TRUE(loop->waitInputIdle());
    clickSpinButton(frm->seLKanal, true);   // channel 2: its stored settings go out
    click(67);
    ctrlS();
    QTest::simulateEvent(frm.get(), true, Qt::Key_S, Qt::ControlModifier, {}, true);   // held down

    ASSERT_EQ(saved().size(), 1);
    const std::map<int, Events> tracks = savedTracks(), wire = wireSinceFirstNote();
    ASSERT_EQ(tracks.size(), wire.size());
    for (const auto& [channel, events] : tracks) {   // each after the six settings in force
        ASSERT_EQ(events.size(), 6 + wire.at(channel).size()) << channel;
        EXPECT_EQ(events[0].second[0], 0xC0 | channel);
        for (std::size_t i = 0; i < wire.at(channel).size(); ++i) {
            EXPECT_EQ(events[6 + i].second, wire.at(channel)[i].second) << channel << " " << i;
            // A tick of rounding, and one for the sending thread held up between the wire's
            // stamp and the record's (a loaded machine, a sanitizer build).
            EXPECT_LE(std::abs(int(events[6 + i].first) - int(wire.at(channel)[i].first)), 2) << channel << " " << i;
        }
    }
    EXPECT_GT(wire.at(1).back().first, 48u);
    EXPECT_TRUE(tarv::skin::currentHintText().contains(QDir::toNativeSeparators(QDir(folder()).filePath(saved()[0]))));
    EXPECT_TRUE(tarv::skin::currentHintText().contains(QStringLiteral("4 Noten")));

    ctrlS();
    EXPECT_TRUE(tarv::skin::currentHintText().contains(QStringLiteral("nichts gespielt")));
    EXPECT_EQ(saved().size(), 1);
    EXPECT_TRUE(errors.empty());
}

// A file in the folder's place stops even root from making it.
TEST_F(PemoSaveKeyTest, AFolderThatCannotBeMadeIsReportedAndTheNextSaveTakesItAllAgain)
{
    click(60);
    QFile blocker(folder());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    ctrlS();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].contains(QDir::toNativeSeparators(folder())));
    EXPECT_TRUE(errors[0].contains(QStringLiteral("Strg+S versucht es noch einmal")));
    ASSERT_TRUE(blocker.remove());
    ctrlS();
    EXPECT_EQ(saved().size(), 1);
    EXPECT_TRUE(tarv::skin::currentHintText().contains(QStringLiteral("1 Note")));
}

}   // namespace
