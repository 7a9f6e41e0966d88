// The loopback MIDI service: virtual devices in memory, input delivered by a thread of its own.
#include "LoopbackMidiService.h"

#include "PortTable.h"

#include <atomic>
#include <deque>
#include <thread>

namespace tarv {

namespace {

struct Device {
    Device(std::string deviceName, bool isInput) : name(std::move(deviceName)), input(isInput) {}
    std::string name;
    bool input = false;
    bool unplugged = false;
    std::string failOpen, failClose, failSend;   // empty: do not fail
};

struct Port {
    int device = -1;   // position in Impl::devices
    int index = -1;    // the device index the port was opened with
    int instance = -1;
    bool delivering = true;   // false once a close was attempted: no callback after it
    std::shared_ptr<const ShortMessageHandler> onShort;
    std::shared_ptr<const ByteBlockHandler> onBlock;
};

struct Injected {
    int device = -1;
    bool block = false;
    std::uint32_t packed = 0;
    std::vector<std::uint8_t> bytes;
};

std::string unpluggedText(const std::string& name)
{
    return "Loopback: Das Gerät \"" + name + "\" ist nicht angeschlossen";
}

}   // namespace

// Two locks, so that injecting and sending do not meet: `queueLock` guards the input queue,
// `lock` everything else. Whoever needs both takes `lock` first.
struct LoopbackMidiService::Impl {
    mutable std::mutex lock;
    std::condition_variable changed;   // delivery state and sent messages

    std::vector<Device> devices;   // never shrinks; unplugged devices stay with a mark
    PortTable<Port> ports{"Loopback: Ungültiges Port-Handle"};
    int openOutputCalls = 0;
    PortHandle delivering = 0;   // port whose handler runs right now, 0 when none
    int waiters = 0;             // threads waiting on `changed`
    std::vector<SentMessage> sent;

    std::mutex queueLock;
    std::condition_variable queueChanged;
    std::vector<std::pair<std::string, int>> inputs;   // every input device's name and position
    std::deque<Injected> queue;
    bool busy = false;   // injected items are being delivered
    bool idle = false;   // the service thread waits for input
    std::atomic<bool> stopping = false;

    std::thread thread;

    // The helpers below run with `lock` held.

    std::vector<int> present(bool input) const
    {
        std::vector<int> result;
        for (int i = 0; i < int(devices.size()); ++i) {
            if (devices[std::size_t(i)].input == input && !devices[std::size_t(i)].unplugged)
                result.push_back(i);
        }
        return result;
    }
    std::vector<std::string> names(const std::vector<int>& positions) const
    {
        std::vector<std::string> result;
        for (int p : positions)
            result.push_back(devices[std::size_t(p)].name);
        return result;
    }
    template <class F>
    void forEachDevice(const std::string& name, bool input, F&& f)
    {
        for (Device& device : devices) {
            if (device.name == name && device.input == input)
                f(device);
        }
    }
    Port& portOf(PortHandle handle, bool input)
    {
        Port* port = ports.find(handle);
        // A handle of the other kind is as unknown as one never handed out.
        if (!port || devices[std::size_t(port->device)].input != input)
            ports.failUnknown(handle);
        return *port;
    }
    // Device `index` of the list of now, if it is the device called `name`.
    PortHandle open(bool input, int index, const std::string& name, Port port)
    {
        const std::vector<int> listed = present(input);
        if (index < 0 || index >= int(listed.size()) || devices[std::size_t(listed[std::size_t(index)])].name != name)
            throw MidiServiceError(unpluggedText(name));
        const Device& device = devices[std::size_t(listed[std::size_t(index)])];
        if (!device.failOpen.empty())
            throw MidiServiceError(device.failOpen);
        port.device = listed[std::size_t(index)];
        port.index = index;
        return ports.add(std::move(port));
    }
    // Closing an input stops its delivery, and the handle is gone, whether or not the close fails.
    void close(std::unique_lock<std::mutex>& guard, PortHandle handle, bool input)
    {
        Port& port = portOf(handle, input);
        port.delivering = false;
        if (input && std::this_thread::get_id() != thread.get_id()) {
            ++waiters;
            changed.wait(guard, [&] { return delivering != handle; });
            --waiters;
        }
        const Device& device = devices[std::size_t(ports.take(handle).device)];
        if (device.unplugged)
            throw MidiServiceError(unpluggedText(device.name));
        if (!device.failClose.empty())
            throw MidiServiceError(device.failClose);
    }
    void record(PortHandle handle, std::vector<std::uint8_t> bytes)
    {
        const Port& port = portOf(handle, false);
        const Device& device = devices[std::size_t(port.device)];
        if (device.unplugged)
            throw MidiServiceError(unpluggedText(device.name));
        if (!device.failSend.empty())
            throw MidiServiceError(device.failSend);
        sent.push_back({port.index, device.name, std::move(bytes), std::chrono::steady_clock::now()});
        notifyWaiters();
    }
    // Takes `queueLock` only: a burst of input never waits for a sender.
    void inject(const std::string& name, Injected item)
    {
        std::lock_guard guard(queueLock);
        for (const auto& [input, position] : inputs) {
            if (input == name) {
                item.device = position;
                queue.push_back(item);
            }
        }
        if (idle)
            queueChanged.notify_all();
    }
    void addDevice(std::string name, bool input)
    {
        std::lock_guard guard(queueLock);
        if (input)
            inputs.emplace_back(name, int(devices.size()));
        devices.emplace_back(std::move(name), input);
    }

    // Waiting threads are counted, so that the service thread and the senders wake nobody
    // when nobody waits: a burst of input then costs no futex call per message.
    void notifyWaiters()
    {
        if (waiters > 0)
            changed.notify_all();
    }
    template <class Predicate>
    bool waitFor(std::unique_lock<std::mutex>& guard, std::chrono::milliseconds timeout, Predicate ready)
    {
        ++waiters;
        const bool result = changed.wait_for(guard, timeout, ready);
        --waiters;
        return result;
    }

    // Runs on the service's own thread: the handlers are called without a lock held, so that
    // they may send (MIDI thru) or inject. Everything queued is taken at once, so that the
    // injecting thread and this one meet at `queueLock` once per batch, not once per message.
    void run()
    {
        std::deque<Injected> batch;
        std::vector<PortHandle> targets;
        for (;;) {
            {
                std::unique_lock queued(queueLock);
                busy = false;
                queueChanged.notify_all();
                idle = true;
                queueChanged.wait(queued, [&] { return stopping || !queue.empty(); });
                idle = false;
                if (stopping)
                    return;
                batch.swap(queue);
                busy = true;
            }
            std::unique_lock guard(lock);
            for (; !batch.empty() && !stopping; batch.pop_front())
                deliver(guard, batch.front(), targets);
            batch.clear();
        }
    }
    void deliver(std::unique_lock<std::mutex>& guard, const Injected& item, std::vector<PortHandle>& targets)
    {
        targets.clear();
        for (const auto& [handle, port] : ports) {
            if (port.device == item.device)
                targets.push_back(handle);
        }
        for (PortHandle handle : targets) {
            const Port* open = ports.find(handle);
            if (!open || !open->delivering || devices[std::size_t(open->device)].unplugged)
                continue;
            const int instance = open->instance;
            const std::shared_ptr<const ShortMessageHandler> onShort = open->onShort;
            const std::shared_ptr<const ByteBlockHandler> onBlock = open->onBlock;
            delivering = handle;
            guard.unlock();
            try {
                if (!item.block && onShort && *onShort)
                    (*onShort)(instance, item.packed);
                else if (item.block && onBlock && *onBlock)
                    (*onBlock)(instance, item.bytes.data(), item.bytes.size());
            } catch (...) {
                // A handler's failure never unwinds into the service.
            }
            guard.lock();
            delivering = 0;
            notifyWaiters();
        }
    }
};

LoopbackMidiService::LoopbackMidiService(std::vector<std::string> inputs, std::vector<std::string> outputs)
    : d(std::make_unique<Impl>())
{
    for (std::string& name : inputs)
        d->addDevice(std::move(name), true);
    for (std::string& name : outputs)
        d->addDevice(std::move(name), false);
    d->thread = std::thread([this] { d->run(); });
}

LoopbackMidiService::~LoopbackMidiService()
{
    {
        std::lock_guard guard(d->queueLock);
        d->stopping = true;
    }
    d->queueChanged.notify_all();
    d->thread.join();
}

std::vector<std::string> LoopbackMidiService::inputNames()
{
    std::lock_guard guard(d->lock);
    return d->names(d->present(true));
}

std::vector<std::string> LoopbackMidiService::outputNames()
{
    std::lock_guard guard(d->lock);
    return d->names(d->present(false));
}

PortHandle LoopbackMidiService::openInput(int index, const std::string& name, int instance, ShortMessageHandler onShort,
                                          ByteBlockHandler onBlock)
{
    Port port;
    port.instance = instance;
    port.onShort = std::make_shared<const ShortMessageHandler>(std::move(onShort));
    port.onBlock = std::make_shared<const ByteBlockHandler>(std::move(onBlock));
    std::lock_guard guard(d->lock);
    return d->open(true, index, name, std::move(port));
}

void LoopbackMidiService::closeInput(PortHandle handle)
{
    std::unique_lock guard(d->lock);
    d->close(guard, handle, true);
}

PortHandle LoopbackMidiService::openOutput(int index, const std::string& name)
{
    std::lock_guard guard(d->lock);
    const PortHandle handle = d->open(false, index, name, Port{});
    ++d->openOutputCalls;
    return handle;
}

void LoopbackMidiService::closeOutput(PortHandle handle)
{
    std::unique_lock guard(d->lock);
    d->close(guard, handle, false);
}

void LoopbackMidiService::sendShort(PortHandle handle, std::uint32_t packed)
{
    const std::uint8_t bytes[3] = {std::uint8_t(packed), std::uint8_t(packed >> 8), std::uint8_t(packed >> 16)};
    std::lock_guard guard(d->lock);
    d->record(handle, {bytes, bytes + shortMessageLength(bytes[0])});
}

void LoopbackMidiService::sendBlock(PortHandle handle, const std::uint8_t* data, std::size_t size)
{
    std::lock_guard guard(d->lock);
    d->record(handle, {data, data + size});
}

void LoopbackMidiService::addInput(const std::string& name)
{
    std::lock_guard guard(d->lock);
    d->addDevice(name, true);
}

void LoopbackMidiService::addOutput(const std::string& name)
{
    std::lock_guard guard(d->lock);
    d->addDevice(name, false);
}

void LoopbackMidiService::unplugInput(const std::string& name)
{
    std::lock_guard guard(d->lock);
    d->forEachDevice(name, true, [](Device& device) { device.unplugged = true; });
}

void LoopbackMidiService::unplugOutput(const std::string& name)
{
    std::lock_guard guard(d->lock);
    d->forEachDevice(name, false, [](Device& device) { device.unplugged = true; });
}

void LoopbackMidiService::failOpen(const std::string& device, const std::string& text)
{
    std::lock_guard guard(d->lock);
    for (Device& dev : d->devices) {
        if (dev.name == device)
            dev.failOpen = text;
    }
}

void LoopbackMidiService::failClose(const std::string& device, const std::string& text)
{
    std::lock_guard guard(d->lock);
    for (Device& dev : d->devices) {
        if (dev.name == device)
            dev.failClose = text;
    }
}

void LoopbackMidiService::failSend(const std::string& device, const std::string& text)
{
    std::lock_guard guard(d->lock);
    for (Device& dev : d->devices) {
        if (dev.name == device)
            dev.failSend = text;
    }
}

void LoopbackMidiService::injectShort(const std::string& input, std::uint32_t packed)
{
    d->inject(input, {-1, false, packed, {}});
}

void LoopbackMidiService::injectBlock(const std::string& input, std::vector<std::uint8_t> bytes)
{
    d->inject(input, {-1, true, 0, std::move(bytes)});
}

bool LoopbackMidiService::waitInputIdle(std::chrono::milliseconds timeout)
{
    std::unique_lock guard(d->queueLock);
    return d->queueChanged.wait_for(guard, timeout, [&] { return d->queue.empty() && !d->busy; });
}

std::vector<SentMessage> LoopbackMidiService::sent() const
{
    std::lock_guard guard(d->lock);
    return d->sent;
}

void LoopbackMidiService::clearSent()
{
    std::lock_guard guard(d->lock);
    d->sent.clear();
}

bool LoopbackMidiService::waitSent(std::size_t count, std::chrono::milliseconds timeout)
{
    std::unique_lock guard(d->lock);
    return d->waitFor(guard, timeout, [&] { return d->sent.size() >= count; });
}

int LoopbackMidiService::openInputCount() const
{
    std::lock_guard guard(d->lock);
    int count = 0;
    for (const auto& [handle, port] : d->ports)
        count += d->devices[std::size_t(port.device)].input ? 1 : 0;
    return count;
}

int LoopbackMidiService::openOutputCount() const
{
    std::lock_guard guard(d->lock);
    int count = 0;
    for (const auto& [handle, port] : d->ports)
        count += d->devices[std::size_t(port.device)].input ? 0 : 1;
    return count;
}

int LoopbackMidiService::openCalls() const
{
    std::lock_guard guard(d->lock);
    return d->openOutputCalls;
}

std::string LoopbackMidiService::deviceName(PortHandle handle) const
{
    std::lock_guard guard(d->lock);
    const Port* port = d->ports.find(handle);
    return port ? d->devices[std::size_t(port->device)].name : std::string();
}

}   // namespace tarv
