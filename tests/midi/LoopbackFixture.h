// A fresh loopback MIDI service and fresh port sets for every test.
#pragma once

#include "midi/LoopbackMidiService.h"
#include "midi/Midi.h"
#include "midi/MidiSenders.h"
#include "midi/MidiServiceFactory.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

class LoopbackFixture : public ::testing::Test {
protected:
    // Devices of the service installed for each test; a suite may replace them before SetUp.
    std::vector<std::string> inputs{"Keys", "Pads"};
    std::vector<std::string> outputs{"Synth A", "Synth B", "Synth C"};

    void SetUp() override
    {
        MidiShutdown();
        auto service = std::make_unique<tarv::LoopbackMidiService>(inputs, outputs);
        loop = service.get();
        tarv::setMidiService(std::move(service));
        ResetOutputFailure();
    }

    void TearDown() override
    {
        MidiShutdown();
        tarv::setMidiService(nullptr);
        loop = nullptr;
    }

    // The bytes of every message sent so far, in order.
    std::vector<std::vector<std::uint8_t>> sentBytes() const
    {
        std::vector<std::vector<std::uint8_t>> bytes;
        for (const tarv::SentMessage& m : loop->sent())
            bytes.push_back(m.bytes);
        return bytes;
    }

    tarv::LoopbackMidiService* loop = nullptr;
};

using Bytes = std::vector<std::uint8_t>;

// The message of an exception that `call` raises; fails the test when it raises none.
template <class Exception = std::exception, class F>
std::string raisedText(F&& call)
{
    try {
        call();
    } catch (const Exception& e) {
        return e.what();
    }
    ADD_FAILURE() << "no exception raised";
    return {};
}
