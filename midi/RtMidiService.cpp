// The MIDI service over RtMidi. The only file of the program that includes RtMidi.h.
#include "RtMidiService.h"

#include "PortTable.h"

#include <RtMidi.h>
#ifdef TARV_HAVE_JACK
#include <jack/jack.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string_view>
#include <thread>
#include <utility>

namespace tarv {

namespace {

const std::string ClientName = "tarv";

// Collects what RtMidi reports through its error callback, so that RtMidi neither prints
// nor throws; the caller of an RtMidi function turns a recorded text into MidiServiceError.
// RtMidi may report from its input thread too, hence the lock.
class ErrorSlot {
public:
    void record(RtMidiError::Type type, const std::string& text)
    {
        if (type == RtMidiError::DEBUG_WARNING)
            return;
        std::lock_guard lock(fLock);
        if (fText.empty())
            fText = text;
    }
    void clear()
    {
        std::lock_guard lock(fLock);
        fText.clear();
    }
    // Throws the first text recorded since the last clear(). Warnings count as failures:
    // RtMidi reports a port number that does not exist only as a warning.
    void check()
    {
        std::string text;
        {
            std::lock_guard lock(fLock);
            text = std::exchange(fText, {});
        }
        if (!text.empty())
            throw MidiServiceError(text);
    }

private:
    std::mutex fLock;
    std::string fText;
};

void onRtMidiError(RtMidiError::Type type, const std::string& text, void* userData)
{
    static_cast<ErrorSlot*>(userData)->record(type, text);
}

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// Runs one RtMidi call; its error callback or its own exception becomes MidiServiceError.
template <class F>
auto guarded(ErrorSlot& errors, F&& call)
{
    errors.clear();
    try {
        if constexpr (std::is_void_v<decltype(call())>) {
            call();
            errors.check();
        } else {
            auto result = call();
            errors.check();
            return result;
        }
    } catch (const RtMidiError& e) {
        throw MidiServiceError(e.getMessage());
    }
}

// Creates an RtMidi object. Its constructor cannot report through an error callback yet:
// it prints warnings to std::cerr (JACK without a server) and throws errors (ALSA without
// a sequencer). Both are caught here, and a printed warning counts as "cannot start".
template <class T>
std::unique_ptr<T> makeRtMidi(RtMidi::Api api, ErrorSlot& errors)
{
    static std::mutex cerrLock;   // std::cerr's buffer is swapped for the time of the constructor
    std::unique_ptr<T> object;
    std::ostringstream printed;
    {
        std::lock_guard lock(cerrLock);
        std::streambuf* previous = std::cerr.rdbuf(printed.rdbuf());
        try {
            object = std::make_unique<T>(api, ClientName);
        } catch (const RtMidiError& e) {
            std::cerr.rdbuf(previous);
            throw MidiServiceError(trimmed(e.getMessage()));
        } catch (...) {
            std::cerr.rdbuf(previous);
            throw;
        }
        std::cerr.rdbuf(previous);
    }
    if (const std::string warning = trimmed(printed.str()); !warning.empty())
        throw MidiServiceError(warning);
    object->setErrorCallback(&onRtMidiError, &errors);
    return object;
}

// One open port: its own RtMidi object (on JACK a client of its own) and handlers.
struct Port {
    ErrorSlot errors;
    std::mutex sendLock;   // one sender at a time; close waits for a send in progress
    int instance = -1;
    ShortMessageHandler onShort;
    ByteBlockHandler onBlock;
    std::unique_ptr<RtMidiIn> in;
    std::unique_ptr<RtMidiOut> out;

    ~Port()
    {
        // Stop the input thread before the handlers and the error slot go away.
        in.reset();
        out.reset();
    }
};

// Runs on RtMidi's input thread (the ALSA reader thread or the JACK process thread).
void onRtMidiInput(double /*timeStamp*/, std::vector<unsigned char>* message, void* userData)
{
    if (!message || message->empty())
        return;
    const Port& port = *static_cast<const Port*>(userData);
    try {
        const std::vector<unsigned char>& m = *message;
        const bool shortMessage = m[0] >= 0x80 && m[0] != 0xF0 && m[0] != 0xF7 && m.size() <= 3;
        if (shortMessage) {
            std::uint32_t packed = m[0];
            if (m.size() > 1)
                packed |= std::uint32_t(m[1]) << 8;
            if (m.size() > 2)
                packed |= std::uint32_t(m[2]) << 16;
            if (port.onShort)
                port.onShort(port.instance, packed);
        } else if (port.onBlock) {
            port.onBlock(port.instance, m.data(), m.size());
        }
    } catch (...) {
        // Nothing may unwind into RtMidi's thread; the handlers report their own failures.
    }
}

bool ownsPorts(RtMidi::Api api)
{
    return api == RtMidi::LINUX_ALSA || api == RtMidi::UNIX_JACK;
}

// On ALSA ("client:port 20:0") and JACK ("client:port") the client comes first. Every RtMidi
// object is a client called "tarv"; JACK numbers the further ones ("tarv-01"). A device whose
// name merely begins the same ("tarvos") is someone else's.
bool isOwnPort(const std::string& name)
{
    const std::string client = name.substr(0, name.find(':'));
    if (client == ClientName)
        return true;
    const std::string numbered = ClientName + '-';
    return client.size() > numbered.size() && client.compare(0, numbered.size(), numbered) == 0
        && std::all_of(client.begin() + std::ptrdiff_t(numbered.size()), client.end(),
                       [](unsigned char c) { return std::isdigit(c) != 0; });
}

template <class T>
std::vector<std::string> listPorts(T& rtmidi, ErrorSlot& errors, RtMidi::Api api)
{
    std::vector<std::string> names;
    const unsigned count = guarded(errors, [&] { return rtmidi.getPortCount(); });
    for (unsigned i = 0; i < count; ++i) {
        std::string name = guarded(errors, [&] { return rtmidi.getPortName(i); });
        if (!(ownsPorts(api) && isOwnPort(name)))
            names.push_back(std::move(name));
    }
    return names;
}

// RtMidi's number of device `index` of the list of now (the program's own ports left out, as
// in listPorts) when that device is called `name`; -1 when it is another one or gone.
template <class T>
int portNumber(T& rtmidi, ErrorSlot& errors, RtMidi::Api api, int index, const std::string& name)
{
    const unsigned count = guarded(errors, [&] { return rtmidi.getPortCount(); });
    int listed = -1;
    for (unsigned i = 0; i < count; ++i) {
        const std::string portName = guarded(errors, [&] { return rtmidi.getPortName(i); });
        if (ownsPorts(api) && isOwnPort(portName))
            continue;
        if (++listed == index)
            return portName == name ? int(i) : -1;
    }
    return -1;
}

#ifdef TARV_HAVE_JACK
// JACK 2's library reaches a server only through the server's socket in /dev/shm, named after
// the server (JACK_DEFAULT_SERVER, or "default") and the user (left out for a server started for
// all users). Without that socket a client fails to open all the same, but only after the
// library has started a thread and opened its metadata database: milliseconds and more than a
// mebibyte of memory at every start of the program without a server. Another library (JACK 1,
// PipeWire's) is always asked.
bool JackServerMayRun()
{
    const char* version = jack_get_version_string();
    if (!version || !std::string_view(version).starts_with("1.9."))
        return true;
    const char* named = std::getenv("JACK_DEFAULT_SERVER");
    const std::string server = named ? named : "default";
    if (server.find('/') != std::string::npos)
        return true;   // the library rewrites such a name
    const std::string socket = "/dev/shm/jack_" + server + "_";
    for (const std::string& path : {socket + std::to_string(::getuid()) + "_0", socket + "0"}) {
        std::error_code error;
        if (std::filesystem::exists(path, error) || error)
            return true;
    }
    return false;
}

// The JACK server's graph, read by a client of the service's own that is never activated, so
// that the server never wakes it: each RtMidi object is an active client that runs every
// period, so the ports are listed here rather than by RtMidi objects kept for the purpose.
//
// RtMidi connects a new port with jack_connect, and the server puts the connection into its
// graph only at the start of a later cycle: what RtMidi hands over before that (the start-up
// sending right after opening, say) is lost. So after opening, wait until the graph shows one
// connection more at the other end.
class JackGraphWatch {
public:
    JackGraphWatch() : fClient(jack_client_open(ClientName.c_str(), JackNoStartServer, nullptr)) {}

    // False when no JACK server runs.
    bool valid() const { return fClient != nullptr; }
    // The MIDI ports that deliver input (from: their data flows out of them) or take output,
    // in the server's order, as RtMidi numbers them.
    std::vector<std::string> midiPorts(bool deliveringInput) const
    {
        std::vector<std::string> names;
        const std::unique_ptr<const char*, Release> ports(jack_get_ports(
            fClient.get(), nullptr, JACK_DEFAULT_MIDI_TYPE, deliveringInput ? JackPortIsOutput : JackPortIsInput));
        for (const char** port = ports.get(); port && *port; ++port)
            names.emplace_back(*port);
        return names;
    }

    // Connections of the port called `name`; -1 when unknown.
    int connections(const std::string& name) const
    {
        jack_port_t* port = fClient ? jack_port_by_name(fClient.get(), name.c_str()) : nullptr;
        return port ? jack_port_connected(port) : -1;
    }
    // Waits (at most a second) until `name` has more than `before` connections.
    void waitForMore(const std::string& name, int before) const
    {
        if (before < 0)
            return;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (connections(name) <= before && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

private:
    struct Release {
        void operator()(jack_client_t* client) const { jack_client_close(client); }
        void operator()(const char** names) const { jack_free(names); }
    };
    std::unique_ptr<jack_client_t, Release> fClient;
};
#else
// Without the JACK library RtMidi's objects list the JACK ports, and nothing is waited for.
struct JackGraphWatch {
    bool valid() const { return false; }
    std::vector<std::string> midiPorts(bool) const { return {}; }
    int connections(const std::string&) const { return -1; }
    void waitForMore(const std::string&, int) const {}
};
#endif

std::string goneText(const std::string& name)
{
    return "Das MIDI-Gerät \"" + name + "\" steht nicht mehr zur Verfügung";
}

}   // namespace

struct RtMidiService::Impl {
    RtMidi::Api api = RtMidi::UNSPECIFIED;
    std::string name;

    std::mutex lock;   // guards everything below
    ErrorSlot listErrors;
    // Enumerate the ports, except on JACK, where `graph` does.
    std::unique_ptr<RtMidiIn> lister;   // the ports that deliver input
    std::unique_ptr<RtMidiOut> outputLister;
    // Shared with the calls in progress on a port, so that a close never pulls it from under a send.
    PortTable<std::shared_ptr<Port>> ports{"Ungültiges MIDI-Port-Handle"};
    std::unique_ptr<JackGraphWatch> graph;   // JACK only

    // The ports of the system as listed for the program: its own are left out.
    template <class T>
    std::vector<std::string> list(T* rtmidi, bool deliveringInput)
    {
        if (!rtmidi) {
            std::vector<std::string> names = graph->midiPorts(deliveringInput);
            names.erase(std::remove_if(names.begin(), names.end(), isOwnPort), names.end());
            return names;
        }
        return listPorts(*rtmidi, listErrors, api);
    }

    int connections(const std::string& port) const { return graph ? graph->connections(port) : -1; }
    void waitForMore(const std::string& port, int before) const
    {
        if (graph)
            graph->waitForMore(port, before);
    }

    PortHandle insert(std::shared_ptr<Port> port)
    {
        std::lock_guard guard(lock);
        return ports.add(std::move(port));
    }
    std::shared_ptr<Port> find(PortHandle handle)
    {
        std::lock_guard guard(lock);
        return ports.at(handle);
    }
    std::shared_ptr<Port> take(PortHandle handle)
    {
        std::lock_guard guard(lock);
        return ports.take(handle);
    }
};

RtMidiService::RtMidiService(std::unique_ptr<Impl> impl) : d(std::move(impl)) {}

RtMidiService::~RtMidiService()
{
    // Input ports first: their threads stop before anything else goes away.
    std::vector<std::shared_ptr<Port>> ports;
    {
        std::lock_guard guard(d->lock);
        ports = d->ports.takeAll();
    }
    for (const std::shared_ptr<Port>& port : ports)
        port->in.reset();
}

std::vector<std::string> RtMidiService::compiledApis()
{
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    std::vector<std::string> names;
    for (RtMidi::Api api : apis) {
        if (api != RtMidi::RTMIDI_DUMMY && api != RtMidi::WEB_MIDI_API)
            names.push_back(RtMidi::getApiName(api));
    }
    return names;
}

std::unique_ptr<RtMidiService> RtMidiService::create(const std::string& apiName)
{
    const RtMidi::Api api = RtMidi::getCompiledApiByName(apiName);
    if (api == RtMidi::UNSPECIFIED || api == RtMidi::RTMIDI_DUMMY)
        throw MidiServiceError("RtMidi kennt das MIDI-System \"" + apiName + "\" nicht");

    auto impl = std::make_unique<Impl>();
    impl->api = api;
    impl->name = apiName;
    // Creating the listers, on JACK the graph's client, is the test whether the system can
    // start at all.
#ifdef TARV_HAVE_JACK
    if (api == RtMidi::UNIX_JACK) {
        if (JackServerMayRun())
            impl->graph = std::make_unique<JackGraphWatch>();
        if (!impl->graph || !impl->graph->valid())
            throw MidiServiceError("Der JACK-Server läuft nicht");
        return std::unique_ptr<RtMidiService>(new RtMidiService(std::move(impl)));
    }
#endif
    impl->lister = makeRtMidi<RtMidiIn>(api, impl->listErrors);
    impl->outputLister = makeRtMidi<RtMidiOut>(api, impl->listErrors);
    return std::unique_ptr<RtMidiService>(new RtMidiService(std::move(impl)));
}

std::string RtMidiService::apiName() const
{
    return d->name;
}

std::vector<std::string> RtMidiService::inputNames()
{
    std::lock_guard guard(d->lock);
    return d->list(d->lister.get(), true);
}

std::vector<std::string> RtMidiService::outputNames()
{
    std::lock_guard guard(d->lock);
    return d->list(d->outputLister.get(), false);
}

PortHandle RtMidiService::openInput(int index, const std::string& name, int instance, ShortMessageHandler onShort,
                                    ByteBlockHandler onBlock)
{
    auto port = std::make_shared<Port>();
    port->instance = instance;
    port->onShort = std::move(onShort);
    port->onBlock = std::move(onBlock);
    port->in = makeRtMidi<RtMidiIn>(d->api, port->errors);
    RtMidiIn& in = *port->in;

    const int number = portNumber(in, port->errors, d->api, index, name);
    if (number < 0)
        throw MidiServiceError(goneText(name));
    const int before = d->connections(name);
    guarded(port->errors, [&] {
        in.ignoreTypes(false, false, false);   // system exclusive, timing and active sensing too
        in.setCallback(&onRtMidiInput, port.get());
        in.openPort(unsigned(number), "in");
    });
    if (!in.isPortOpen())
        throw MidiServiceError(goneText(name));
    d->waitForMore(name, before);
    return d->insert(std::move(port));
}

void RtMidiService::closeInput(PortHandle handle)
{
    const std::shared_ptr<Port> port = d->take(handle);
    std::lock_guard guard(port->sendLock);
    port->errors.clear();
    try {
        port->in->closePort();
    } catch (const RtMidiError& e) {
        port->errors.record(RtMidiError::UNSPECIFIED, e.getMessage());
    }
    port->in.reset();   // the input thread has stopped when this returns
    port->errors.check();
}

PortHandle RtMidiService::openOutput(int index, const std::string& name)
{
    auto port = std::make_shared<Port>();
    port->out = makeRtMidi<RtMidiOut>(d->api, port->errors);
    RtMidiOut& out = *port->out;

    const int number = portNumber(out, port->errors, d->api, index, name);
    if (number < 0)
        throw MidiServiceError(goneText(name));
    const int before = d->connections(name);
    guarded(port->errors, [&] { out.openPort(unsigned(number), "out"); });
    if (!out.isPortOpen())
        throw MidiServiceError(goneText(name));
    d->waitForMore(name, before);
    return d->insert(std::move(port));
}

void RtMidiService::closeOutput(PortHandle handle)
{
    const std::shared_ptr<Port> port = d->take(handle);
    std::lock_guard guard(port->sendLock);
    port->errors.clear();
    try {
        port->out->closePort();
    } catch (const RtMidiError& e) {
        port->errors.record(RtMidiError::UNSPECIFIED, e.getMessage());
    }
    port->out.reset();
    port->errors.check();
}

void RtMidiService::sendShort(PortHandle handle, std::uint32_t packed)
{
    const std::shared_ptr<Port> port = d->find(handle);
    if (!port->out)
        throw MidiServiceError("Auf einem MIDI-Eingang kann nicht gesendet werden");
    // Exactly the bytes the status implies: a padding byte would read as running status.
    const unsigned char bytes[3] = {std::uint8_t(packed), std::uint8_t(packed >> 8), std::uint8_t(packed >> 16)};
    const std::size_t length = std::size_t(shortMessageLength(bytes[0]));
    std::lock_guard guard(port->sendLock);
    guarded(port->errors, [&] { port->out->sendMessage(bytes, length); });
}

void RtMidiService::sendBlock(PortHandle handle, const std::uint8_t* data, std::size_t size)
{
    const std::shared_ptr<Port> port = d->find(handle);
    if (!port->out)
        throw MidiServiceError("Auf einem MIDI-Eingang kann nicht gesendet werden");
    std::lock_guard guard(port->sendLock);
    guarded(port->errors, [&] { port->out->sendMessage(data, size); });
}

}   // namespace tarv
