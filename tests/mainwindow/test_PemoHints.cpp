// The main window's hints: their texts in German and English, the hint switch and its setting.
#include "PemoFixture.h"

#include "skin/PictureButton.h"
#include "skin/Skin.h"

#include <QApplication>
#include <QPushButton>
#include <QSlider>

namespace {

struct Row {
    const char* control;
    const char* german;
    const char* english;
};

// The hint table, lines joined by CR LF, spelling as the program's own.
// clang-format off
const Row HintTable[] = {
    {"slVelocity", "Steuerung der Anschlagstärke\r\nAuto = extern\r\nManu = intern",
     "Control Velocity\r\nAuto = external\r\nManu = internal"},
    {"tbVelocity", "Anschlagstärke\r\nintern / manuell", "Velocity\r\ninternal / manually adjustable"},
    {"tbPanorama", "Balanceeinstellung\r\nLinks .. Rechts", "Control Balance\r\nLeft .. Right"},
    {"tbChorus", "Choreffekt", "Control Chorus"},
    {"tbReverb", "Nachhall", "Control Reverb"},
    {"tbVolume", "Kanallautstärke", "Control Chanelvolume"},
    {"btnKlangAnz", "Anzeige der tatsächlich\r\nerklingenden Töne", "Activate Readout effectively Note"},
    {"btnReset", "Rücksetzen der Anzeige\r\nBeenden aller Töne", "Reset all Notes"},
    {"btnLerne",
     "Lernfunktion für externe Controller\r\n1. Dieser Schalter\r\n2. externen Regler betätigen\r\n"
     "3. internen Regler anklicken",
     "Learn external Controller\r\n1. Click this\r\n2. Move external Controller\r\n3. Click internal Control"},
    {"btnHint", "Ein/Aus dieser Erklärung", "On/Off Hint"},
    {"lblC5", "mittleres C\r\nzur Orientierung", "middle C\r\nfor your guidance"},
    {"panelKB", "Rückt die geklickte Oktave\r\nin die Mitte der Anzeige", "Center Octave"},
    {"Pemo", "Keyboard - spielen mit\r\nl. Maustaste, PC-Tastatur, externes Midigerät",
     "Keyboard - play\r\nl. Left-Click, PC-Keyboard, external MidiKeyboard"},
    {"PemoOM", "Anzeige der Klänge", "Readout effectively Note"},
    {"panelAO", "Blende: Midieinstellungen", "Frame: Midicontrol"},
    {"panelAR", "Blende: Systemeinstellungen", "Frame: Systemcontrol"},
    {"panelAU", "Blende: Spieleinstellungen", "Frame: Playcontrol"},
    {"panelAL", "Blende: Lautstärkeregler", "Frame: Volumecontrol"},
    {"seLKanal", "Midikanal für die linke Keyboardseite\r\nKanal 1..16, 10 ist Drums",
     "MidiChannel left Keyboardside\r\nChannel 1..16, 10 is Drums"},
    {"lblKanal", "Kanaleinstellungen werden beim Wechsel gespeichert",
     "Channelparameter saved automatically on Change"},
    {"btnInstrument", "Intrumententeauswahl\r\nfür den angezeigten linken Kanal",
     "Choosing Intrument\r\n for selected left Channel"},
    {"cbModus", "Keyboardspielmodus", "Playmode"},
    {"btnStimmung", "Keyboardstimmung entsprechend dem Quintenzirkel", "Tune (corresponding circle of fifths)"},
    {"btnSustain", "Schaltet das Haltepedal Ein und Aus\r\n(Klavier rechtes Pedal)",
     "Switch Sustain On or Off\r\n(Piano  right Pedal)"},
    {"btnSetSplit", "Setzt den Splitpunkt für das Keyboard\r\nNach Klick auf dem Keyboard Ton spielen",
     "Set Keyborad-Splitpoint\r\nAfter Click play Note"},
    {"seRkanal", "Midikanal für die rechte Seite\r\nKanalparameter werden Links gesetzt", "MidiChannel right Side"},
    {"seSplitOktave",
     "Für den Splitkanal kann die Oktave nach unten verschoben werden\r\nSo ist eine Überlappung möglich",
     "Splitchannel Octaveshift"},
    {"bbtnPckey", "PC-Tastatur Ein/Aus\r\nOberer Block Oktave links und\r\nUnterer Block Oktave rechts vom Splitpunkt",
     "PC-Keyboard On/Off\r\nLeft and right from Splitpoint"},
    {"btnSpr", "Hintsprache Deutsch / Englisch", "Hintlanguage German / English"},
};
// clang-format on

const QString PortsHint = QStringLiteral("Auswahl der Midiports");

bool ownSwitch(const QString& name)
{
    return name == "tbVelocity" || name == "tbPanorama" || name == "tbChorus" || name == "tbReverb";
}

class PemoHintsTest : public PemoTest {
protected:
    void SetUp() override
    {
        PemoTest::SetUp();
        tarv::skin::installHintWindow(*static_cast<QApplication*>(QCoreApplication::instance()));
    }

    void TearDown() override
    {
        tarv::skin::hideHint();
        PemoTest::TearDown();
    }

    QWidget* control(const char* name) const { return frm->findChild<QWidget*>(QLatin1String(name)); }

    // Every control of the table, and bbtnPorts, carries the text of the language.
    void expectLanguage(bool german) const
    {
        EXPECT_EQ(frm->btnSpr->text(), german ? "Deu" : "Eng");
        EXPECT_EQ(HintLanguageGerman, german);
        for (const Row& row : HintTable) {
            QWidget* w = control(row.control);
            ASSERT_NE(w, nullptr) << row.control;
            EXPECT_EQ(w->toolTip(), QString::fromUtf8(german ? row.german : row.english)) << row.control;
        }
        EXPECT_EQ(frm->bbtnPorts->toolTip(), PortsHint);
    }

    // Which controls show their hint: all with the window's switch on, else the four sliders.
    void expectHintsShown(bool on) const
    {
        EXPECT_EQ(frm->btnHint->text(), on ? "Hint Ein" : "Hint Aus");
        for (const Row& row : HintTable)
            EXPECT_EQ(tarv::skin::effectiveShowHint(control(row.control)), on || ownSwitch(row.control)) << row.control;
        EXPECT_EQ(tarv::skin::effectiveShowHint(frm->bbtnPorts), on);
    }

    bool showHintOf(QWidget* w) const { return tarv::skin::showHintFor(w, w->mapToGlobal(w->rect().center())); }
};

TEST_F(PemoHintsTest, AStartWithHintsOffShowsOnlyTheFourSlidersHintsUntilSwitchedOn)
{
    writeSettings("[allgemein]\r\nHint=0\r\n");
    startUp();
    showWindow();
    expectHintsShown(false);
    EXPECT_FALSE(showHintOf(frm->btnReset));
    EXPECT_EQ(tarv::skin::currentHintWindow(), nullptr);
    ASSERT_TRUE(showHintOf(frm->tbChorus));
    EXPECT_EQ(tarv::skin::currentHintText(), "Choreffekt");

    // The language changes the texts also while the hints are off.
    QTest::mouseClick(frm->btnSpr, Qt::LeftButton);
    expectLanguage(false);
    expectHintsShown(false);

    QTest::mouseClick(frm->btnHint, Qt::LeftButton);
    EXPECT_TRUE(state().GeneralSettings.Hint);
    expectHintsShown(true);
    ASSERT_TRUE(showHintOf(frm->btnReset));
    EXPECT_EQ(tarv::skin::currentHintText(), "Reset all Notes");
    QTest::mouseClick(frm->btnHint, Qt::LeftButton);
    EXPECT_FALSE(state().GeneralSettings.Hint);
    expectHintsShown(false);
}

TEST_F(PemoHintsTest, TheLanguageButtonTogglesAllTextsBothWays)
{
    startUp();
    showWindow();
    expectLanguage(true);
    expectHintsShown(true);
    QTest::mouseClick(frm->btnSpr, Qt::LeftButton);
    expectLanguage(false);
    QTest::mouseClick(frm->btnSpr, Qt::LeftButton);
    expectLanguage(true);

    // The hint window shows the lines one under the other, within its width.
    ASSERT_TRUE(showHintOf(frm->seSplitOktave));
    EXPECT_EQ(tarv::skin::currentHintText(),
              "Für den Splitkanal kann die Oktave nach unten verschoben werden\nSo ist eine Überlappung möglich");
    EXPECT_LE(tarv::skin::currentHintWindow()->width(), tarv::skin::hintMaxWidth);
}

TEST_F(PemoHintsTest, TheVolumeHintShowsTheVolumeInEnglishModeUntilTheNextLanguageSwitch)
{
    startUp();
    showWindow();
    QTest::mouseClick(frm->btnSpr, Qt::LeftButton);
    frm->tbVolume->setValue(127 - 100);
    EXPECT_EQ(frm->tbVolume->toolTip(), "Kanallautstärke 100");
    EXPECT_EQ(frm->tbChorus->toolTip(), "Control Chorus");
    QTest::mouseClick(frm->btnSpr, Qt::LeftButton);
    EXPECT_EQ(frm->tbVolume->toolTip(), "Kanallautstärke");
    QTest::mouseClick(frm->btnSpr, Qt::LeftButton);
    EXPECT_EQ(frm->tbVolume->toolTip(), "Control Chanelvolume");
}

TEST_F(PemoHintsTest, EveryStartIsGermanAndTheHintSwitchIsSavedWithTheGeneralSettings)
{
    startUp();
    showWindow();
    QTest::mouseClick(frm->btnSpr, Qt::LeftButton);
    QTest::mouseClick(frm->btnHint, Qt::LeftButton);
    frm->close();
    {
        QFile file(settingsPath());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_TRUE(file.readAll().replace('\r', "").split('\n').contains("Hint=0"));
    }
    frm.reset();

    // The program starts again.
    ResetPcKeyMap();
    edit([&](TPlayerState& s) { s = TPlayerState{}; });
    startUp();
    showWindow();
    expectLanguage(true);
    expectHintsShown(false);
}

}   // namespace
