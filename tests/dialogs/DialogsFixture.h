// A stand-in main window, the three dialogs over a loopback MIDI service and a settings folder of their own.
#pragma once

#include "ItemCheckBox.h"
#include "TestSupport.h"

#include "dialogs/portWahl.h"
#include "dialogs/twInstrument.h"
#include "dialogs/twStimmung.h"
#include "midi/LoopbackMidiService.h"
#include "midi/Midi.h"
#include "midi/MidiSenders.h"
#include "midi/MidiServiceFactory.h"
#include "player/Player.h"
#include "settings/Settings.h"
#include "skin/ErrorDisplay.h"

#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class DialogsTest : public ::testing::Test {
protected:
    // A common laptop screen: the main window at (100, 80) leaves room for every dialog's place.
    static constexpr int ScreenWidth = 1366;
    static constexpr int ScreenHeight = 768;

    void SetUp() override { tarv::test::ensureApplication(ScreenWidth, ScreenHeight); }

    // Installs a loopback service with these devices and creates the dialogs over it.
    void start(std::vector<std::string> inputs, std::vector<std::string> outputs)
    {
        ASSERT_TRUE(fSettings.isValid());
        SetSettingsFolder(fSettings.path().toStdString());
        auto service = std::make_unique<tarv::LoopbackMidiService>(std::move(inputs), std::move(outputs));
        loop = service.get();
        tarv::setMidiService(std::move(service));
        ResetOutputFailure();
        tarv::skin::setErrorDisplay([this](const QString& text) { messages.push_back(text); });

        mainWindow = makeMainWindow();
        mainWindow->setGeometry(100, 80, 894, 312);
        mainWindow->show();
        new TfrmPortWahl(mainWindow.get(), player);
        new TfrmInstrument(mainWindow.get(), player);
        new TfrmStimmung(mainWindow.get(), player);
    }

    void TearDown() override
    {
        if (mainWindow)
            mainWindow->hide();
        mainWindow.reset();   // the dialogs go with it
        tarv::skin::setErrorDisplay({});
        if (loop) {
            MidiInput().setOnMidiData({});
            MidiShutdown();   // closes every port while the loopback service still exists
            loop = nullptr;
        }
        SetSettingsFolder({});
    }

    // The dialogs' owner: a plain window unless a suite needs the real main window.
    virtual std::unique_ptr<QWidget> makeMainWindow() { return std::make_unique<QWidget>(); }

    // The player ticks or unticks entry `row` with the space key.
    static void toggleWithSpace(QListWidget* list, int row)
    {
        list->setCurrentRow(row);
        QTest::keyClick(list, Qt::Key_Space);
    }
    // The player clicks the text of entry `row` (not its tick box).
    static void clickText(QListWidget* list, int row)
    {
        const QRect rect = list->visualItemRect(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(rect.right() - 4, rect.center().y()));
    }
    // The player clicks the check box of entry `row`, where the list's style draws it.
    static void clickTick(QListWidget* list, int row)
    {
        QListWidgetItem* item = list->item(row);
        const QRect box = tarv::test::checkBoxRect(list, item);
        ASSERT_TRUE(list->visualItemRect(item).contains(box)) << "no check box in entry " << row;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
    }
    // The player clicks entry `row` of a list without check boxes.
    static void clickItem(QListWidget* list, int row, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(list->viewport(), button, {}, list->visualItemRect(list->item(row)).center());
    }
    // The player presses on entry `from`, drags over entry `over` and lets go outside the list.
    static void dragOffList(QListWidget* list, int from, int over)
    {
        QWidget* viewport = list->viewport();
        QTest::mousePress(viewport, Qt::LeftButton, {}, list->visualItemRect(list->item(from)).center());
        QTest::mouseMove(viewport, list->visualItemRect(list->item(over)).center());
        const QPoint outside(viewport->width() + 30, viewport->height() / 2);
        QTest::mouseMove(viewport, outside);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, outside);
    }
    static bool ticked(QListWidget* list, int row) { return list->item(row)->checkState() == Qt::Checked; }
    static std::vector<int> tickedRows(QListWidget* list)
    {
        std::vector<int> rows;
        for (int i = 0; i < list->count(); ++i) {
            if (ticked(list, i))
                rows.push_back(i);
        }
        return rows;
    }
    static std::vector<std::string> names(QListWidget* list)
    {
        std::vector<std::string> result;
        for (int i = 0; i < list->count(); ++i)
            result.push_back(list->item(i)->text().toStdString());
        return result;
    }
    std::vector<std::vector<std::uint8_t>> sentBytes() const
    {
        std::vector<std::vector<std::uint8_t>> result;
        for (const tarv::SentMessage& m : loop->sent())
            result.push_back(m.bytes);
        return result;
    }

    TPlayerState state() const { return player.State(); }
    void edit(const std::function<void(TPlayerState&)>& change) { player.Edit(change); }

    QTemporaryDir fSettings;
    tarv::LoopbackMidiService* loop = nullptr;
    TPlayer player;
    std::unique_ptr<QWidget> mainWindow;
    std::vector<QString> messages;
};
