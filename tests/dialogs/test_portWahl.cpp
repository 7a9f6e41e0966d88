// The port dialog: ticking inputs and outputs, Reset, recovery from vanished devices, showing.
#include "DialogsFixture.h"

#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include <mutex>
#include <utility>

namespace {

using PortWahlTest = DialogsTest;

TEST_F(PortWahlTest, TickingTwoInputsOpensBothAndEachMessageKeepsItsDeviceIndex)
{
    start({"In A", "In B", "In C"}, {"Out 1"});
    std::mutex lock;
    std::vector<std::pair<int, int>> received;   // device index, note
    MidiInput().setOnMidiData([&](int device, std::uint8_t, std::uint8_t note, std::uint8_t) {
        std::lock_guard guard(lock);
        received.emplace_back(device, note);
    });
    frmPortWahl->show();

    toggleWithSpace(frmPortWahl->clbInputDevices, 0);
    toggleWithSpace(frmPortWahl->clbInputDevices, 2);
    EXPECT_TRUE(MidiInput().IsOpen(0));
    EXPECT_FALSE(MidiInput().IsOpen(1));
    EXPECT_TRUE(MidiInput().IsOpen(2));

    loop->injectShort("In C", 0x00643C90);   // Note On 60
    loop->injectShort("In A", 0x00643E90);   // Note On 62
    loop->injectShort("In B", 0x00644090);   // not open: dropped
    ASSERT_TRUE(loop->waitInputIdle());
    {
        std::lock_guard guard(lock);
        EXPECT_EQ(received, (std::vector<std::pair<int, int>>{{2, 60}, {0, 62}}));
    }

    toggleWithSpace(frmPortWahl->clbInputDevices, 2);
    EXPECT_FALSE(MidiInput().IsOpen(2));
    EXPECT_TRUE(MidiInput().IsOpen(0));
    EXPECT_TRUE(messages.empty());
}

TEST_F(PortWahlTest, TickingAnotherOutputMovesThePlayingPort)
{
    start({}, {"Out 1", "Out 2", "Out 3"});
    EXPECT_EQ(tickedRows(frmPortWahl->clbOutputDevices), std::vector<int>{0});
    SendProgramChange(player.OutputPort(), 0, 1);   // the start-up sending opens port 0
    frmPortWahl->show();

    toggleWithSpace(frmPortWahl->clbOutputDevices, 2);
    EXPECT_EQ(tickedRows(frmPortWahl->clbOutputDevices), std::vector<int>{2});
    EXPECT_FALSE(MidiOutput().IsOpen(0));
    EXPECT_TRUE(MidiOutput().IsOpen(2));
    EXPECT_EQ(state().CurrentOutputPort, 2);

    loop->clearSent();
    SendProgramChange(player.OutputPort(), 0, 5);
    ASSERT_EQ(loop->sent().size(), 1u);
    EXPECT_EQ(loop->sent()[0].device, 2);
}

TEST_F(PortWahlTest, UntickingTheOnlyTickedOutputTicksItAgain)
{
    start({}, {"Out 1", "Out 2"});
    frmPortWahl->show();
    toggleWithSpace(frmPortWahl->clbOutputDevices, 1);
    ASSERT_EQ(state().CurrentOutputPort, 1);

    toggleWithSpace(frmPortWahl->clbOutputDevices, 1);
    EXPECT_EQ(tickedRows(frmPortWahl->clbOutputDevices), std::vector<int>{1});
    EXPECT_TRUE(MidiOutput().IsOpen(1));
    EXPECT_EQ(state().CurrentOutputPort, 1);
}

TEST_F(PortWahlTest, ACheckBoxClickOpensAndClosesItsOwnInput)
{
    start({"In A", "In B", "In C"}, {"Out 1"});
    frmPortWahl->show();
    QListWidget* inputs = frmPortWahl->clbInputDevices;

    clickTick(inputs, 1);
    EXPECT_EQ(tickedRows(inputs), std::vector<int>{1});
    EXPECT_TRUE(MidiInput().IsOpen(1));

    // With another entry selected, a check box still acts on its own entry.
    clickText(inputs, 0);
    clickTick(inputs, 2);
    clickTick(inputs, 1);
    EXPECT_EQ(tickedRows(inputs), std::vector<int>{2});
    EXPECT_FALSE(MidiInput().IsOpen(0));
    EXPECT_FALSE(MidiInput().IsOpen(1));
    EXPECT_TRUE(MidiInput().IsOpen(2));
    EXPECT_EQ(loop->openInputCount(), 1);
    EXPECT_TRUE(messages.empty());
}

TEST_F(PortWahlTest, ACheckBoxClickMovesTheOutputToItsEntry)
{
    start({}, {"Out 1", "Out 2", "Out 3"});
    SendProgramChange(player.OutputPort(), 0, 1);
    frmPortWahl->show();
    QListWidget* outputs = frmPortWahl->clbOutputDevices;

    clickTick(outputs, 1);
    EXPECT_EQ(tickedRows(outputs), std::vector<int>{1});
    EXPECT_EQ(state().CurrentOutputPort, 1);
    EXPECT_FALSE(MidiOutput().IsOpen(0));

    clickText(outputs, 0);
    clickTick(outputs, 2);
    EXPECT_EQ(tickedRows(outputs), std::vector<int>{2});
    EXPECT_EQ(state().CurrentOutputPort, 2);
    clickTick(outputs, 2);   // the output cannot be switched off
    EXPECT_EQ(tickedRows(outputs), std::vector<int>{2});
    EXPECT_EQ(loop->openOutputCount(), 1);

    loop->clearSent();
    SendProgramChange(player.OutputPort(), 0, 5);
    ASSERT_EQ(loop->sent().size(), 1u);
    EXPECT_EQ(loop->sent()[0].name, "Out 3");
}

// Selecting an entry, or the ticked output's text, is no choice of a port.
TEST_F(PortWahlTest, AClickThatChangesNoTickChangesNothing)
{
    start({"In A", "In B"}, {"Out 1", "Out 2"});
    SendProgramChange(player.OutputPort(), 0, 1);
    frmPortWahl->show();
    toggleWithSpace(frmPortWahl->clbInputDevices, 1);

    clickText(frmPortWahl->clbOutputDevices, 0);
    clickText(frmPortWahl->clbOutputDevices, 1);
    clickText(frmPortWahl->clbInputDevices, 0);
    clickText(frmPortWahl->clbInputDevices, 1);

    EXPECT_EQ(tickedRows(frmPortWahl->clbOutputDevices), std::vector<int>{0});
    EXPECT_TRUE(MidiOutput().IsOpen(0));
    EXPECT_FALSE(MidiOutput().IsOpen(1));
    EXPECT_EQ(state().CurrentOutputPort, 0);
    EXPECT_EQ(tickedRows(frmPortWahl->clbInputDevices), std::vector<int>{1});
    EXPECT_FALSE(MidiInput().IsOpen(0));
    EXPECT_TRUE(MidiInput().IsOpen(1));

    loop->clearSent();
    SendProgramChange(player.OutputPort(), 0, 2);
    ASSERT_EQ(loop->sent().size(), 1u);
    EXPECT_EQ(loop->sent()[0].name, "Out 1");
    EXPECT_EQ(loop->openCalls(), 1);
    EXPECT_TRUE(messages.empty());
}

// The program opens the input named by TARV_MIDI_INPUT before the dialog is ever shown.
TEST_F(PortWahlTest, InputsOpenedBeforeTheDialogShowsAreTickedAndCanBeUnticked)
{
    start({"In A", "In B"}, {"Out 1"});
    MidiInput().Open(1);

    bool ran = false;
    QTimer::singleShot(0, frmPortWahl, [&] {
        ran = true;
        EXPECT_EQ(tickedRows(frmPortWahl->clbInputDevices), std::vector<int>{1});
        toggleWithSpace(frmPortWahl->clbInputDevices, 1);
        frmPortWahl->close();
    });
    ShowPortDialog();
    EXPECT_TRUE(ran);
    EXPECT_FALSE(MidiInput().IsOpen(1));
    EXPECT_EQ(loop->openInputCount(), 0);
}

// Space is the key for ticking; it must not reach the input Reset.
TEST_F(PortWahlTest, TheDialogOpensWithTheFocusInTheInputList)
{
    start({"In A", "In B"}, {"Out 1"});
    frmPortWahl->show();
    toggleWithSpace(frmPortWahl->clbInputDevices, 0);
    toggleWithSpace(frmPortWahl->clbInputDevices, 1);
    frmPortWahl->btnRestIn->setFocus();
    frmPortWahl->hide();

    bool ran = false;
    QTimer::singleShot(0, frmPortWahl, [&] {
        ran = true;
        QWidget* focus = frmPortWahl->focusWidget();
        EXPECT_EQ(focus, frmPortWahl->clbInputDevices);
        if (focus)
            QTest::keyClick(focus, Qt::Key_Space);
        frmPortWahl->close();
    });
    ShowPortDialog();
    EXPECT_TRUE(ran);
    // Space unticked the entry in hand; the other input plays on.
    EXPECT_EQ(tickedRows(frmPortWahl->clbInputDevices), std::vector<int>{0});
    EXPECT_TRUE(MidiInput().IsOpen(0));
    EXPECT_FALSE(MidiInput().IsOpen(1));
}

TEST_F(PortWahlTest, TickingAnUnpluggedInputTellsThePlayerAndRebuildsTheList)
{
    start({"In A", "In B", "In C"}, {"Out 1"});
    frmPortWahl->show();
    toggleWithSpace(frmPortWahl->clbInputDevices, 0);
    ASSERT_TRUE(MidiInput().IsOpen(0));

    loop->unplugInput("In B");
    toggleWithSpace(frmPortWahl->clbInputDevices, 1);

    EXPECT_EQ(messages, std::vector<QString>{"Gerät steht nicht mehr zur Verfügung"});
    EXPECT_EQ(names(frmPortWahl->clbInputDevices), (std::vector<std::string>{"In A", "In C"}));
    EXPECT_TRUE(tickedRows(frmPortWahl->clbInputDevices).empty());
    EXPECT_EQ(loop->openInputCount(), 0);
}

// The player reads the message while the lists still show the device that went; a list is
// rebuilt only after the player confirmed it.
TEST_F(PortWahlTest, AListIsRebuiltOnlyAfterThePlayerConfirmedTheMessage)
{
    start({"In A", "In B"}, {"Out 1", "Out 2"});
    std::vector<std::vector<std::string>> listsAtMessage;
    tarv::skin::setErrorDisplay([&](const QString&) {
        listsAtMessage.push_back(names(frmPortWahl->clbInputDevices));
        listsAtMessage.push_back(names(frmPortWahl->clbOutputDevices));
    });
    frmPortWahl->show();

    loop->unplugInput("In B");
    toggleWithSpace(frmPortWahl->clbInputDevices, 1);
    loop->unplugOutput("Out 2");
    toggleWithSpace(frmPortWahl->clbOutputDevices, 1);

    const std::vector<std::vector<std::string>> expected = {
        {"In A", "In B"}, {"Out 1", "Out 2"}, {"In A"}, {"Out 1", "Out 2"}};
    EXPECT_EQ(listsAtMessage, expected);
    EXPECT_EQ(names(frmPortWahl->clbOutputDevices), std::vector<std::string>{"Out 1"});
}

TEST_F(PortWahlTest, AnInputUnpluggedWhileOpenIsCaughtWhenItIsUntickedAndOnReset)
{
    start({"In A", "In B"}, {"Out 1"});
    frmPortWahl->show();
    toggleWithSpace(frmPortWahl->clbInputDevices, 0);
    toggleWithSpace(frmPortWahl->clbInputDevices, 1);

    // Its port refuses to close now: the player is told and the list is built anew.
    loop->unplugInput("In B");
    toggleWithSpace(frmPortWahl->clbInputDevices, 1);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(names(frmPortWahl->clbInputDevices), std::vector<std::string>{"In A"});
    EXPECT_TRUE(tickedRows(frmPortWahl->clbInputDevices).empty());
    EXPECT_FALSE(MidiInput().IsOpen(0));

    // The Reset goes through such a port as well.
    toggleWithSpace(frmPortWahl->clbInputDevices, 0);
    loop->unplugInput("In A");
    EXPECT_NO_THROW(frmPortWahl->btnRestIn->click());
    EXPECT_EQ(frmPortWahl->clbInputDevices->count(), 0);
}

TEST_F(PortWahlTest, TickingAnUnpluggedOutputTellsThePlayerAndFallsBackToOutputZero)
{
    start({}, {"Out 1", "Out 2", "Out 3"});
    SendProgramChange(player.OutputPort(), 0, 1);
    frmPortWahl->show();

    loop->unplugOutput("Out 2");
    toggleWithSpace(frmPortWahl->clbOutputDevices, 1);

    EXPECT_EQ(messages, std::vector<QString>{"Gerät steht nicht mehr zur Verfügung"});
    EXPECT_EQ(names(frmPortWahl->clbOutputDevices), (std::vector<std::string>{"Out 1", "Out 3"}));
    EXPECT_EQ(tickedRows(frmPortWahl->clbOutputDevices), std::vector<int>{0});
    EXPECT_TRUE(MidiOutput().IsOpen(0));
    EXPECT_EQ(state().CurrentOutputPort, 0);
}

// After the dialog closes the main window's keyboard asks the service for the output names, so
// the service's own listing is newer than the dialog's.
TEST_F(PortWahlTest, AnOutputGoneSinceTheListWasMadeIsReportedAndNeverSwappedForTheNext)
{
    start({}, {"Out 1", "Out 2", "Out 3"});
    SendProgramChange(player.OutputPort(), 0, 1);
    loop->unplugOutput("Out 2");
    tarv::midiService().outputNames();
    frmPortWahl->show();

    clickTick(frmPortWahl->clbOutputDevices, 1);

    EXPECT_EQ(messages, std::vector<QString>{"Gerät steht nicht mehr zur Verfügung"});
    EXPECT_EQ(names(frmPortWahl->clbOutputDevices), (std::vector<std::string>{"Out 1", "Out 3"}));
    EXPECT_EQ(tickedRows(frmPortWahl->clbOutputDevices), std::vector<int>{0});
    EXPECT_EQ(state().CurrentOutputPort, 0);
    loop->clearSent();
    SendProgramChange(player.OutputPort(), 0, 3);
    ASSERT_EQ(loop->sent().size(), 1u);
    EXPECT_EQ(loop->sent()[0].name, "Out 1");
}

TEST_F(PortWahlTest, TheCurrentOutputVanishingWhileTheDialogWasClosedIsCaughtOnTheNextClick)
{
    start({}, {"Out 1", "Out 2", "Out 3"});
    frmPortWahl->show();
    toggleWithSpace(frmPortWahl->clbOutputDevices, 2);
    ASSERT_EQ(state().CurrentOutputPort, 2);
    frmPortWahl->hide();

    loop->unplugOutput("Out 3");
    frmPortWahl->show();
    EXPECT_NO_THROW(toggleWithSpace(frmPortWahl->clbOutputDevices, 0));

    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(names(frmPortWahl->clbOutputDevices), (std::vector<std::string>{"Out 1", "Out 2"}));
    EXPECT_EQ(tickedRows(frmPortWahl->clbOutputDevices), std::vector<int>{0});
    EXPECT_EQ(state().CurrentOutputPort, 0);
    loop->clearSent();
    SendProgramChange(player.OutputPort(), 0, 3);
    ASSERT_EQ(loop->sent().size(), 1u);
    EXPECT_EQ(loop->sent()[0].device, 0);
}

TEST_F(PortWahlTest, OutputResetListsAnAddedDeviceAndPlaysOnOutputZero)
{
    start({}, {"Out 1", "Out 2"});
    frmPortWahl->show();
    toggleWithSpace(frmPortWahl->clbOutputDevices, 1);
    frmPortWahl->StatusBar1->showMessage(QStringLiteral("In A: Statusbyte 90"));

    loop->addOutput("Out New");
    QTest::mouseClick(frmPortWahl->btnResetOut, Qt::LeftButton);

    EXPECT_EQ(names(frmPortWahl->clbOutputDevices), (std::vector<std::string>{"Out 1", "Out 2", "Out New"}));
    EXPECT_EQ(tickedRows(frmPortWahl->clbOutputDevices), std::vector<int>{0});
    EXPECT_TRUE(MidiOutput().IsOpen(0));
    EXPECT_FALSE(MidiOutput().IsOpen(1));
    EXPECT_EQ(loop->openOutputCount(), 1);
    EXPECT_EQ(state().CurrentOutputPort, 0);
    EXPECT_TRUE(frmPortWahl->StatusBar1->currentMessage().isEmpty());
}

TEST_F(PortWahlTest, InputResetClosesEveryTickedInputAndUnticksAll)
{
    start({"In A", "In B", "In C"}, {"Out 1"});
    frmPortWahl->show();
    toggleWithSpace(frmPortWahl->clbInputDevices, 0);
    toggleWithSpace(frmPortWahl->clbInputDevices, 2);
    frmPortWahl->StatusBar1->showMessage(QStringLiteral("In A: Statusbyte 90"));
    loop->addInput("In D");

    QTest::mouseClick(frmPortWahl->btnRestIn, Qt::LeftButton);

    EXPECT_EQ(loop->openInputCount(), 0);
    EXPECT_EQ(names(frmPortWahl->clbInputDevices), (std::vector<std::string>{"In A", "In B", "In C", "In D"}));
    EXPECT_TRUE(tickedRows(frmPortWahl->clbInputDevices).empty());
    EXPECT_TRUE(frmPortWahl->StatusBar1->currentMessage().isEmpty());
}

TEST_F(PortWahlTest, ReopeningShowsTheSameTicksAndAnEmptyStatusBar)
{
    start({"In A", "In B"}, {"Out 1", "Out 2"});
    EXPECT_FALSE(state().PortDialogShowing);

    bool ranFirst = false;
    QTimer::singleShot(0, frmPortWahl, [&] {
        ranFirst = true;
        EXPECT_TRUE(state().PortDialogShowing);
        EXPECT_TRUE(frmPortWahl->isModal());
        toggleWithSpace(frmPortWahl->clbInputDevices, 1);
        toggleWithSpace(frmPortWahl->clbOutputDevices, 1);
        frmPortWahl->StatusBar1->showMessage(QStringLiteral("In B: Statusbyte 90"));
        frmPortWahl->close();
    });
    ShowPortDialog();
    EXPECT_TRUE(ranFirst);
    EXPECT_FALSE(state().PortDialogShowing);
    EXPECT_TRUE(MidiInput().IsOpen(1));

    bool ranSecond = false;
    QTimer::singleShot(0, frmPortWahl, [&] {
        ranSecond = true;
        EXPECT_TRUE(state().PortDialogShowing);
        EXPECT_TRUE(frmPortWahl->StatusBar1->currentMessage().isEmpty());
        EXPECT_EQ(tickedRows(frmPortWahl->clbInputDevices), std::vector<int>{1});
        EXPECT_EQ(tickedRows(frmPortWahl->clbOutputDevices), std::vector<int>{1});
        frmPortWahl->close();
    });
    ShowPortDialog();
    EXPECT_TRUE(ranSecond);
    EXPECT_FALSE(state().PortDialogShowing);
    EXPECT_EQ(state().CurrentOutputPort, 1);
}

TEST_F(PortWahlTest, WithoutAnyOutputDeviceTheDialogShowsAnEmptyListAndStaysQuiet)
{
    start({"In A"}, {});
    EXPECT_EQ(frmPortWahl->clbOutputDevices->count(), 0);
    EXPECT_EQ(state().CurrentOutputPort, 0);

    QTimer::singleShot(0, frmPortWahl, [&] {
        EXPECT_NO_THROW(frmPortWahl->btnResetOutClick());
        frmPortWahl->close();
    });
    ShowPortDialog();
    EXPECT_EQ(frmPortWahl->clbOutputDevices->count(), 0);
    EXPECT_TRUE(messages.empty());
}

TEST_F(PortWahlTest, AFailingOpenOfOutputZeroAfterResetIsLeftToTheErrorDisplay)
{
    start({}, {"Out 1", "Out 2"});
    frmPortWahl->show();
    toggleWithSpace(frmPortWahl->clbOutputDevices, 1);
    loop->failOpen("Out 1", "Out 1 ist belegt");
    try {
        frmPortWahl->btnResetOutClick();
        FAIL() << "the failing open was swallowed";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Out 1 ist belegt");
    }
    EXPECT_EQ(tickedRows(frmPortWahl->clbOutputDevices), std::vector<int>{0});
    EXPECT_EQ(state().CurrentOutputPort, 0);
    EXPECT_TRUE(messages.empty());
}

TEST_F(PortWahlTest, TheDialogIsCentredOnTheMainWindow)
{
    start({}, {"Out 1"});
    frmPortWahl->centreOnMainWindow();
    EXPECT_EQ(frmPortWahl->windowTitle(), QStringLiteral("Ovelin MidiPorts"));
    EXPECT_EQ(frmPortWahl->size(), QSize(486, 140));
    EXPECT_LE((frmPortWahl->frameGeometry().center() - mainWindow->frameGeometry().center()).manhattanLength(), 2);
}

}   // namespace
