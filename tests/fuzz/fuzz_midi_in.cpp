// Fuzz target: arbitrary MIDI input through the main window over the loopback service. Short
// messages and system-exclusive blocks go in through an open input port, and raw byte triples
// straight into the player's MidiIn (bytes no real port delivers). Nothing may crash, no data byte
// above 127 may go out, and the held-notes record may only ever hold notes that were sent on.
#include "dialogs/portWahl.h"
#include "mainwindow/Application.h"
#include "mainwindow/Pemo.h"
#include "midi/LoopbackMidiService.h"
#include "midi/Midi.h"
#include "midi/MidiSenders.h"
#include "midi/MidiServiceFactory.h"
#include "player/Player.h"
#include "sending/SettingsSending.h"
#include "settings/Settings.h"
#include "skin/ErrorDisplay.h"
#include "skin/ModusComboBox.h"

#include <QApplication>
#include <QComboBox>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_midi_in: %s\n", what);
        std::abort();
    }
}

struct World {
    QTemporaryDir settings;
    tarv::LoopbackMidiService* loop = nullptr;
    TPlayer player;
    TfrmPemo* frm = nullptr;
};

World& world()
{
    static World* w = [] {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "fuzz_midi_in";
        static char* argv[] = {name, nullptr};
        new tarv::TApplication(argc, argv);
        auto* created = new World;
        SetSettingsFolder(created->settings.path().toStdString());
        auto service = std::make_unique<tarv::LoopbackMidiService>(std::vector<std::string>{"Keys"},
                                                                   std::vector<std::string>{"Synth"});
        created->loop = service.get();
        tarv::setMidiService(std::move(service));
        tarv::skin::setErrorDisplay([](const QString&) {});   // no modal boxes in a fuzz run
        created->player.SendAllStoredChannels();
        created->player.LoadStoredSettings();
        created->frm = new TfrmPemo(created->player);
        new TfrmPortWahl(created->frm, created->player);
        created->frm->show();
        MidiInput().Open(0);
        return created;
    }();
    return *w;
}

// Every message that went out: short messages carry data bytes below 0x80 after their status,
// a system-exclusive block only data bytes between F0 and F7.
void checkSent(const std::vector<tarv::SentMessage>& sent)
{
    for (const auto& message : sent) {
        check(!message.bytes.empty() && message.bytes[0] >= 0x80, "message without a status byte");
        const bool sysex = message.bytes[0] == 0xF0;
        for (std::size_t i = 1; i < message.bytes.size(); ++i) {
            if (sysex && i + 1 == message.bytes.size() && message.bytes[i] == 0xF7)
                continue;
            check(message.bytes[i] <= 127, "data byte above 127 sent");
        }
    }
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    World& w = world();
    if (size == 0)
        return 0;
    // The first byte picks the play mode (split or both hands on one channel).
    const int mode = data[0] & 1;
    w.frm->cbModus->setCurrentIndex(mode);
    emit w.frm->cbModus->activated(mode);

    std::size_t at = 1;
    while (at < size) {
        const std::uint8_t kind = data[at++] % 4;
        if (kind == 3) {
            // A system-exclusive block of up to 64 bytes, as the input bytes are.
            std::size_t length = 0;
            if (at < size) {
                length = data[at++] % 64;
                length = std::min(length, size - at);
            }
            w.loop->injectBlock("Keys", std::vector<std::uint8_t>(data + at, data + at + length));
            at += length;
            continue;
        }
        std::uint8_t b[3] = {0, 0, 0};
        for (int i = 0; i < 3 && at < size; ++i)
            b[i] = data[at++];
        if (kind == 2)
            w.player.MidiIn(0, b[0], b[1], b[2]);
        else
            w.loop->injectShort("Keys",
                                std::uint32_t(b[0] | 0x80) | std::uint32_t(b[1] & 0x7F) << 8
                                    | std::uint32_t(b[2] & 0x7F) << 16);
    }
    check(w.loop->waitInputIdle(), "input not delivered within 5 s");
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();

    const auto sent = w.loop->sent();
    checkSent(sent);
    // A note may be recorded as held only after a note-on for it went out.
    std::array<bool, 128> sentOn{};
    for (const auto& message : sent)
        if (message.bytes.size() == 3 && (message.bytes[0] & 0xF0) == 0x90)
            sentOn[message.bytes[1]] = true;
    static std::array<bool, 128> heldBefore{};
    for (int note = 0; note < 128; ++note)
        check(!w.player.State().NotesOn[note] || sentOn[note] || heldBefore[note],
              "note marked held that was never sent");
    heldBefore = w.player.State().NotesOn;
    w.loop->clearSent();
    return 0;
}
