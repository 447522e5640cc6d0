// MIDI from a client process through the shared memory, the ports and their SoundFonts to the
// audio that Wine hands to the sound server (recorded to a file by the test run's virtual card).

#include "synth/win32/SynthEngine.h"
#include "audio/win32/COutputDevice.h"
#include "config/Language.h"
#include "config/Settings.h"
#include "config/win32/Win32ProfileStore.h"
#include "midiclient/ShmClient.h"
#include "support/CSf2Writer.h"
#include "support/Eventually.h"
#include "support/TestPaths.h"
#include "support/win32/AudioCapture.h"
#include "support/win32/MessageBoxCatcher.h"
#include "synth/win32/IpcServer.h"
#include "synth/win32/MidiDevice.h"
#include "win32/ClientProcess.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>

using namespace hml::config;
using namespace hml::synth;

namespace {

// The sine font with each program transposed by its semitones.
void WriteFont(const std::filesystem::path& path, const std::vector<std::pair<int, int>>& presets) {
    std::vector<hml::test::SSinePreset> sines;
    for (auto [program, semitones] : presets) {
        sines.push_back({0, program, semitones});
    }
    hml::test::CSf2Writer::SinePresets(sines).Write(path);
}

// A test note plays at about 0.025 of full scale (the output leaves 14 dB of headroom).
constexpr double kHeard = 0.01;
constexpr double kSilent = 0.002;

// Level of a frequency in windows (100 ms unless asked) of the captured 16-bit stereo audio.
std::vector<double> LevelsOf(const std::vector<int16_t>& samples, double frequency,
                             size_t window = 4800) {
    std::vector<double> levels;
    const double w = 2 * 3.14159265358979 * frequency / 48000;
    for (size_t start = 0; (start + window) * 2 <= samples.size(); start += window) {
        double re = 0, im = 0;
        for (size_t i = 0; i < window; ++i) {
            const double v = samples[2 * (start + i)] / 32768.0;
            re += v * std::cos(w * static_cast<double>(i));
            im += v * std::sin(w * static_cast<double>(i));
        }
        levels.push_back(2 * std::sqrt(re * re + im * im) / static_cast<double>(window));
    }
    return levels;
}

// The first window from `from` on where a level passes the threshold, or -1.
int FirstAbove(const std::vector<double>& levels, double threshold, size_t from = 0) {
    for (size_t i = from; i < levels.size(); ++i) {
        if (levels[i] > threshold) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

class SynthEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!hml::test::CaptureFile(capturePath)) {
            GTEST_SKIP() << "no audio capture in this environment";
        }
        captureStart = hml::test::CaptureSize(capturePath);
        WriteFont(folder.path / "low.sf2", {{0, 0}, {5, 7}});
        WriteFont(folder.path / "high.sf2", {{0, 12}});
        const std::wstring config = folder.File(L"Harmolith.conf");
        std::ofstream(std::filesystem::path(config))
            << "[Advanced]\nDevicesCount=2\nOutputDevice=1;1\nAdditionalBuffer=40\n"
               "ReverbLevel=0\nChorusLevel=0\n[SoundFonts]\nsf1="
            << (folder.path / "low.sf2").string()
            << "\nsf1.enabled=1\nsf2=" << (folder.path / "high.sf2").string()
            << "\nsf2.enabled=2\n";
        config_ = std::make_unique<CSettings>(std::make_unique<CWin32ProfileStore>(), folder.Wide(),
                                              config);
        settings = config_.get();
        engine = std::make_unique<SynthEngine>();
        synthEngine = engine.get();
        ASSERT_TRUE(engine->Init());
        server = std::make_unique<CIpcServer>(*engine, 8000);
        ASSERT_TRUE(server->Open());
        ASSERT_TRUE(server->StartListening());
        WaitForRealTimeCapture();
    }

    // The audio path's buffers fill faster than real time at first; timing means something once
    // the capture grows at the device's pace (48 kHz, 4 bytes a frame) twice in a row.
    void WaitForRealTimeCapture() {
        int steady = 0;
        for (int i = 0; i < 50 && steady < 2; ++i) {
            std::error_code error;
            const auto before = std::filesystem::file_size(capturePath, error);
            Sleep(200);
            const auto after = std::filesystem::file_size(capturePath, error);
            const double rate = error ? 0 : static_cast<double>(after - before) / 0.2 / 192000;
            steady = rate > 0.7 && rate < 1.3 ? steady + 1 : 0;
        }
    }
    void TearDown() override {
        server.reset();
        engine.reset();
        synthEngine = nullptr;
        settings = nullptr;
    }

    // The captured audio, once the capture has stopped growing for half a second: under load the
    // recorder can pause for more than 100 ms while audio is still on its way.
    std::vector<int16_t> Captured() {
        std::error_code error;
        std::uintmax_t last = 0;
        int unchanged = 0;
        for (int i = 0; i < 60 && unchanged < 5; ++i) {
            Sleep(100);
            const std::uintmax_t size = std::filesystem::file_size(capturePath, error);
            unchanged = !error && size == last && size > 0 ? unchanged + 1 : 0;
            last = error ? 0 : size;
        }
        const std::vector<char> bytes = hml::test::RecordedBytes(capturePath, captureStart);
        std::vector<int16_t> samples(bytes.size() / 2);
        std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
        return samples;
    }

    // Holds key 69 for a second on port 1, closes the client, stops the server and the engine,
    // and returns what the sound card played.
    std::vector<int16_t> PlayKey69AndStop(CShmClient& client) {
        client.ShortMsg(0, 0x7F4590);
        Sleep(1000);
        client.ShortMsg(0, 0x4580);
        client.Close(0);
        Sleep(500);
        server->Close();
        engine->Free();
        return Captured();
    }

    hml::test::CTempFolder folder;
    std::filesystem::path capturePath;
    std::uintmax_t captureStart = 0; // earlier tests' audio comes before
    std::unique_ptr<CSettings> config_;
    std::unique_ptr<SynthEngine> engine;
    std::unique_ptr<CIpcServer> server;
};

TEST_F(SynthEngineTest, EachPortIsHeardWithItsOwnSoundFont) {
    EXPECT_TRUE(engine->AllPortsHaveSoundFonts());
    ASSERT_EQ(engine->ports.size(), 2u);
    HANDLE client = StartClient(L"port=0 open note=69,100,600 close sleep=300 "
                                L"port=1 open note=69,100,600 close sleep=300");
    ASSERT_NE(client, nullptr);
    ASSERT_EQ(WaitForSingleObject(client, 20000), WAIT_OBJECT_0);
    CloseHandle(client);
    Sleep(300);
    server->Close();
    engine->Free(); // closes the device, so the capture is complete

    const auto samples = Captured();
    const auto low = LevelsOf(samples, 440);
    const auto high = LevelsOf(samples, 880);
    const int lowAt = FirstAbove(low, kHeard);
    const int highAt = FirstAbove(high, kHeard);
    ASSERT_GE(lowAt, 0) << "port 1 plays its font's 440 Hz";
    ASSERT_GE(highAt, 0) << "port 2 plays its font's 880 Hz";
    EXPECT_LT(lowAt, highAt) << "in the order they were sent";
    EXPECT_LT(high[static_cast<size_t>(lowAt)], kSilent) << "port 1 has no access to port 2's font";
    EXPECT_LT(low[static_cast<size_t>(highAt)], kSilent);
}

TEST_F(SynthEngineTest, NotesAreHeardWhenTheyWereSent) {
    HANDLE client =
        StartClient(L"port=0 open sleep=1000 note=69,100,300 sleep=500 note=69,100,300 close");
    ASSERT_NE(client, nullptr);
    ASSERT_EQ(WaitForSingleObject(client, 20000), WAIT_OBJECT_0);
    CloseHandle(client);
    Sleep(300);
    server->Close();
    engine->Free();

    // 10 ms windows: the two notes start 800 ms apart and last 300 ms each. A note is a run of
    // windows with the tone, short dropouts of a loaded test machine included.
    const auto levels = LevelsOf(Captured(), 440, 480);
    std::vector<std::pair<int, int>> notes; // first and last window
    for (int i = 0; i < static_cast<int>(levels.size()); ++i) {
        if (levels[static_cast<size_t>(i)] < kHeard) {
            continue;
        }
        if (!notes.empty() && i - notes.back().second <= 10) {
            notes.back().second = i;
        } else {
            notes.emplace_back(i, i);
        }
    }
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_NEAR((notes[0].second - notes[0].first + 1) * 10, 300, 80) << "note length in ms";
    EXPECT_NEAR((notes[1].first - notes[0].first) * 10, 800, 80) << "time between the notes";
}

TEST_F(SynthEngineTest, TheClientPlaysAMidiFile) {
    // Format 0, 480 ticks a quarter at 120 bpm: key 69 for half a second.
    const unsigned char song[] = {'M',  'T',  'h', 'd',  0,    0,    0,    6,   0,
                                  0,    0,    1,   0x01, 0xE0, 'M',  'T',  'r', 'k',
                                  0,    0,    0,   13,   0x00, 0x90, 69,   100, 0x83,
                                  0x60, 0x80, 69,  0,    0x00, 0xFF, 0x2F, 0x00};
    std::ofstream(folder.path / "song.mid", std::ios::binary)
        .write(reinterpret_cast<const char*>(song), sizeof song);
    HANDLE client = StartClient(L"port=0 open play=" + folder.File(L"song.mid") + L" close");
    ASSERT_NE(client, nullptr);
    ASSERT_EQ(WaitForSingleObject(client, 20000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(client, &code);
    CloseHandle(client);
    EXPECT_EQ(code, 0u);
    Sleep(300);
    server->Close();
    engine->Free();
    const auto levels = LevelsOf(Captured(), 440, 480);
    const int first = FirstAbove(levels, kHeard);
    ASSERT_GE(first, 0) << "the file's note is heard";
    int last = first;
    for (int i = first; i < static_cast<int>(levels.size()); ++i) {
        if (levels[static_cast<size_t>(i)] > kHeard) {
            last = i;
        }
    }
    EXPECT_NEAR((last - first + 1) * 10, 500, 100) << "for the half second the file says";
}

TEST_F(SynthEngineTest, RestartKeepsTheConnectionAndItsProgram) {
    CShmClient client;
    ASSERT_TRUE(client.Connect());
    client.Open(0);
    client.ShortMsg(0, 0x05C0); // program 5: a fifth up
    ASSERT_TRUE(Eventually([&] {
        std::lock_guard<std::recursive_mutex> guard(engine->TableLock());
        PortClient* c = engine->ports[0]->FindClient(client.ClientId());
        return c && c->HasStream() && c->midi.program[0] == 5;
    }));
    engine->Restart();
    {
        std::lock_guard<std::recursive_mutex> guard(engine->TableLock());
        PortClient* c = engine->ports[0]->FindClient(client.ClientId());
        ASSERT_NE(c, nullptr) << "the client stays connected";
        EXPECT_TRUE(c->HasStream());
    }
    Sleep(800); // the reopened audio path fills its buffers first
    const auto samples = PlayKey69AndStop(client);
    const auto fifth = LevelsOf(samples, 440 * std::pow(2.0, 7 / 12.0));
    const auto plain = LevelsOf(samples, 440);
    const int at = FirstAbove(fifth, kHeard);
    ASSERT_GE(at, 0) << "the note plays with program 5 after the restart; 440 Hz at window "
                     << FirstAbove(plain, kHeard) << " of " << plain.size();
    EXPECT_LT(plain[static_cast<size_t>(at)], kSilent);
}

TEST_F(SynthEngineTest, ANewSoundFontListIsHeardByAConnectedClient) {
    CShmClient client;
    ASSERT_TRUE(client.Connect());
    client.Open(0);
    ASSERT_TRUE(Eventually([&] {
        std::lock_guard<std::recursive_mutex> guard(engine->TableLock());
        PortClient* c = engine->ports[0]->FindClient(client.ClientId());
        return c && c->HasStream();
    }));
    // Port 1 changes from the low font to the high one, as an applied SoundFonts page does.
    std::vector<SoundFontEntry> list = settings->soundFonts;
    list[0].enabled = 0;
    list[1].enabled = 3;
    engine->ReplaceSoundFonts(list);
    {
        std::lock_guard<std::recursive_mutex> guard(engine->TableLock());
        ASSERT_NE(engine->ports[0]->FindClient(client.ClientId()), nullptr)
            << "the client stays connected";
    }
    Sleep(300);
    const auto samples = PlayKey69AndStop(client);

    std::ifstream stored(std::filesystem::path(folder.File(L"Harmolith.conf")));
    const std::string text((std::istreambuf_iterator<char>(stored)), {});
    EXPECT_NE(text.find("sf2.enabled=3"), std::string::npos) << "the list is written";
    const auto high = LevelsOf(samples, 880);
    const auto low = LevelsOf(samples, 440);
    const int at = FirstAbove(high, kHeard);
    ASSERT_GE(at, 0) << "the note plays with the new font; 440 Hz at window "
                     << FirstAbove(low, kHeard) << " of " << low.size();
    EXPECT_LT(low[static_cast<size_t>(at)], kSilent) << "the old font is gone";
}

TEST(SynthEngineDeviceTest, MissingDevicesFallBackOnceAndTheirPortsPlayOnTheReplacement) {
    hml::test::CTempFolder folder;
    const std::wstring config = folder.File(L"Harmolith.conf");
    std::ofstream(std::filesystem::path(config))
        << "[Advanced]\nDevicesCount=3\nOutputDevice=77;0;77\n";
    CSettings s(std::make_unique<CWin32ProfileStore>(), folder.Wide(), config);
    settings = &s;
    CLanguage english(hml::test::Source("."), CLanguage::kEnglish);
    english.LoadSection(L"synth");
    language = &english;
    {
        CMessageBoxCatcher catcher;
        SynthEngine engine;
        synthEngine = &engine;
        ASSERT_TRUE(engine.Init());
        EXPECT_EQ(engine.devices, (std::vector<int>{0, 77}));
        ASSERT_EQ(catcher.boxes.size(), 1u) << "one message for the missing device";
        EXPECT_NE(catcher.boxes[0].text.find(L"Harmolith #1"), std::wstring::npos)
            << "it names the lowest port using it";
        ASSERT_NE(engine.DeviceOfPort(0), nullptr);
        EXPECT_EQ(engine.DeviceOfPort(0)->Number(), 1) << "device 77 is replaced by device 1";
        EXPECT_EQ(engine.DeviceOfPort(2), engine.DeviceOfPort(0));
        EXPECT_EQ(engine.DeviceOfPort(1)->Number(), 0);
        EXPECT_EQ(engine.ports.size(), 3u);
        EXPECT_FALSE(engine.AllPortsHaveSoundFonts());
        engine.Free();
        synthEngine = nullptr;
    }
    language = nullptr;
    settings = nullptr;
}

TEST(SynthEngineTextTest, ErrorTextsAndStreamFlagsFromTheSettings) {
    EXPECT_STREQ(BassErrorText(2, 0), L"");
    EXPECT_STREQ(BassErrorText(2, 4), L"BASS_ERROR_FILEOPEN: The file could not be opened.");
    EXPECT_STREQ(BassErrorText(6, 5), L"");
    EXPECT_STREQ(BassErrorText(999, 1), L"");
    EXPECT_STREQ(BassErrorText(-1, 3), L"BASS_ERROR_UNKNOWN: Unknown problem!");

    hml::test::CTempFolder folder;
    const std::wstring config = folder.File(L"Harmolith.conf");
    std::ofstream(std::filesystem::path(config))
        << "[Advanced]\nForce8BitSamples=1\nDisableStereo=1\n";
    CSettings s(std::make_unique<CWin32ProfileStore>(), folder.Wide(), config);
    settings = &s;
    using namespace hml::audio::StreamFlags;
    EXPECT_EQ(GetStreamFlags(0), Sample8Bits | Mono);
    s.force8BitSamples.Set(0);
    s.sincInterpolatedMix.Set(1);
    EXPECT_EQ(GetStreamFlags(0), Mono | Sinc | Float) << "float on Windows 6 and later";
    settings = nullptr;
}

} // namespace

// Devices that fail on purpose, for the engine's fallbacks.
class CFailingDevices {
public:
    explicit CFailingDevices(const std::string& config) {
        WriteFont(folder.path / "sine.sf2", {{0, 0}});
        std::ofstream(std::filesystem::path(folder.File(L"Harmolith.conf")))
            << config << "[SoundFonts]\nsf1=" << (folder.path / "sine.sf2").string()
            << "\nsf1.enabled=3\nsf1.preload=0\n";
        store = std::make_unique<CSettings>(std::make_unique<CWin32ProfileStore>(), folder.Wide(),
                                            folder.File(L"Harmolith.conf"));
        settings = store.get();
        english = std::make_unique<CLanguage>(hml::test::Source("."), CLanguage::kEnglish);
        english->LoadSection(L"synth");
        language = english.get();
    }
    ~CFailingDevices() {
        language = nullptr;
        settings = nullptr;
    }
    hml::test::CTempFolder folder;
    std::unique_ptr<CSettings> store;
    std::unique_ptr<CLanguage> english;
};

// Only the "no sound" device opens; the others fail with `error`.
SynthEngine::DeviceOpener OnlySilence(hml::audio::EError failure) {
    return [failure](int device, std::uint32_t rate, hml::audio::EError& error) {
        if (device == 0) {
            return hml::audio::COutputDevice::Open(0, rate, error);
        }
        error = failure;
        return std::unique_ptr<hml::audio::COutputDevice>();
    };
}

TEST(SynthEngineDeviceTest, APortWithoutAWorkingDeviceStillConsumesItsClients) {
    CFailingDevices fixture("[Advanced]\nDevicesCount=2\nOutputDevice=5;5\n");
    CMessageBoxCatcher catcher;
    SynthEngine engine;
    synthEngine = &engine;
    engine.SetDeviceOpener(OnlySilence(hml::audio::EError::Device));
    ASSERT_TRUE(engine.Init());
    ASSERT_NE(engine.DeviceOfPort(0), nullptr) << "the no-sound device is the last fallback";
    EXPECT_EQ(engine.DeviceOfPort(0)->Number(), 0);
    {
        std::lock_guard<std::recursive_mutex> table(engine.TableLock());
        PortClient* first = engine.ports[0]->AddClient(1001);
        ASSERT_TRUE(first->HasStream());
        // Far more events than a stream queue holds: all are taken, none waits for long.
        const ULONGLONG start = GetTickCount64();
        for (int i = 0; i < 100000; ++i) {
            first->OnShortMessage(0x000B0 | static_cast<std::uint32_t>(i % 128) << 16, 0);
        }
        EXPECT_LT(GetTickCount64() - start, 10000u);
        first->OnShortMessage(0x7F4590, 0);
        EXPECT_TRUE(Eventually([&] { return first->Stream()->GetActiveVoices() > 0; }))
            << "the note was rendered: the stream is being consumed";

        // Two clients: every channel, the 17th (all) included, names the crowd.
        engine.ports[0]->AddClient(1002);
        EXPECT_EQ(engine.ports[0]->GetInstrumentName(3), L"* multiple clients *");
        EXPECT_EQ(engine.ports[0]->GetInstrumentName(16), L"* multiple clients *");
        engine.ports[0]->RemoveClient(1002);
        EXPECT_EQ(engine.ports[0]->GetInstrumentName(16), L"");
    }
    engine.Free();
    synthEngine = nullptr;
}

TEST(SynthEngineDeviceTest, AFailedStartKeepsNoDeviceOpenForTheNext) {
    CFailingDevices fixture("[Advanced]\nDevicesCount=2\nOutputDevice=0;3\n");
    CMessageBoxCatcher catcher;
    SynthEngine engine;
    synthEngine = &engine;
    engine.SetDeviceOpener(OnlySilence(hml::audio::EError::Driver));
    EXPECT_FALSE(engine.Init());
    ASSERT_EQ(catcher.boxes.size(), 1u);
    EXPECT_NE(catcher.boxes[0].text.find(L"Harmolith #2"), std::wstring::npos);
    // The next start, at another rate, opens its devices afresh.
    settings->outputSampleRate.Set(44100);
    engine.SetDeviceOpener([](int, std::uint32_t rate, hml::audio::EError& error) {
        return hml::audio::COutputDevice::Open(0, rate, error);
    });
    ASSERT_TRUE(engine.Init());
    EXPECT_EQ(engine.DeviceOfPort(0)->Rate(), 44100u);
    EXPECT_EQ(engine.DeviceOfPort(1)->Rate(), 44100u);
    engine.Free();
    synthEngine = nullptr;
}
