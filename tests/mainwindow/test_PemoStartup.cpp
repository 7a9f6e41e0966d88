// The main window's start: start-up sending, player state, layout, RefreshControls, channel switch, close.
#include "PemoFixture.h"

#include "dialogs/portWahl.h"
#include "skin/PictureButton.h"
#include "widgets/Klavier.h"
#include "widgets/KlavierO.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>

namespace {

// The stored settings of one channel as the start-up sending puts them on the wire.
std::vector<Bytes> channelSending(int channel, int instrument, int volume, int panorama, int sustain, int chorus,
                                  int reverb)
{
    const auto cc = static_cast<std::uint8_t>(0xB0 + channel);
    return {{static_cast<std::uint8_t>(0xC0 + channel), static_cast<std::uint8_t>(instrument)},
            {cc, 7, static_cast<std::uint8_t>(volume)},
            {cc, 10, static_cast<std::uint8_t>(panorama)},
            {cc, 64, static_cast<std::uint8_t>(sustain)},
            {cc, 91, static_cast<std::uint8_t>(chorus)},
            {cc, 93, static_cast<std::uint8_t>(reverb)}};
}

std::vector<Bytes> slice(const std::vector<Bytes>& all, std::size_t from, std::size_t count)
{
    return {all.begin() + static_cast<std::ptrdiff_t>(from), all.begin() + static_cast<std::ptrdiff_t>(from + count)};
}

const QByteArray StoredChannels = "[kanal0]\r\n"
                                  "Instrument=40\r\nVelocity=90\r\nVolume=100\r\nPanorama=20\r\n"
                                  "Sustain=127\r\nChorus=30\r\nReverb=40\r\n"
                                  "[kanal1]\r\n"
                                  "Instrument=8\r\nVolume=50\r\nPanorama=10\r\nSustain=0\r\n"
                                  "[allgemein]\r\n"
                                  "Programmmodus=1\r\nHint=0\r\n";

TEST_F(PemoTest, FirstStartSendsTheReaderDefaultsAndWritesTheFreshFileForLater)
{
    startUp();

    const auto sent = sentBytes();
    ASSERT_EQ(sent.size(), 16u * 6u);
    for (int channel = 0; channel < 16; ++channel)
        EXPECT_EQ(slice(sent, 6 * static_cast<std::size_t>(channel), 6), channelSending(channel, 0, 127, 64, 0, 0, 0))
            << "channel " << channel;
    // The fresh file takes effect later; the player's state keeps the defaults read before.
    EXPECT_TRUE(QFile::exists(settingsPath()));
    EXPECT_EQ(StoredChannelSettings(3).Instrument, 24);
    EXPECT_EQ(state().ChannelSettings.Instrument, 0);
    EXPECT_EQ(state().GeneralSettings.PlayMode, 0);
    EXPECT_TRUE(state().GeneralSettings.Hint);
}

TEST_F(PemoTest, StartWithAFileSendsTheStoredValuesAndTheActivationShowsChannel0)
{
    writeSettings(StoredChannels);
    startUp();

    const auto sent = sentBytes();
    ASSERT_EQ(sent.size(), 16u * 6u);
    EXPECT_EQ(slice(sent, 0, 6), channelSending(0, 40, 100, 20, 127, 30, 40));
    EXPECT_EQ(slice(sent, 6, 6), channelSending(1, 8, 50, 10, 0, 0, 0));
    // An existing file is left as it is: no fresh contents for the channels it lacks.
    EXPECT_EQ(StoredChannelSettings(2).Instrument, 0);

    loop->clearSent();
    showWindow();
    EXPECT_EQ(frm->tbVelocity->value(), 90);
    EXPECT_EQ(frm->tbVolume->value(), 27);
    EXPECT_EQ(frm->tbPanorama->value(), 20);
    EXPECT_EQ(frm->tbChorus->value(), 30);
    EXPECT_EQ(frm->tbReverb->value(), 40);
    EXPECT_TRUE(state().SustainOn);
    EXPECT_EQ(frm->btnSustain->text(), "Sustain Ein");
    EXPECT_EQ(frm->cbModus->currentIndex(), 1);
    EXPECT_TRUE(frm->btnSetSplit->isEnabled());
    EXPECT_TRUE(frm->seSplitOktave->isEnabled());
    EXPECT_EQ(frm->btnHint->text(), "Hint Aus");
    // The sliders that moved sent their controllers; sustain is shown, not sent.
    EXPECT_EQ(sentBytes(), (std::vector<Bytes>{{0xB0, 7, 100}, {0xB0, 10, 20}, {0xB0, 91, 30}, {0xB0, 93, 40}}));

    // A later activation with unchanged values moves nothing and sends nothing.
    loop->clearSent();
    frm->FormActivate();
    EXPECT_TRUE(sentBytes().empty());
}

TEST_F(PemoTest, AStoredModeOtherThan0Or1SelectsNothingAndRoutesNothingUntilThePlayerPicksOne)
{
    writeSettings("[allgemein]\nProgrammmodus=7\n");
    startUp();
    showWindow();
    loop->clearSent();

    EXPECT_EQ(frm->cbModus->currentIndex(), -1);
    EXPECT_EQ(state().GeneralSettings.PlayMode, 255);
    EXPECT_FALSE(frm->btnSetSplit->isEnabled());
    frm->Pemo->PressNote(60, 100, true);
    frm->Pemo->ReleaseNote(60, 0, true);
    EXPECT_TRUE(sentBytes().empty());

    chooseMode(0);
    frm->Pemo->PressNote(60, 100, true);
    EXPECT_EQ(sentBytes(), (std::vector<Bytes>{{0x90, 60, 100}}));
}

TEST_F(PemoTest, TheWindowOpensWithItsLayoutAndTheCoversClosed)
{
    startUp();

    EXPECT_TRUE(frm->windowTitle().startsWith("Ovelin Tarv ( SplitKeyBoard)  "));
    EXPECT_GT(frm->windowTitle().size(), QString("Ovelin Tarv ( SplitKeyBoard)  ").size());
    EXPECT_EQ(frm->minimumSize(), QSize(894, 312));
    EXPECT_EQ(frm->maximumSize(), QSize(894, 312));
    EXPECT_FALSE(frm->windowFlags() & Qt::WindowMaximizeButtonHint);

    struct Place {
        const char* name;
        const char* parent;
        QRect geometry;
    };
    // clang-format off
    const Place places[] = {
        {"panelBasis", "frmPemo", {27, 24, 838, 252}},      {"panelIO", "panelBasis", {40, 12, 757, 36}},
        {"bbtnPorts", "panelIO", {3, 2, 32, 32}},           {"slVelocity", "panelVelocity", {0, 0, 40, 36}},
        {"tbVelocity", "panelVelocity", {40, 12, 87, 24}},  {"panelReverb", "panelIO", {419, 0, 127, 36}},
        {"panelKBview", "panelBasis", {40, 48, 757, 144}},  {"panelKB", "panelKBview", {-252, 0, 1260, 144}},
        {"PemoOM", "panelKB", {0, 0, 1260, 18}},            {"Pemo", "panelKB", {0, 17, 1260, 107}},
        {"lblC7", "panelKB", {882, 126, 18, 16}},           {"panelIU", "panelBasis", {40, 192, 757, 48}},
        {"seLKanal", "PanelKanal", {1, 2, 35, 21}},         {"cbModus", "panelIU", {73, 1, 223, 22}},
        {"sPanel1", "panelIU", {147, 24, 232, 22}},         {"bbtnPckey", "panelIU", {380, 0, 210, 48}},
        {"seSplitOktave", "PanelSplit", {127, 1, 36, 21}},  {"panelIL", "panelBasis", {7, 48, 33, 144}},
        {"tbVolume", "panelIL", {1, 1, 31, 124}},           {"panelIR", "panelBasis", {796, 48, 36, 144}},
        {"btnLerne", "panelIR", {1, 72, 35, 36}},           {"btnSpr", "panelIR", {1, 125, 35, 17}},
        {"panelAO", "frmPemo", {67, 36, 757, 36}},          {"panelAU", "frmPemo", {67, 216, 757, 48}},
        {"panelAL", "frmPemo", {36, 72, 33, 144}},          {"panelAR", "frmPemo", {824, 72, 35, 144}},
    };
    // clang-format on
    for (const Place& place : places) {
        const auto* widget = frm->findChild<QWidget*>(place.name);
        ASSERT_NE(widget, nullptr) << place.name;
        EXPECT_EQ(widget->parentWidget()->objectName(), place.parent) << place.name;
        EXPECT_EQ(widget->geometry(), place.geometry) << place.name;
    }
    // The covers lie above the strips.
    EXPECT_EQ(frm->childAt(100, 50), frm->panelAO);

    EXPECT_TRUE(frm->PemoOM->isHidden());
    EXPECT_FALSE(frm->PemoOM->isEnabled());
    EXPECT_FALSE(frm->tbVelocity->isEnabled());
    EXPECT_FALSE(frm->lblVelocity->isEnabled());
    for (QWidget* control : frm->PanelSplit->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
    for (std::size_t k = 0; k < 10; ++k)
        EXPECT_EQ(frm->lblC[k]->isEnabled(), k >= 3 && k <= 7) << k;
    EXPECT_EQ(frm->btnSetSplit->text(), "Set C5");
    EXPECT_EQ(frm->bbtnPckey->text(), "I");
    EXPECT_EQ(frm->cbModus->itemText(1), "1: SplitKeyboard");
    EXPECT_EQ(frm->tbVolume->pageStep(), 4);
    EXPECT_EQ(frm->tbPanorama->singleStep(), 2);
    EXPECT_EQ(frm->tbPanorama->pageStep(), 16);
}

TEST_F(PemoTest, SpinEditsTakeNoTypingButStepWithTheirButtons)
{
    startUp();
    showWindow();
    frm->seLKanal->setFocus();
    QTest::keyClicks(frm->seLKanal, "7");
    EXPECT_EQ(frm->seLKanal->value(), 1);
    EXPECT_EQ(state().LeftChannel, 0);
    frm->seLKanal->stepUp();
    EXPECT_EQ(state().LeftChannel, 1);
}

TEST_F(PemoTest, SpinEditsStepOnlyWithTheirButtons)
{
    startUp();
    showWindow();
    chooseMode(1);
    for (QSpinBox* spin : {frm->seLKanal, frm->seRkanal, frm->seSplitOktave}) {
        SCOPED_TRACE(spin->objectName().toStdString());
        spin->setFocus();
        const int value = spin->value();
        for (const Qt::Key key : {Qt::Key_Up, Qt::Key_PageUp, Qt::Key_Down, Qt::Key_PageDown}) {
            QTest::keyClick(QApplication::focusWidget(), key);
            EXPECT_EQ(spin->value(), value) << "key " << key;
        }
        clickSpinButton(spin, value == spin->minimum());
        EXPECT_NE(spin->value(), value);
    }
    EXPECT_EQ(state().LeftChannel, 1);
}

TEST_F(PemoTest, AWindowShownWithoutActivationShowsTheStoredSettings)
{
    writeSettings(StoredChannels);
    startUp();
    // A window manager that does not activate new windows: the window never hears of an activation.
    struct TNoActivation : QObject {
        bool eventFilter(QObject*, QEvent* event) override
        {
            return event->type() == QEvent::ActivationChange || event->type() == QEvent::WindowActivate;
        }
    } noActivation;
    frm->installEventFilter(&noActivation);
    frm->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frm.get()));

    // The list shows the split mode that routes the notes.
    EXPECT_EQ(frm->cbModus->currentIndex(), 1);
    EXPECT_TRUE(frm->btnSetSplit->isEnabled());
    EXPECT_EQ(frm->tbPanorama->value(), 20);
    EXPECT_EQ(frm->btnSustain->text(), "Sustain Ein");
}

TEST_F(PemoTest, ClosingSavesTheLeftChannelAndTheGeneralSettings)
{
    startUp();
    showWindow();
    seLKanalTo(3);
    edit([&](TPlayerState& s) { s.ChannelSettings.Panorama = 99; });
    chooseMode(1);

    EXPECT_TRUE(frm->close());

    EXPECT_EQ(StoredChannelSettings(2).Panorama, 99);
    EXPECT_EQ(StoredGeneralSettings().PlayMode, 1);
    EXPECT_TRUE(errors.empty());
}

TEST_F(PemoTest, AFailedSaveOnCloseIsShownAndTheWindowClosesAllTheSame)
{
    // A folder where the file should be: it cannot be written.
    ASSERT_TRUE(QDir().mkpath(settingsPath()));
    startUp();
    showWindow();

    EXPECT_TRUE(frm->close());

    EXPECT_FALSE(frm->isVisible());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].contains("kann nicht geschrieben werden")) << errors[0].toStdString();
}

TEST_F(PemoTest, ASettingsFileThatCannotBeCreatedIsReportedOnceTheMessageLoopRuns)
{
    SetSettingsFolder((fSettings.path() + "/missing").toStdString());
    startUp();
    EXPECT_TRUE(errors.empty());
    ASSERT_TRUE(tarv::test::waitFor([this] { return !errors.empty(); }));
    EXPECT_TRUE(errors[0].contains("kann nicht geschrieben werden"));
}

TEST_F(PemoTest, ChannelSwitchSavesTheOldChannelLoadsAndSendsTheNewOneAndComesBack)
{
    writeSettings(StoredChannels);
    startUp();
    showWindow();
    frm->tbPanorama->setValue(100);   // the player moves the slider: not stored yet
    ASSERT_EQ(state().ChannelSettings.Panorama, 100);
    loop->clearSent();

    seLKanalTo(2);

    EXPECT_EQ(StoredChannelSettings(0).Panorama, 100);
    EXPECT_EQ(state().LeftChannel, 1);
    EXPECT_EQ(state().ChannelSettings.Volume, 50);
    auto expected = channelSending(1, 8, 50, 10, 0, 0, 0);
    // RefreshControls then moves the sliders that differ, which send on the new channel.
    expected.push_back({0xB1, 7, 50});
    expected.push_back({0xB1, 10, 10});
    expected.push_back({0xB1, 91, 0});
    expected.push_back({0xB1, 93, 0});
    EXPECT_EQ(sentBytes(), expected);
    EXPECT_EQ(frm->btnSustain->text(), "Sustain Aus");
    EXPECT_EQ(frm->tbVolume->value(), 77);

    // Back on channel 1 the moved panorama is there again, on the slider and on the wire.
    loop->clearSent();
    seLKanalTo(1);
    EXPECT_EQ(state().LeftChannel, 0);
    EXPECT_EQ(state().ChannelSettings.Panorama, 100);
    EXPECT_EQ(frm->tbPanorama->value(), 100);
    EXPECT_EQ(slice(sentBytes(), 0, 6), channelSending(0, 40, 100, 100, 127, 30, 40));
    EXPECT_EQ(frm->btnSustain->text(), "Sustain Ein");
}

TEST_F(PemoTest, AChannelSwitchThatCannotSaveStaysOnTheChannelInForce)
{
    ASSERT_TRUE(QDir().mkpath(settingsPath()));
    startUp();
    showWindow();
    loop->clearSent();

    seLKanalTo(4);

    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(state().LeftChannel, 0);
    EXPECT_EQ(frm->seLKanal->value(), 1);
    EXPECT_TRUE(sentBytes().empty());
}

TEST_F(PemoTest, ThePortDialogResendsTheStoredChannelsAndTheReturnSendsNothingMore)
{
    writeSettings(StoredChannels);
    startUp();
    new TfrmPortWahl(frm.get(), player);
    showWindow();
    frm->tbPanorama->setValue(100);   // moved, not stored
    loop->clearSent();

    // The player closes the dialog as soon as it shows.
    QTimer close;
    close.setInterval(10);
    QObject::connect(&close, &QTimer::timeout, [] {
        if (frmPortWahl->isVisible())
            frmPortWahl->reject();
    });
    close.start();
    frm->bbtnPorts->click();
    close.stop();

    EXPECT_EQ(frm->Pemo->MIDIDevice(), state().CurrentOutputPort);
    const auto sent = sentBytes();
    ASSERT_EQ(sent.size(), 16u * 6u);
    EXPECT_EQ(slice(sent, 0, 6), channelSending(0, 40, 100, 20, 127, 30, 40));
    // Back in the main window (its activation) the slider is where it was: nothing more goes out.
    frm->FormActivate();
    EXPECT_EQ(sentBytes().size(), 16u * 6u);
    EXPECT_EQ(frm->tbPanorama->value(), 100);
}

TEST_F(PemoTest, KeysOfTheFocusedControlArePreviewedAndStillReachIt)
{
    startUp();
    showWindow();
    chooseMode(1);
    frm->cbModus->setFocus();
    loop->clearSent();

    // Q plays the note left of the split point; the mode list still sees the key.
    QTest::keyPress(frm->cbModus, Qt::Key_Q, Qt::NoModifier);
    QTest::keyRelease(frm->cbModus, Qt::Key_Q, Qt::NoModifier);

    EXPECT_EQ(sentBytes(), (std::vector<Bytes>{{0x90, 48, 127}, {0x80, 48, 0}}));
}

}   // namespace
