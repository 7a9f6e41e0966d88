// The real main window over a loopback MIDI service, with a settings folder of its own.
#pragma once

#include "TestSupport.h"

#include "mainwindow/Pemo.h"
#include "midi/LoopbackMidiService.h"
#include "midi/Midi.h"
#include "midi/MidiSenders.h"
#include "midi/MidiServiceFactory.h"
#include "player/Player.h"
#include "settings/Settings.h"
#include "skin/Click.h"
#include "skin/ErrorDisplay.h"
#include "skin/ModusComboBox.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

class PemoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tarv::test::ensureApplication();
        ASSERT_TRUE(fSettings.isValid());
        SetSettingsFolder(fSettings.path().toStdString());
        ResetPcKeyMap();
        auto service = std::make_unique<tarv::LoopbackMidiService>(std::vector<std::string>{"Keys In"},
                                                                   std::vector<std::string>{"Synth"});
        loop = service.get();
        tarv::setMidiService(std::move(service));
        ResetOutputFailure();
        tarv::skin::setErrorDisplay([this](const QString& text) { errors.push_back(text); });
    }

    void TearDown() override
    {
        frm.reset();
        tarv::skin::setErrorDisplay({});
        MidiShutdown();   // closes every port while the loopback service still exists
        loop = nullptr;
        SetSettingsFolder({});
    }

    // The program's start: the player's start-up sending and channel 0, then the main window.
    void startUp()
    {
        player.SendAllStoredChannels();
        player.LoadStoredSettings();
        frm = std::make_unique<TfrmPemo>(player);
    }

    TPlayerState state() const { return player.State(); }
    void edit(const std::function<void(TPlayerState&)>& change) { player.Edit(change); }

    // Shows the window and waits for its activation (which runs RefreshControls).
    void showWindow()
    {
        frm->show();
        frm->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frm.get()));
    }

    // Writes a settings file with these lines.
    void writeSettings(const QByteArray& contents) const
    {
        QFile file(settingsPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }

    QString settingsPath() const { return QString::fromStdString(SettingsFilePath()); }

    std::vector<Bytes> sentBytes() const
    {
        std::vector<Bytes> bytes;
        for (const auto& message : loop->sent())
            bytes.push_back(message.bytes);
        return bytes;
    }

    // The player picks a play mode in the list.
    void chooseMode(int index)
    {
        frm->cbModus->setCurrentIndex(index);
        emit frm->cbModus->activated(index);
    }

    // The player sets the left channel's spin edit (1..16).
    void seLKanalTo(int value) { frm->seLKanal->setValue(value); }

    // The player clicks the up or the down button of a spin edit.
    static void clickSpinButton(QSpinBox* spin, bool up)
    {
        QStyleOptionSpinBox option;
        option.initFrom(spin);
        option.rect = spin->rect();
        option.subControls = QStyle::SC_All;
        option.buttonSymbols = spin->buttonSymbols();
        option.frame = spin->hasFrame();
        option.stepEnabled = QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled;
        const QRect button = spin->style()->subControlRect(QStyle::CC_SpinBox, &option,
                                                           up ? QStyle::SC_SpinBoxUp : QStyle::SC_SpinBoxDown, spin);
        QTest::mouseClick(spin, Qt::LeftButton, {}, button.center());
    }

    // The note messages among what went out.
    std::vector<Bytes> sentNotes() const
    {
        std::vector<Bytes> notes;
        for (const Bytes& bytes : sentBytes())
            if ((bytes[0] & 0xE0) == 0x80)
                notes.push_back(bytes);
        return notes;
    }

    QTemporaryDir fSettings;
    tarv::LoopbackMidiService* loop = nullptr;
    TPlayer player;
    std::unique_ptr<TfrmPemo> frm;
    std::vector<QString> errors;
};
