// The input set: delivery on the service thread, system-exclusive pieces, handler failures, closing and shutdown.
#include "LoopbackFixture.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

struct Received {
    int device;
    std::uint8_t status, data1, data2;
    bool operator==(const Received&) const = default;
};

// Collects what the handlers get on the service thread.
class Recorder {
public:
    TOnMidiInData shortHandler()
    {
        return [this](int device, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
            std::lock_guard lock(fLock);
            fShort.push_back({device, status, data1, data2});
            fThreads.push_back(std::this_thread::get_id());
        };
    }
    TOnSysExData sysExHandler()
    {
        return [this](int device, const std::vector<std::uint8_t>& stream) {
            std::lock_guard lock(fLock);
            fPieces.push_back(stream);
            fPieceDevices.push_back(device);
            fStream = &stream;
        };
    }
    std::vector<Received> shortMessages() const
    {
        std::lock_guard lock(fLock);
        return fShort;
    }
    std::vector<Bytes> pieces() const
    {
        std::lock_guard lock(fLock);
        return fPieces;
    }
    std::vector<int> pieceDevices() const
    {
        std::lock_guard lock(fLock);
        return fPieceDevices;
    }
    std::vector<std::thread::id> threads() const
    {
        std::lock_guard lock(fLock);
        return fThreads;
    }
    const std::vector<std::uint8_t>* lastStream() const
    {
        std::lock_guard lock(fLock);
        return fStream;
    }

private:
    mutable std::mutex fLock;
    std::vector<Received> fShort;
    std::vector<std::thread::id> fThreads;
    std::vector<Bytes> fPieces;
    std::vector<int> fPieceDevices;
    const std::vector<std::uint8_t>* fStream = nullptr;
};

}   // namespace

class TMidiInputTest : public LoopbackFixture {
protected:
    void TearDown() override
    {
        MidiShutdown();   // before the recorder goes away
        LoopbackFixture::TearDown();
    }
    Recorder recorder;
};

TEST_F(TMidiInputTest, EveryShortMessageReachesOnMidiDataOnTheServiceThreadWithTheDeviceIndex)
{
    TMidiInput& in = MidiInput();
    in.setOnMidiData(recorder.shortHandler());
    in.Open(1);

    loop->injectShort("Pads", 0x643C90);   // note on
    loop->injectShort("Pads", 0xFE);       // active sensing: not filtered
    loop->injectShort("Pads", 0xF8);       // clock
    loop->injectShort("Keys", 0x7F0AB0);   // port not open: not delivered
    ASSERT_TRUE(loop->waitInputIdle());

    EXPECT_EQ(recorder.shortMessages(),
              (std::vector<Received>{{1, 0x90, 0x3C, 0x64}, {1, 0xFE, 0, 0}, {1, 0xF8, 0, 0}}));
    for (std::thread::id id : recorder.threads())
        EXPECT_NE(id, std::this_thread::get_id());
}

TEST_F(TMidiInputTest, TwoDevicesOfTheSameNameDeliverWithTheirOwnIndex)
{
    loop->addInput("Keys");
    TMidiInput& in = MidiInput();
    ASSERT_EQ(in.Devices(), (std::vector<std::string>{"Keys", "Pads", "Keys"}));
    in.setOnMidiData(recorder.shortHandler());
    in.Open(2);
    in.Open(0);

    loop->injectShort("Keys", 0x40B0);
    ASSERT_TRUE(loop->waitInputIdle());
    auto received = recorder.shortMessages();
    ASSERT_EQ(received.size(), 2u);
    std::vector<int> devices{received[0].device, received[1].device};
    std::sort(devices.begin(), devices.end());
    EXPECT_EQ(devices, (std::vector<int>{0, 2}));
}

TEST_F(TMidiInputTest, SystemExclusiveArrivesInPiecesOfAtMost2048BytesAndTheStreamIsEmptiedAfterwards)
{
    Bytes message(5000);
    for (std::size_t i = 0; i < message.size(); ++i)
        message[i] = std::uint8_t(i % 127);
    message.front() = 0xF0;
    message.back() = 0xF7;

    TMidiInput& in = MidiInput();
    in.setOnSysExData(recorder.sysExHandler());
    in.setOnMidiData(recorder.shortHandler());
    in.Open(0);
    loop->injectBlock("Keys", message);
    loop->injectShort("Keys", 0x3C80);   // short messages go on after the block
    ASSERT_TRUE(loop->waitInputIdle());

    const auto pieces = recorder.pieces();
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].size(), 2048u);
    EXPECT_EQ(pieces[1].size(), 2048u);
    EXPECT_EQ(pieces[2].size(), 904u);
    Bytes joined;
    for (const Bytes& piece : pieces)
        joined.insert(joined.end(), piece.begin(), piece.end());
    EXPECT_EQ(joined, message);
    EXPECT_EQ(recorder.pieceDevices(), (std::vector<int>{0, 0, 0}));
    ASSERT_NE(recorder.lastStream(), nullptr);
    EXPECT_TRUE(recorder.lastStream()->empty());
    EXPECT_EQ(recorder.shortMessages(), (std::vector<Received>{{0, 0x80, 0x3C, 0}}));
}

TEST_F(TMidiInputTest, WithoutASysExHandlerTheDataIsDroppedAndInputGoesOn)
{
    TMidiInput& in = MidiInput();
    in.setOnMidiData(recorder.shortHandler());
    in.Open(0);
    loop->injectBlock("Keys", Bytes(3000, 0x11));
    loop->injectShort("Keys", 0x3C90);
    ASSERT_TRUE(loop->waitInputIdle());
    EXPECT_EQ(recorder.shortMessages(), (std::vector<Received>{{0, 0x90, 0x3C, 0}}));
}

TEST_F(TMidiInputTest, AHandlerExceptionNeverReachesTheServiceAndLaterInputStillArrives)
{
    TMidiInput& in = MidiInput();
    std::atomic<int> calls = 0;
    in.setOnMidiData([&](int, std::uint8_t status, std::uint8_t, std::uint8_t) {
        ++calls;
        if (status == 0x90)
            throw std::runtime_error("handler failed");
    });
    const std::vector<std::uint8_t>* thrownStream = nullptr;
    in.setOnSysExData([&](int, const std::vector<std::uint8_t>& stream) {
        thrownStream = &stream;
        throw std::runtime_error("sysex handler failed");
    });
    in.Open(0);

    loop->injectShort("Keys", 0x643C90);
    loop->injectBlock("Keys", Bytes(4096, 0x22));
    loop->injectShort("Keys", 0x643C80);
    ASSERT_TRUE(loop->waitInputIdle());
    EXPECT_EQ(calls, 2);
    ASSERT_NE(thrownStream, nullptr);
    EXPECT_TRUE(thrownStream->empty());   // emptied although the handler failed
}

TEST_F(TMidiInputTest, CloseWaitsForARunningHandlerAndNoCallbackFollows)
{
    std::mutex m;
    std::condition_variable cv;
    bool entered = false, release = false;
    std::atomic<bool> handlerDone = false;
    std::atomic<int> calls = 0;

    TMidiInput& in = MidiInput();
    in.setOnMidiData([&](int, std::uint8_t, std::uint8_t, std::uint8_t) {
        ++calls;
        std::unique_lock lock(m);
        entered = true;
        cv.notify_all();
        cv.wait_for(lock, std::chrono::seconds(5), [&] { return release; });
        handlerDone = true;
    });
    in.Open(0);
    loop->injectShort("Keys", 0x3C90);
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(5), [&] { return entered; }));
    }

    std::atomic<bool> closed = false;
    bool doneWhenClosed = false;
    std::thread closer([&] {
        in.Close(0);
        doneWhenClosed = handlerDone;
        closed = true;
    });
    {
        std::lock_guard lock(m);
        release = true;
    }
    cv.notify_all();
    closer.join();
    EXPECT_TRUE(closed);
    EXPECT_TRUE(doneWhenClosed);

    loop->injectShort("Keys", 0x3C80);
    ASSERT_TRUE(loop->waitInputIdle());
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(loop->openInputCount(), 0);
}

TEST_F(TMidiInputTest, ReEnumerationClosesOpenInputsAndKeepsTheHandlers)
{
    TMidiInput& in = MidiInput();
    in.setOnMidiData(recorder.shortHandler());
    in.Open(0);
    in.Open(1);
    loop->addInput("Drums");
    in.Create();
    EXPECT_EQ(loop->openInputCount(), 0);
    EXPECT_EQ(in.Count(), 3);

    loop->injectShort("Keys", 0x3C90);   // closed: nothing
    in.Open(2);
    loop->injectShort("Drums", 0x2499);
    ASSERT_TRUE(loop->waitInputIdle());
    EXPECT_EQ(recorder.shortMessages(), (std::vector<Received>{{2, 0x99, 0x24, 0}}));
}

TEST_F(TMidiInputTest, AFailingCloseStillStopsTheCallbacks)
{
    TMidiInput& in = MidiInput();
    in.setOnMidiData(recorder.shortHandler());
    in.Open(0);
    loop->failClose("Keys", "Schließen nicht möglich");
    EXPECT_THROW(in.Close(0), tarv::MidiServiceError);
    EXPECT_FALSE(in.IsOpen(0));

    loop->injectShort("Keys", 0x3C90);
    ASSERT_TRUE(loop->waitInputIdle());
    EXPECT_TRUE(recorder.shortMessages().empty());
}

TEST_F(TMidiInputTest, ShutdownClosesTheInputPortsAndNoCallbackRunsAfterIt)
{
    // The handler belongs to an object that goes away right after shutdown.
    auto target = std::make_unique<Recorder>();
    TMidiInput& in = MidiInput();
    in.setOnMidiData(target->shortHandler());
    in.Open(0);
    in.Open(1);
    MidiOutput().Open(0);

    loop->injectShort("Keys", 0x3C90);
    MidiShutdown();
    target.reset();
    EXPECT_EQ(loop->openInputCount(), 0);
    EXPECT_EQ(loop->openOutputCount(), 0);

    loop->injectShort("Keys", 0x3C80);
    loop->injectShort("Pads", 0x3C80);
    EXPECT_TRUE(loop->waitInputIdle());   // under a sanitizer a late callback would touch freed memory
}

TEST_F(TMidiInputTest, HandlersMayBeReplacedWhileInputFlows)
{
    TMidiInput& in = MidiInput();
    in.Open(0);
    std::atomic<int> first = 0, second = 0;
    in.setOnMidiData([&](int, std::uint8_t, std::uint8_t, std::uint8_t) { ++first; });
    for (int i = 0; i < 100; ++i)
        loop->injectShort("Keys", 0x3C90);
    ASSERT_TRUE(loop->waitInputIdle());
    EXPECT_EQ(first, 100);

    // Replaced while messages are on their way: each message reaches one of the two.
    for (int i = 0; i < 100; ++i)
        loop->injectShort("Keys", 0x3C90);
    in.setOnMidiData([&](int, std::uint8_t, std::uint8_t, std::uint8_t) { ++second; });
    ASSERT_TRUE(loop->waitInputIdle());
    EXPECT_EQ(first + second, 200);

    in.setOnMidiData(nullptr);
    EXPECT_FALSE(in.OnMidiData());
    loop->injectShort("Keys", 0x3C90);
    ASSERT_TRUE(loop->waitInputIdle());
    EXPECT_EQ(first + second, 200);
}
