// The output port set with the synthesizer in front: enumeration, index mapping, handles; and
// the synthesizer's module, loaded only for a sound font.
#include "midi/BuiltInSynth.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QTemporaryDir>

#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>

using namespace tarv;

namespace {

// A service that records what reaches it. Its handles count from 1, like those of any other
// service, so that the two services of a test hand out equal handle values.
class RecordingService : public MidiService {
public:
    RecordingService(std::string api, std::vector<std::string> inputs, std::vector<std::string> outputs)
        : fOutputs(std::move(outputs)), fApi(std::move(api)), fInputs(std::move(inputs))
    {}

    struct Sent {
        int device;
        std::uint32_t packed;
    };

    std::string apiName() const override { return fApi; }
    std::vector<std::string> inputNames() override { return fInputs; }
    std::vector<std::string> outputNames() override { return fOutputs; }
    // Like a real service: device `index` of the list of now, if it is still called `name`.
    PortHandle openInput(int index, const std::string& name, int instance, ShortMessageHandler onShort,
                         ByteBlockHandler) override
    {
        if (index < 0 || index >= int(fInputs.size()) || fInputs[std::size_t(index)] != name)
            throw MidiServiceError(fApi + ": no input " + name);
        fOnShort = std::move(onShort);
        fInstance = instance;
        return open(index);
    }
    void closeInput(PortHandle handle) override { close(handle); }
    PortHandle openOutput(int index, const std::string& name) override
    {
        if (index < 0 || index >= int(fOutputs.size()) || fOutputs[std::size_t(index)] != name)
            throw MidiServiceError(fApi + ": no output " + name);
        return open(index);
    }
    void closeOutput(PortHandle handle) override { close(handle); }
    void sendShort(PortHandle handle, std::uint32_t packed) override { sent.push_back({device(handle), packed}); }
    void sendBlock(PortHandle handle, const std::uint8_t*, std::size_t size) override
    {
        sent.push_back({device(handle), static_cast<std::uint32_t>(size)});
    }
    std::string unavailableReason() const override { return fApi + " reason"; }

    void receive(std::uint32_t packed) { fOnShort(fInstance, packed); }

    std::vector<Sent> sent;
    std::vector<std::string> fOutputs;

private:
    PortHandle open(int index)
    {
        fOpen[fNext] = index;
        return fNext++;
    }
    void close(PortHandle handle)
    {
        if (fOpen.erase(handle) == 0)
            throw MidiServiceError(fApi + ": not open");
    }
    int device(PortHandle handle) const
    {
        const auto it = fOpen.find(handle);
        if (it == fOpen.end())
            throw MidiServiceError(fApi + ": not open");
        return it->second;
    }

    std::string fApi;
    std::vector<std::string> fInputs;
    std::map<PortHandle, int> fOpen;
    PortHandle fNext = 1;
    ShortMessageHandler fOnShort;
    int fInstance = -1;
};

struct Combined {
    RecordingService* front;
    RecordingService* system;
    std::unique_ptr<MidiService> service;
};

Combined combine()
{
    auto front =
        std::make_unique<RecordingService>("front", std::vector<std::string>{}, std::vector<std::string>{"Synth"});
    auto system = std::make_unique<RecordingService>("alsa", std::vector<std::string>{"Keys"},
                                                     std::vector<std::string>{"Out A", "Out B"});
    Combined result{front.get(), system.get(), nullptr};
    result.service = withOutputsInFront(std::move(front), std::move(system));
    return result;
}

TEST(BuiltInSynth, FrontOutputComesFirstAndIndicesReachTheirService)
{
    Combined c = combine();
    EXPECT_EQ(c.service->outputNames(), (std::vector<std::string>{"Synth", "Out A", "Out B"}));
    EXPECT_EQ(c.service->inputNames(), std::vector<std::string>{"Keys"});
    EXPECT_EQ(c.service->apiName(), "alsa");
    EXPECT_EQ(c.service->unavailableReason(), "alsa reason");

    // Both inner services hand out handle 1 first; the combined handles still tell them apart.
    const PortHandle synth = c.service->openOutput(0, "Synth");
    const PortHandle outB = c.service->openOutput(2, "Out B");
    const PortHandle outA = c.service->openOutput(1, "Out A");
    EXPECT_NE(synth, outB);
    c.service->sendShort(synth, 0x643C90);
    c.service->sendShort(outB, 0x403C80);
    c.service->sendShort(outA, 0x07B0);
    const std::uint8_t sysex[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    c.service->sendBlock(synth, sysex, sizeof sysex);

    ASSERT_EQ(c.front->sent.size(), 2u);
    EXPECT_EQ(c.front->sent[0].device, 0);
    EXPECT_EQ(c.front->sent[0].packed, 0x643C90u);
    EXPECT_EQ(c.front->sent[1].packed, sizeof sysex);
    ASSERT_EQ(c.system->sent.size(), 2u);
    EXPECT_EQ(c.system->sent[0].device, 1);
    EXPECT_EQ(c.system->sent[0].packed, 0x403C80u);
    EXPECT_EQ(c.system->sent[1].device, 0);

    EXPECT_THROW(c.service->openOutput(3, "Out B"), MidiServiceError);
    EXPECT_THROW(c.service->openOutput(-1, "Synth"), MidiServiceError);
}

TEST(BuiltInSynth, AfterTheSystemsOutputsChangedAnIndexOpensOnlyTheDeviceItWasListedFor)
{
    Combined c = combine();
    ASSERT_EQ(c.service->outputNames(), (std::vector<std::string>{"Synth", "Out A", "Out B"}));
    c.system->fOutputs = {"Out B", "Out C"};   // Out A unplugged, Out C plugged in

    EXPECT_THROW(c.service->openOutput(1, "Out A"), MidiServiceError);
    EXPECT_THROW(c.service->openOutput(2, "Out B"), MidiServiceError);
    const PortHandle outB = c.service->openOutput(1, "Out B");
    c.service->sendShort(outB, 0x07B0);
    ASSERT_EQ(c.system->sent.size(), 1u);
    EXPECT_EQ(c.system->sent[0].device, 0);
}

TEST(BuiltInSynth, InputsAreTheSystemsAndClosedHandlesFail)
{
    Combined c = combine();
    std::vector<std::pair<int, std::uint32_t>> received;
    const PortHandle input = c.service->openInput(
        0, "Keys", 7, [&](int instance, std::uint32_t packed) { received.emplace_back(instance, packed); }, nullptr);
    c.system->receive(0x643C90);
    EXPECT_EQ(received, (std::vector<std::pair<int, std::uint32_t>>{{7, 0x643C90u}}));

    const PortHandle output = c.service->openOutput(0, "Synth");
    EXPECT_NE(input, output);
    c.service->closeOutput(output);
    EXPECT_THROW(c.service->sendShort(output, 0x643C90), MidiServiceError);
    EXPECT_THROW(c.service->closeOutput(output), MidiServiceError);
    c.service->closeInput(input);
    EXPECT_THROW(c.service->closeInput(input), MidiServiceError);
    EXPECT_TRUE(c.front->sent.empty());
}

class EnvironmentVariable {
public:
    EnvironmentVariable(const char* name, const std::string& value) : fName(name)
    {
        if (const char* old = std::getenv(name))
            fOld = old;
        qputenv(name, QByteArray::fromStdString(value));
    }
    ~EnvironmentVariable()
    {
        if (fOld)
            qputenv(fName, QByteArray::fromStdString(*fOld));
        else
            qunsetenv(fName);
    }

private:
    const char* fName;
    std::optional<std::string> fOld;
};

std::unique_ptr<RecordingService> systemService()
{
    return std::make_unique<RecordingService>("alsa", std::vector<std::string>{"Keys"},
                                              std::vector<std::string>{"Out A"});
}

// A folder for the executable and the files around it.
class SynthModuleTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(fDir.isValid()); }

    std::filesystem::path path(const std::string& name) const
    {
        return std::filesystem::path(fDir.path().toStdString()) / name;
    }

    std::filesystem::path file(const std::string& name, const std::string& content) const
    {
        std::filesystem::create_directories(path(name).parent_path());
        std::ofstream(path(name), std::ios::binary) << content;
        return path(name);
    }

    // Taken for a sound font by the search; the synthesizer could not load it.
    std::filesystem::path soundFontHeader() const { return file("font.sf2", std::string("RIFF\0\0\0\0sfbk", 12)); }

private:
    QTemporaryDir fDir;
};

TEST_F(SynthModuleTest, WithoutSoundFontTheModuleIsNotLookedFor)
{
    EnvironmentVariable none("TARV_SOUNDFONT", "none");
    auto system = systemService();
    MidiService* original = system.get();
    file("bin/tarv-synth.so", "not a module");
    const WithSynth result = withBuiltInSynth(std::move(system), path("bin"));
    EXPECT_EQ(result.service.get(), original);
    EXPECT_EQ(result.failure, "");
}

// Missing or not loadable, the module is reported once and the system's ports stay.
TEST_F(SynthModuleTest, ASoundFontWithoutAModuleThatLoadsIsReportedAndTheSystemsPortsStay)
{
    EnvironmentVariable soundFont("TARV_SOUNDFONT", soundFontHeader().string());
    std::filesystem::create_directories(path("bin"));
    WithSynth result = withBuiltInSynth(systemService(), path("bin"));
    EXPECT_EQ(result.service->outputNames(), std::vector<std::string>{"Out A"});
    EXPECT_EQ(result.failure,
              "Der eingebaute Synthesizer kann nicht geladen werden: tarv-synth.so fehlt (gesucht: "
                  + (path("bin") / "tarv-synth.so").string() + ", " + (path("lib/tarv") / "tarv-synth.so").string()
                  + ")");

    file("bin/tarv-synth.so", "not a module");
    result = withBuiltInSynth(systemService(), path("bin"));
    EXPECT_EQ(result.service->outputNames(), std::vector<std::string>{"Out A"});
    EXPECT_TRUE(result.failure.starts_with(
        "Der eingebaute Synthesizer kann nicht geladen werden: " + (path("bin") / "tarv-synth.so").string() + ": "))
        << result.failure;
}

#if defined(TARV_SYNTH_MODULE)
TEST_F(SynthModuleTest, AsInstalledTheModuleIsFoundInLibTarvBesideTheExecutablesFolder)
{
    std::filesystem::create_directories(path("usr/bin"));
    std::filesystem::create_directories(path("usr/lib/tarv"));
    std::filesystem::copy_file(TARV_SYNTH_MODULE, path("usr/lib/tarv/tarv-synth.so"));
    std::string failure;
    EXPECT_NE(loadSynthModule(synthModuleFolders(path("usr/bin")), failure), nullptr) << failure;
}

TEST(BuiltInSynth, WithSoundFontTheSynthIsOutputZero)
{
    const char* timGM6mb = "/usr/share/sounds/sf2/TimGM6mb.sf2";
    if (!std::filesystem::exists(timGM6mb))
        GTEST_SKIP() << "sound font missing: " << timGM6mb;
    EnvironmentVariable soundFont("TARV_SOUNDFONT", timGM6mb);
    const WithSynth result = withBuiltInSynth(systemService(), std::filesystem::path(TARV_SYNTH_MODULE).parent_path());
    EXPECT_EQ(result.failure, "");
    EXPECT_EQ(result.service->outputNames(), (std::vector<std::string>{"tarv GM Synth (FluidSynth)", "Out A"}));
    EXPECT_EQ(result.service->inputNames(), std::vector<std::string>{"Keys"});
}
#endif

}   // namespace
