// MIDI input through the loopback service: bound controllers, sustain, notes, learning, the port
// dialog's monitor, pass-through, dropped messages, order over two ports and failing sends.
#include "PemoFixture.h"

#include "dialogs/portWahl.h"
#include "skin/PictureButton.h"
#include "skin/SlideSwitch.h"
#include "widgets/Klavier.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>

#include <array>
#include <atomic>
#include <bitset>
#include <functional>
#include <optional>
#include <thread>

#if defined(__SANITIZE_THREAD__)
// Qt is not built with the thread checker, so the synchronisation inside it (its thread pool, which
// scales the window icon's picture, say) is invisible to the checker, and the copies and frees that
// Qt's own code makes there would show up as races. Only calls from our instrumented code count;
// everything this program does itself is checked as usual.
extern "C" const char* __tsan_default_options()
{
    return "ignore_noninstrumented_modules=1";
}
#endif

namespace {

class PemoMidiInTest : public PemoTest {
protected:
    void SetUp() override
    {
        PemoTest::SetUp();
        // Two input ports and two outputs instead of the fixture's single ones.
        MidiShutdown();
        auto service = std::make_unique<tarv::LoopbackMidiService>(std::vector<std::string>{"Keys", "Pads"},
                                                                   std::vector<std::string>{"Out 1", "Out 2"});
        loop = service.get();
        tarv::setMidiService(std::move(service));
        startUp();
        new TfrmPortWahl(frm.get(), player);
        MidiInput().Open(0);
        MidiInput().Open(1);
        loop->clearSent();
    }

    void inject(const char* input, std::uint8_t status, std::uint8_t data1 = 0, std::uint8_t data2 = 0)
    {
        loop->injectShort(input, std::uint32_t(status) | std::uint32_t(data1) << 8 | std::uint32_t(data2) << 16);
    }

    // Waits until the service has delivered everything injected and the widgets show what it did.
    void settle()
    {
        ASSERT_TRUE(loop->waitInputIdle());
        ASSERT_TRUE(tarv::test::waitFor([&] { return frm->WidgetsUpToDate(); }));
    }

    // What went out since the last call.
    std::vector<Bytes> takeSent()
    {
        std::vector<Bytes> bytes = sentBytes();
        loop->clearSent();
        return bytes;
    }

    // The player opens the port dialog with its button; `whileShown` runs once the dialog shows,
    // then the player closes it.
    void withPortDialog(const std::function<void()>& whileShown)
    {
        bool done = false;
        QTimer player;
        player.setInterval(10);
        QObject::connect(&player, &QTimer::timeout, [&] {
            if (done || !frmPortWahl->isVisible())
                return;
            done = true;
            whileShown();
            frmPortWahl->reject();
        });
        player.start();
        QTest::mouseClick(frm->bbtnPorts, Qt::LeftButton);
        ASSERT_TRUE(done);
    }
};

TEST_F(PemoMidiInTest, VolumeControllerMovesSliderAndSendsOnLeftChannelOnlyWhenItChanges)
{
    inject("Keys", 0xB0, 7, 100);
    settle();
    EXPECT_EQ(frm->tbVolume->value(), 27);
    EXPECT_EQ(takeSent(), (std::vector<Bytes>{{0xB0, 7, 100}}));
    EXPECT_EQ(frm->lblVolume->text(), "100");
    EXPECT_EQ(frm->tbVolume->toolTip(), QString::fromUtf8("Kanallautstärke 100"));
    EXPECT_EQ(state().ChannelSettings.Volume, 100);

    inject("Keys", 0xB0, 7, 100);
    settle();
    EXPECT_TRUE(takeSent().empty());

    // Whatever its number and channel, a bound controller goes out as controller 7 on the left channel.
    edit([&](TPlayerState& s) { s.LeftChannel = 3; });
    edit([&](TPlayerState& s) { s.GeneralSettings.Volumecontroller = 20; });
    inject("Pads", 0xB5, 20, 0);
    settle();
    EXPECT_EQ(frm->tbVolume->value(), 127);
    EXPECT_EQ(takeSent(), (std::vector<Bytes>{{0xB3, 7, 0}}));
}

TEST_F(PemoMidiInTest, OtherSlidersFollowTheirControllers)
{
    inject("Keys", 0xB0, 10, 20);
    inject("Keys", 0xB0, 91, 30);
    inject("Keys", 0xB0, 93, 40);
    inject("Keys", 0xB0, 3, 50);
    settle();
    EXPECT_EQ(takeSent(), (std::vector<Bytes>{{0xB0, 10, 20}, {0xB0, 91, 30}, {0xB0, 93, 40}}));
    EXPECT_EQ(frm->lblPanorama->text(), "Panorama 20");
    EXPECT_EQ(frm->lblChorus->text(), "Chorus 30");
    EXPECT_EQ(frm->lblReverb->text(), "Reverb 40");
    EXPECT_EQ(frm->lblVelocity->text(), "Velocity 50");
    EXPECT_EQ(state().ChannelSettings.Velocity, 50);
}

TEST_F(PemoMidiInTest, SustainSwitchesOnlyOnChangeAndPassesThroughOtherwise)
{
    edit([&](TPlayerState& s) { s.RightChannel = 4; });
    inject("Keys", 0xB0, 64, 127);
    settle();
    EXPECT_TRUE(state().SustainOn);
    EXPECT_EQ(frm->btnSustain->text(), "Sustain Ein");
    EXPECT_EQ(takeSent(), (std::vector<Bytes>{{0xB0, 64, 127}}));

    inject("Keys", 0xB0, 64, 127);
    settle();
    EXPECT_TRUE(state().SustainOn);
    EXPECT_EQ(takeSent(), (std::vector<Bytes>{{0xB0, 64, 127}, {0xB4, 64, 127}}));

    inject("Keys", 0xB0, 64, 0);
    settle();
    EXPECT_FALSE(state().SustainOn);
    EXPECT_EQ(frm->btnSustain->text(), "Sustain Aus");
    EXPECT_EQ(takeSent(), (std::vector<Bytes>{{0xB0, 64, 0}}));
}

TEST_F(PemoMidiInTest, EqualBoundNumbersTakeTheFirstRuleAndSustainGivesWay)
{
    edit([&](TPlayerState& s) { s.GeneralSettings.Panoramacontroller = 7; });   // same as volume: volume wins
    inject("Keys", 0xB0, 7, 100);
    settle();
    EXPECT_EQ(frm->tbVolume->value(), 27);
    EXPECT_EQ(frm->tbPanorama->value(), 64);
    takeSent();

    edit([&](TPlayerState& s) { s.GeneralSettings.Choruscontroller = 64; });   // same as sustain
    inject("Keys", 0xB0, 64, 100);                                             // switches sustain on: chorus stays
    settle();
    EXPECT_TRUE(state().SustainOn);
    EXPECT_EQ(frm->tbChorus->value(), 0);
    inject("Keys", 0xB0, 64, 110);   // changes nothing for sustain: chorus takes it
    settle();
    EXPECT_TRUE(state().SustainOn);
    EXPECT_EQ(frm->tbChorus->value(), 110);
    EXPECT_EQ(takeSent(), (std::vector<Bytes>{{0xB0, 64, 127}, {0xB0, 91, 110}}));
}

TEST_F(PemoMidiInTest, NotesPlayOnTheKeyboardAndVelocityZeroReleases)
{
    inject("Keys", 0x93, 60, 100);   // any input channel
    settle();
    EXPECT_TRUE(frm->Pemo->IsMarked(60));
    inject("Keys", 0x90, 60, 0);
    inject("Keys", 0x90, 62, 90);
    inject("Keys", 0x80, 62, 64);
    settle();
    EXPECT_FALSE(frm->Pemo->IsMarked(60));
    EXPECT_FALSE(frm->Pemo->IsMarked(62));
    EXPECT_EQ(takeSent(), (std::vector<Bytes>{{0x90, 60, 100}, {0x80, 60, 0}, {0x90, 62, 90}, {0x80, 62, 0}}));
}

TEST_F(PemoMidiInTest, ManualVelocityReplacesTheIncomingOne)
{
    ASSERT_TRUE(frm->slVelocity->Toggle());   // "Auto" -> "Manu"
    EXPECT_TRUE(state().ManualVelocity);
    EXPECT_TRUE(frm->tbVelocity->isEnabled());
    frm->tbVelocity->setValue(50);
    inject("Keys", 0x90, 60, 90);
    settle();
    EXPECT_EQ(takeSent(), (std::vector<Bytes>{{0x90, 60, 50}}));

    // A manual velocity of 0 plays as softly as a Note On can.
    frm->tbVelocity->setValue(0);
    inject("Keys", 0x90, 61, 90);
    settle();
    EXPECT_EQ(takeSent(), (std::vector<Bytes>{{0x90, 61, 1}}));

    ASSERT_TRUE(frm->slVelocity->Toggle());   // back to "Auto"
    EXPECT_FALSE(state().ManualVelocity);
    EXPECT_FALSE(frm->tbVelocity->isEnabled());
    inject("Keys", 0x90, 62, 90);
    settle();
    EXPECT_EQ(takeSent(), (std::vector<Bytes>{{0x90, 62, 90}}));
}

TEST_F(PemoMidiInTest, LearnModeTakesTheLastControllerAndBindsTheNextMovedSlider)
{
    frm->btnLerne->click();
    EXPECT_EQ(frm->btnLerne->text(), "Lerne Ein");
    inject("Keys", 0xB0, 21, 64);
    inject("Pads", 0xB3, 7, 10);     // the volume number moves nothing while learning
    inject("Keys", 0x90, 64, 100);   // notes still play
    inject("Keys", 0xB0, 22, 5);
    settle();
    EXPECT_EQ(state().LearnedController, 22);
    EXPECT_EQ(frm->tbVolume->value(), 0);
    EXPECT_EQ(takeSent(), (std::vector<Bytes>{{0x90, 64, 100}}));

    frm->tbPanorama->setValue(30);   // the player moves the panorama slider
    EXPECT_EQ(state().GeneralSettings.Panoramacontroller, 22);
    EXPECT_FALSE(state().LearnOn);
    EXPECT_EQ(frm->btnLerne->text(), "Lerne Aus");
    EXPECT_EQ(frm->lblPanorama->text(), "Panorama 64");
    EXPECT_EQ(state().ChannelSettings.Panorama, 64);
    EXPECT_TRUE(takeSent().empty());

    inject("Keys", 0xB0, 22, 112);
    settle();
    EXPECT_EQ(frm->tbPanorama->value(), 112);
    EXPECT_EQ(takeSent(), (std::vector<Bytes>{{0xB0, 10, 112}}));
}

// After learning, the slider stands where the player moved it while its value stays the old one:
// a controller changes nothing when it names the slider's position, whatever the value.
TEST_F(PemoMidiInTest, AfterLearningAControllerComparesWithTheSlidersPositionNotItsValue)
{
    frm->btnLerne->click();
    inject("Keys", 0xB0, 22, 1);
    settle();
    frm->tbPanorama->setValue(30);   // binds 22; Panorama stays 64
    ASSERT_EQ(state().ChannelSettings.Panorama, 64);
    takeSent();

    inject("Keys", 0xB0, 22, 30);
    settle();
    EXPECT_TRUE(takeSent().empty());
    inject("Keys", 0xB0, 22, 64);
    settle();
    EXPECT_EQ(takeSent(), (std::vector<Bytes>{{0xB0, 10, 64}}));
    EXPECT_EQ(frm->tbPanorama->value(), 64);
    EXPECT_EQ(frm->lblPanorama->text(), "Panorama 64");
}

TEST_F(PemoMidiInTest, PortDialogMonitorsEchoesPerTickedOutputAndShowsTheMessage)
{
    frmPortWahl->show();
    ASSERT_TRUE(state().PortDialogShowing);
    // Its activation empties the monitor line: it comes first.
    ASSERT_TRUE(QTest::qWaitForWindowActive(frmPortWahl));
    frmPortWahl->clbOutputDevices->item(0)->setCheckState(Qt::Checked);
    frmPortWahl->clbOutputDevices->item(1)->setCheckState(Qt::Checked);
    inject("Pads", 0x90, 0x3C, 0x64);
    settle();
    EXPECT_FALSE(frm->Pemo->IsMarked(60));
    EXPECT_EQ(takeSent(), (std::vector<Bytes>{{0x90, 0x3C, 0x64}, {0x90, 0x3C, 0x64}}));
    EXPECT_EQ(frmPortWahl->StatusBar1->currentMessage(), "Pads: Statusbyte 90, Parameter 1 3C, Parameter 2 64");

    frmPortWahl->clbOutputDevices->item(1)->setCheckState(Qt::Unchecked);
    inject("Keys", 0xBA, 0x7F, 0x0A);
    settle();
    EXPECT_EQ(takeSent(), (std::vector<Bytes>{{0xBA, 0x7F, 0x0A}}));
    EXPECT_EQ(frmPortWahl->StatusBar1->currentMessage(), "Keys: Statusbyte BA, Parameter 1 7F, Parameter 2 0A");
    EXPECT_EQ(frm->tbVolume->value(), 0);

    frmPortWahl->hide();
    inject("Keys", 0x90, 0x3C, 0x64);
    settle();
    EXPECT_TRUE(frm->Pemo->IsMarked(60));
}

TEST_F(PemoMidiInTest, NotesHeldWhenThePortDialogOpensEndThereAndEchoedNotesEndWhereTheEchoWent)
{
    edit([&](TPlayerState& s) { s.Transpose = 2; });
    inject("Keys", 0x90, 0x3C, 0x64);
    settle();
    ASSERT_EQ(takeSent(), (std::vector<Bytes>{{0x90, 0x3E, 0x64}}));

    withPortDialog([&] {
        inject("Keys", 0x80, 0x3C, 0x00);   // echoed as it came
        inject("Keys", 0x91, 0x40, 0x64);   // held while the dialog closes
        settle();
    });
    inject("Keys", 0x81, 0x40, 0x00);
    settle();

    EXPECT_EQ(sentNotes(),
              (std::vector<Bytes>{{0x80, 0x3E, 0x00}, {0x80, 0x3C, 0x00}, {0x91, 0x40, 0x64}, {0x81, 0x40, 0x00}}));
    EXPECT_FALSE(frm->Pemo->IsMarked(0x3C));
}

TEST_F(PemoMidiInTest, AnOutputChangeEndsTheEchoedNotesOnTheOldPortFirst)
{
    withPortDialog([&] {
        inject("Keys", 0x90, 0x3C, 0x64);
        settle();
        QListWidget* outputs = frmPortWahl->clbOutputDevices;
        outputs->setCurrentRow(1);
        QTest::keyClick(outputs, Qt::Key_Space);
        ASSERT_EQ(state().CurrentOutputPort, 1);
    });

    std::vector<std::pair<int, Bytes>> notes;
    for (const tarv::SentMessage& m : loop->sent())
        if ((m.bytes[0] & 0xE0) == 0x80)
            notes.emplace_back(m.device, m.bytes);
    EXPECT_EQ(notes, (std::vector<std::pair<int, Bytes>>{{0, {0x90, 0x3C, 0x64}}, {0, {0x80, 0x3C, 0x00}}}));
}

TEST_F(PemoMidiInTest, ClosingTheWindowEndsTheNotesOfAHeldKey)
{
    inject("Keys", 0x90, 60, 100);
    settle();
    takeSent();

    EXPECT_TRUE(frm->close());

    EXPECT_EQ(takeSent(), (std::vector<Bytes>{{0x80, 60, 0}}));
}

TEST_F(PemoMidiInTest, OtherMessagesPassThroughOnBothChannels)
{
    edit([&](TPlayerState& s) { s.LeftChannel = 2; });
    edit([&](TPlayerState& s) { s.RightChannel = 9; });
    inject("Keys", 0xE0, 0x00, 0x40);   // pitch bend on channel 1
    inject("Keys", 0xE4, 0x12, 0x34);   // and on channel 5
    inject("Keys", 0xC4, 5);            // program change: two bytes
    inject("Keys", 0xB0, 1, 70);        // an unbound controller
    inject("Keys", 0xF8);               // clock: once, unchanged
    inject("Keys", 0xD3, 90);           // channel pressure
    inject("Keys", 0xA1, 60, 30);       // key pressure
    settle();
    // The byte a program change does not carry is not looked at.
    player.MidiIn(0, 0xC0, 7, 0xFF);
    EXPECT_EQ(takeSent(),
              (std::vector<Bytes>{{0xE2, 0x00, 0x40},
                                  {0xE9, 0x00, 0x40},
                                  {0xE2, 0x12, 0x34},
                                  {0xE9, 0x12, 0x34},
                                  {0xC2, 5},
                                  {0xC9, 5},
                                  {0xB2, 1, 70},
                                  {0xB9, 1, 70},
                                  {0xF8},
                                  {0xD2, 90},
                                  {0xD9, 90},
                                  {0xA2, 60, 30},
                                  {0xA9, 60, 30},
                                  {0xC2, 7},
                                  {0xC9, 7}}));
}

TEST_F(PemoMidiInTest, ActiveSensingAndMalformedMessagesAreDropped)
{
    inject("Keys", 0xFE);
    inject("Keys", 0x90, 60, 100);
    settle();
    // A data byte above 127 is a status byte out of place (a faulty device or driver).
    player.MidiIn(0, 0x90, 0x80, 100);
    player.MidiIn(0, 0xB0, 7, 200);
    player.MidiIn(0, 0xE0, 0x00, 0xF0);
    // A data byte in the status's place, and the bytes of system exclusive.
    player.MidiIn(0, 0x40, 60, 100);
    player.MidiIn(0, 0xF0, 1, 2);
    player.MidiIn(0, 0xF7, 0, 0);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(takeSent(), (std::vector<Bytes>{{0x90, 60, 100}}));
    EXPECT_EQ(frm->tbVolume->value(), 0);
}

// The UI thread handles messages while the service thread still delivers others.
TEST_F(PemoMidiInTest, MessagesFromTwoPortsAreHandledInArrivalOrder)
{
    constexpr int Pairs = 200;
    std::vector<Bytes> expected;
    for (int i = 0; i < Pairs; ++i) {
        const std::uint8_t note = std::uint8_t(i % 120);
        const std::uint8_t velocity = std::uint8_t(1 + i % 126);
        expected.push_back({0x90, note, velocity});
        expected.push_back({0x80, note, 0});
    }
    std::thread keyboard([&] {
        for (int i = 0; i < Pairs; ++i) {
            const char* port = i % 2 == 0 ? "Keys" : "Pads";
            inject(port, 0x90, expected[2 * i][1], expected[2 * i][2]);
            inject(port, 0x80, expected[2 * i][1], 0);
        }
    });
    const bool allOut = tarv::test::waitFor([&] { return loop->sent().size() >= expected.size(); });
    keyboard.join();
    ASSERT_TRUE(allOut);
    EXPECT_EQ(takeSent(), expected);
}

TEST_F(PemoMidiInTest, FailingSendIsReportedOnceAndHandlingGoesOn)
{
    loop->failSend("Out 1", "Ausgabe gestört");
    inject("Keys", 0xE0, 0, 0x40);   // both channels fail: one report
    inject("Keys", 0xE0, 0, 0x41);   // the same failure again: not shown again
    settle();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].contains(QString::fromUtf8("Ausgabe gestört"))) << errors[0].toStdString();

    loop->failSend("Out 1", "");
    inject("Keys", 0xB0, 7, 100);
    settle();
    EXPECT_EQ(frm->tbVolume->value(), 27);
    EXPECT_EQ(takeSent(), (std::vector<Bytes>{{0xB0, 7, 100}}));

    // After a message went through, a new failure is shown again.
    loop->failSend("Out 1", "Ausgabe gestört");
    inject("Keys", 0xB0, 7, 90);
    settle();
    EXPECT_EQ(errors.size(), 2u);
    EXPECT_EQ(frm->tbVolume->value(), 37);
}

// The window goes while a keyboard plays at full speed: its input stops first, and nothing that
// arrives later reaches the window or goes out.
TEST_F(PemoMidiInTest, TheWindowGoesWhileInputFlows)
{
    std::atomic<bool> gone{false};
    std::atomic<int> afterwards{0};
    std::thread keyboard([&] {
        for (int i = 0; afterwards < 500; ++i) {
            inject("Keys", i % 2 ? 0x80 : 0x90, std::uint8_t(36 + i / 2 % 48), 100);
            if (gone)
                ++afterwards;
        }
    });
    const bool playing = loop->waitSent(200);
    frm.reset();
    const std::size_t sentWhenGone = loop->sent().size();
    gone = true;
    keyboard.join();
    ASSERT_TRUE(playing);
    ASSERT_TRUE(loop->waitInputIdle());
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(loop->sent().size(), sentWhenGone);
    EXPECT_EQ(loop->openInputCount(), 0);
}

// Input from two ports at full speed, routed on the service thread, while the player plays the
// mouse, switches the left channel, moves sliders that input moves too and opens the port dialog:
// nothing waits forever, and every Note On on the wire is ended on its channel.
TEST_F(PemoMidiInTest, InputFromTwoPortsWhileThePlayerPlaysEndsEveryNote)
{
    showWindow();
    std::atomic<bool> playing{true};
    const auto keyboard = [&](const char* port, std::uint8_t channel, std::uint8_t lowest) {
        for (int round = 0; playing; ++round) {
            for (int i = 0; i < 24; ++i) {
                const auto note = std::uint8_t(lowest + (round + i) % 24);
                inject(port, std::uint8_t(0x90 | channel), note, std::uint8_t(1 + i));
                if (i % 8 == 0)
                    inject(port, std::uint8_t(0xB0 | channel), 7, std::uint8_t(round % 128));
                if (i % 12 == 0)
                    inject(port, std::uint8_t(0xE0 | channel), 0, std::uint8_t(i));
                inject(port, std::uint8_t(0x80 | channel), note, 0);
            }
            // Full speed, but never far ahead of what the program takes.
            loop->waitInputIdle();
        }
    };
    // Both keyboards play until the player is done, also when a check fails on the way.
    struct TKeyboards {
        TKeyboards(std::atomic<bool>& playing, const decltype(keyboard)& play)
            : playing(playing), keys(play, "Keys", 0, 36), pads(play, "Pads", 1, 48)
        {}
        ~TKeyboards()
        {
            playing = false;
            keys.join();
            pads.join();
        }
        std::atomic<bool>& playing;
        std::thread keys, pads;
    };
    std::optional<TKeyboards> keyboards;
    keyboards.emplace(playing, keyboard);

    for (int round = 0; round < 12; ++round) {
        const QPoint key = frm->Pemo->KeyRect(40 + 2 * round).center();
        QTest::mousePress(frm->Pemo, Qt::LeftButton, {}, key);
        QTest::mouseClick(frm->tbVolume, Qt::LeftButton, {}, QPoint(15, round % 2 ? 10 : 110));
        QTest::mouseClick(frm->tbPanorama, Qt::LeftButton, {}, QPoint(round % 2 ? 10 : 110, 12));
        clickSpinButton(frm->seLKanal, round % 4 < 2);
        QTest::mouseRelease(frm->Pemo, Qt::LeftButton, {}, key);
        if (round % 6 == 5) {
            withPortDialog([&] {
                // Input goes on while the dialog shows: the monitor takes it.
                EXPECT_TRUE(tarv::test::waitFor([&] { return !frmPortWahl->StatusBar1->currentMessage().isEmpty(); }));
            });
        }
        QCoreApplication::processEvents();
    }
    keyboards.reset();
    settle();

    // As a receiver sees the wire: a Note Off ends its channel's note.
    std::array<std::bitset<128>, 16> sounding{};
    for (const Bytes& m : sentBytes()) {
        const int kind = m[0] & 0xF0;
        if (kind == 0x90 || kind == 0x80)
            sounding[m[0] & 0x0F].set(m[1], kind == 0x90 && m[2] > 0);
    }
    for (int channel = 0; channel < 16; ++channel)
        EXPECT_TRUE(sounding[std::size_t(channel)].none())
            << "channel " << channel << ": " << sounding[std::size_t(channel)];
    for (int note = 0; note < 128; ++note) {
        EXPECT_FALSE(state().NotesOn[std::size_t(note)]) << note;
        EXPECT_FALSE(frm->Pemo->IsMarked(note)) << note;
    }
    EXPECT_TRUE(errors.empty());
}

}   // namespace
