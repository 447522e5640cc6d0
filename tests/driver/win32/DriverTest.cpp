// Harmolith.dll loaded into this test process and driven through its entry points exactly as
// winmm drives them (Wine's winmm loads no driver named in the Drivers32 key), against a real
// Harmolith.exe: what programs are told, what the synth plays, and that nothing a program or
// another writer does can block a caller past the driver's bounds.

#include "HarmolithProcess.h"
#include "midiplay/DriverHost.h"
#include "support/CSf2Writer.h"
#include "support/Eventually.h"
#include "support/win32/AudioCapture.h"
#include "win32/ClientProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <vector>

namespace {

using harness::CHarmolith;

std::wstring DriverDll() {
    return hml::test::FromHost(HML_DRIVER_DLL);
}

// The callbacks the driver made, as a program's callback function sees them.
struct SCallback {
    UINT message;
    DWORD_PTR instance;
    DWORD_PTR param1;
};
std::vector<SCallback> callbacks;

void CALLBACK OnMidiOut(HMIDIOUT, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
    callbacks.push_back({message, instance, param1});
}

std::vector<UINT> CallbackMessages() {
    std::vector<UINT> messages;
    for (const SCallback& c : callbacks) {
        messages.push_back(c.message);
    }
    return messages;
}

DWORD MillisecondsOf(const std::function<void()>& action) {
    const ULONGLONG start = GetTickCount64();
    action();
    return static_cast<DWORD>(GetTickCount64() - start);
}

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        callbacks.clear();
        CHarmolith::SetDriverInstalled(true); // no install question at the synth's start
    }

    // A sine font (key 69 sounds 440 Hz) on every port, and `advanced` lines.
    void Configure(const std::string& advanced) {
        const auto font = harmolith.folder.path / "sine.sf2";
        hml::test::CSf2Writer::SinePresets({{0, 0, 0}}).Write(font);
        harmolith.WriteConfig("[Advanced]\r\n" + advanced +
                              "ReverbLevel=0\r\nChorusLevel=0\r\n[SoundFonts]\r\nsf1=" +
                              font.string() + "\r\nsf1.enabled=15\r\nsf1.preload=0\r\n");
    }

    void StartSynth() {
        harmolith.Start();
        ASSERT_NE(harmolith.Tray(), nullptr) << "the synth did not start";
    }

    CHarmolith harmolith;
};

TEST_F(DriverTest, AnswersWinmmAboutPortsAndCallsBack) {
    Configure("DevicesCount=2\r\n");
    StartSynth();
    CDriverHost host(DriverDll());
    ASSERT_TRUE(host.Loaded());
    EXPECT_EQ(host.NumDevs(), 2u);
    MIDIOUTCAPSW caps{};
    ASSERT_EQ(host.Caps(1, caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, L"Harmolith #2");
    EXPECT_EQ(caps.wTechnology, MOD_MIDIPORT);
    EXPECT_EQ(caps.wChannelMask, 0xFFFF);
    EXPECT_EQ(host.Caps(2, caps), MMSYSERR_BADDEVICEID);
    DWORD_PTR user = 0;
    EXPECT_EQ(host.Open(2, user), MMSYSERR_BADDEVICEID);

    ASSERT_EQ(host.Open(1, user, reinterpret_cast<DWORD_PTR>(&OnMidiOut), 77, CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    ASSERT_EQ(callbacks.size(), 1u);
    EXPECT_EQ(callbacks[0].message, MOM_OPEN);
    EXPECT_EQ(callbacks[0].instance, 77u);
    EXPECT_EQ(host.ShortMsg(user, 0x7F4590), MMSYSERR_NOERROR);
    EXPECT_EQ(host.Message(0, MODM_RESET, user), MMSYSERR_NOERROR);
    EXPECT_EQ(host.Message(0, MODM_GETVOLUME, user), MMSYSERR_NOTSUPPORTED);

    // A long message needs a prepared header, and comes back done.
    char sysEx[] = {'\xF0', '\x7E', '\x7F', '\x09', '\x01', '\xF7'};
    MIDIHDR header{};
    header.lpData = sysEx;
    header.dwBufferLength = sizeof sysEx;
    const auto param = reinterpret_cast<DWORD_PTR>(&header);
    EXPECT_EQ(host.Message(0, MODM_LONGDATA, user, param, sizeof header), MIDIERR_UNPREPARED);
    ASSERT_EQ(host.Message(0, MODM_PREPARE, user, param, sizeof header), MMSYSERR_NOERROR);
    ASSERT_EQ(host.Message(0, MODM_LONGDATA, user, param, sizeof header), MMSYSERR_NOERROR);
    EXPECT_TRUE(header.dwFlags & MHDR_DONE);
    EXPECT_FALSE(header.dwFlags & MHDR_INQUEUE);
    ASSERT_EQ(callbacks.size(), 2u);
    EXPECT_EQ(callbacks[1].message, MOM_DONE);
    EXPECT_EQ(callbacks[1].param1, param);
    EXPECT_EQ(host.Message(0, MODM_UNPREPARE, user, param, sizeof header), MMSYSERR_NOERROR);
    EXPECT_FALSE(header.dwFlags & MHDR_PREPARED);
    EXPECT_EQ(host.Message(0, MODM_LONGDATA, user, param, 8), MMSYSERR_INVALPARAM);

    ASSERT_EQ(host.Close(user), MMSYSERR_NOERROR);
    EXPECT_EQ(CallbackMessages(), (std::vector<UINT>{MOM_OPEN, MOM_DONE, MOM_CLOSE}));
}

TEST_F(DriverTest, HandlesMisusedByAProgramAreRefusedHarmlessly) {
    Configure("");
    StartSynth();
    CDriverHost host(DriverDll());
    ASSERT_TRUE(host.Loaded());
    EXPECT_EQ(host.ShortMsg(0, 0x7F4590), MMSYSERR_INVALHANDLE) << "data before open";
    EXPECT_EQ(host.ShortMsg(12345, 0x7F4590), MMSYSERR_INVALHANDLE) << "a made-up handle";
    EXPECT_EQ(host.Message(0, MODM_OPEN, 0, 0, 0), MMSYSERR_INVALPARAM) << "no open description";

    DWORD_PTR first = 0, second = 0;
    ASSERT_EQ(host.Open(0, first), MMSYSERR_NOERROR);
    ASSERT_EQ(host.Open(0, second), MMSYSERR_NOERROR);
    EXPECT_NE(first, second);
    ASSERT_EQ(host.Close(first), MMSYSERR_NOERROR);
    EXPECT_EQ(host.Close(first), MMSYSERR_INVALHANDLE) << "closed twice";
    EXPECT_EQ(host.ShortMsg(first, 0x7F4590), MMSYSERR_INVALHANDLE) << "data after close";
    EXPECT_EQ(host.ShortMsg(second, 0x7F4590), MMSYSERR_NOERROR)
        << "the other handle on the port still plays";
    EXPECT_EQ(host.Close(second), MMSYSERR_NOERROR);
    EXPECT_EQ(harmolith.ExitCode(0, 0), STILL_ACTIVE) << "the synth took no harm";
}

// What the virtual sound card recorded from `start` on, left channel, 16-bit.
std::vector<int16_t> RecordedSince(const std::filesystem::path& capture, std::uintmax_t start) {
    const std::vector<char> bytes = hml::test::RecordedBytes(capture, start);
    std::vector<int16_t> left(bytes.size() / 4);
    for (std::size_t i = 0; i < left.size(); ++i) {
        std::memcpy(&left[i], bytes.data() + 4 * i, 2);
    }
    return left;
}

// Levels of a frequency in 100 ms windows.
std::vector<double> LevelsOf(const std::vector<int16_t>& samples, double frequency) {
    constexpr std::size_t kWindow = 4800;
    const double w = 2 * 3.14159265358979 * frequency / 48000;
    std::vector<double> levels;
    for (std::size_t start = 0; start + kWindow <= samples.size(); start += kWindow) {
        double re = 0, im = 0;
        for (std::size_t i = 0; i < kWindow; ++i) {
            const double v = samples[start + i] / 32768.0;
            re += v * std::cos(w * static_cast<double>(i));
            im += v * std::sin(w * static_cast<double>(i));
        }
        levels.push_back(2 * std::sqrt(re * re + im * im) / kWindow);
    }
    return levels;
}

TEST_F(DriverTest, ShortAndLongMessagesAreHeard) {
    std::filesystem::path capturePath;
    if (!hml::test::CaptureFile(capturePath)) {
        GTEST_SKIP() << "no audio capture in this environment";
    }
    Configure("");
    StartSynth();
    CDriverHost host(DriverDll());
    DWORD_PTR user = 0;
    ASSERT_EQ(host.Open(0, user), MMSYSERR_NOERROR);
    Sleep(500);
    const std::uintmax_t start = std::filesystem::file_size(capturePath);
    // Master volume through long messages: the first note plays muted, the second at full
    // volume. Only long messages that arrived make the first silent and the second heard.
    const unsigned char mute[] = {0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x00, 0x00, 0xF7};
    const unsigned char full[] = {0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x7F, 0x7F, 0xF7};
    ASSERT_EQ(host.LongMsg(user, mute, sizeof mute), MMSYSERR_NOERROR);
    ASSERT_EQ(host.ShortMsg(user, 0x7F4590), MMSYSERR_NOERROR);
    Sleep(400);
    ASSERT_EQ(host.ShortMsg(user, 0x004580), MMSYSERR_NOERROR);
    Sleep(400);
    ASSERT_EQ(host.LongMsg(user, full, sizeof full), MMSYSERR_NOERROR);
    ASSERT_EQ(host.ShortMsg(user, 0x7F4590), MMSYSERR_NOERROR);
    Sleep(600);
    ASSERT_EQ(host.ShortMsg(user, 0x004580), MMSYSERR_NOERROR);
    Sleep(500);
    ASSERT_EQ(host.Close(user), MMSYSERR_NOERROR);

    const std::vector<double> levels = LevelsOf(RecordedSince(capturePath, start), 440);
    std::size_t heard = 0;
    while (heard < levels.size() && levels[heard] < 0.01) {
        ++heard;
    }
    ASSERT_LT(heard, levels.size()) << "the second note is heard";
    EXPECT_GE(heard, 7u) << "the first, muted, is not (windows of 100 ms)";
}

TEST_F(DriverTest, ABlacklistedProgramGetsNoDevice) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring wide = std::filesystem::path(self).stem().wstring();
    // Typed by hand: upper case, no extension.
    Configure("ClientBlacklist=other.exe; " + std::string(wide.begin(), wide.end()) + "\r\n");
    CDriverHost host(DriverDll());
    EXPECT_EQ(host.NumDevs(), 0u);
    DWORD_PTR user = 0;
    EXPECT_EQ(host.Open(0, user), MMSYSERR_BADDEVICEID);
    EXPECT_TRUE(FindWindowW(L"MSGWND", L"Harmolith Systray Window") == nullptr)
        << "no synth is started for a program it will not serve";
}

// The tray window of a running synth; it may come a moment after the synth listens.
HWND SynthTray() {
    HWND tray = nullptr;
    Eventually([&] {
        tray = FindWindowW(L"MSGWND", L"Harmolith Systray Window");
        return tray != nullptr;
    });
    return tray;
}

// The synth the driver started: ended by the test, which did not start it.
void EndSynthStartedByDriver() {
    HWND tray = SynthTray();
    DWORD id = 0;
    GetWindowThreadProcessId(tray, &id);
    HANDLE process = id ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id) : nullptr;
    if (process) {
        TerminateProcess(process, 0);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }
}

TEST_F(DriverTest, OpenStartsTheSynthWhenNoneRuns) {
    Configure("");
    std::filesystem::copy_file(std::filesystem::path(hml::test::FromHost(HML_HARMOLITH_EXE)),
                               harmolith.folder.path / "Harmolith.exe");
    CDriverHost host(DriverDll());
    DWORD_PTR user = 0;
    DWORD opened = MMSYSERR_ERROR;
    const DWORD ms = MillisecondsOf([&] { opened = host.Open(0, user); });
    ASSERT_EQ(opened, MMSYSERR_NOERROR) << "after " << ms << " ms";
    EXPECT_EQ(host.ShortMsg(user, 0x7F4590), MMSYSERR_NOERROR);
    EXPECT_EQ(host.Close(user), MMSYSERR_NOERROR);
    EXPECT_TRUE(SynthTray() != nullptr);
    EndSynthStartedByDriver();
}

TEST_F(DriverTest, OpenFailsClearlyAndBoundedlyWhenNoSynthComes) {
    Configure("");
    CDriverHost host(DriverDll());
    DWORD_PTR user = 0;
    DWORD opened = MMSYSERR_NOERROR;
    // Registered, but its folder has no Harmolith.exe.
    DWORD ms = MillisecondsOf([&] { opened = host.Open(0, user); });
    EXPECT_EQ(opened, MMSYSERR_NODRIVER);
    EXPECT_LT(ms, 2000u);

    // A Harmolith.exe that never listens (a program that ends at once without doing so).
    std::filesystem::copy_file(std::filesystem::path(hml::test::FromHost(HML_CLIENT_EXE)),
                               harmolith.folder.path / "Harmolith.exe");
    ms = MillisecondsOf([&] { opened = host.Open(0, user); });
    EXPECT_EQ(opened, MMSYSERR_NOTENABLED);
    EXPECT_GE(ms, 9000u);
    EXPECT_LT(ms, 15000u) << "the program calling open waits a bounded time";
}

// Whether another process holds the writers' lock.
bool WriteLockHeldElsewhere() {
    HANDLE lock = OpenMutexW(SYNCHRONIZE, FALSE, L"Harmolith_WriteLock");
    if (!lock) {
        return false;
    }
    const DWORD wait = WaitForSingleObject(lock, 0);
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
        ReleaseMutex(lock);
    }
    CloseHandle(lock);
    return wait == WAIT_TIMEOUT;
}

TEST_F(DriverTest, AWriterHungOrKilledHoldingTheLockBlocksNobody) {
    Configure("");
    StartSynth();
    CDriverHost host(DriverDll());
    DWORD_PTR user = 0;
    ASSERT_EQ(host.Open(0, user), MMSYSERR_NOERROR);
    HANDLE holder = StartClient(L"wait-for-synth=30000 hold-lock");
    ASSERT_NE(holder, nullptr);
    ASSERT_TRUE(Eventually(&WriteLockHeldElsewhere, 30000));

    DWORD sent = MMSYSERR_NOERROR;
    const DWORD ms = MillisecondsOf([&] { sent = host.ShortMsg(user, 0x7F4590); });
    EXPECT_EQ(sent, MIDIERR_NOTREADY) << "a hung writer costs one bounded wait";
    EXPECT_LT(ms, 3000u);

    TerminateProcess(holder, 1);
    WaitForSingleObject(holder, 5000);
    CloseHandle(holder);
    EXPECT_EQ(host.ShortMsg(user, 0x7F4590), MMSYSERR_NOERROR) << "its abandoned lock is taken";
    EXPECT_EQ(host.ShortMsg(user, 0x004590), MMSYSERR_NOERROR);
    EXPECT_EQ(host.Close(user), MMSYSERR_NOERROR);
}

// A standard MIDI file holding one note of key 81 (880 Hz in the sine font) for 20 seconds.
void WriteLongNote(const std::filesystem::path& path) {
    // Format 0, one track, 480 ticks a quarter note (120 bpm: 19200 ticks are 20 s).
    const unsigned char header[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0};
    const unsigned char track[] = {'M',  'T',  'r',  'k',  0,  0,
                                   0,    14,   0x00, 0x90, 81, 100, // note on at once
                                   0x81, 0x96, 0x00, 0x80, 81, 0,   // note off 19200 ticks later
                                   0x00, 0xFF, 0x2F, 0x00};         // end of track
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(header), sizeof header);
    out.write(reinterpret_cast<const char*>(track), sizeof track);
}

TEST_F(DriverTest, AnIdleClientStaysAndAKilledOneIsDropped) {
    std::filesystem::path capturePath;
    if (!hml::test::CaptureFile(capturePath)) {
        GTEST_SKIP() << "no audio capture in this environment";
    }
    Configure("WatchdogTimeout=4000\r\n");
    StartSynth();

    // Idle for more than two watchdog intervals: only the driver's keep-alive records keep the
    // connection, without which this note would go to nobody.
    CDriverHost host(DriverDll());
    DWORD_PTR user = 0;
    ASSERT_EQ(host.Open(0, user), MMSYSERR_NOERROR);
    Sleep(9000);
    std::uintmax_t start = std::filesystem::file_size(capturePath);
    ASSERT_EQ(host.ShortMsg(user, 0x7F4590), MMSYSERR_NOERROR);
    Sleep(600);
    ASSERT_EQ(host.ShortMsg(user, 0x004580), MMSYSERR_NOERROR);
    Sleep(400);
    std::vector<double> levels = LevelsOf(RecordedSince(capturePath, start), 440);
    EXPECT_GT(*std::max_element(levels.begin(), levels.end()), 0.01) << "the idle client is heard";

    // A player killed in the middle of a long note never closes: its connection, and the note,
    // last only until the watchdog finds it silent.
    const auto folder = harmolith.folder.path / "player";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(std::filesystem::path(DriverDll()), folder / "Harmolith.dll");
    std::filesystem::copy_file(std::filesystem::path(hml::test::FromHost(HML_PLAY_EXE)),
                               folder / "harmolith-play.exe");
    WriteLongNote(folder / "note.mid");
    std::wstring line = L"\"" + (folder / "harmolith-play.exe").wstring() + L"\" \"" +
                        (folder / "note.mid").wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION player{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               folder.wstring().c_str(), &startup, &player));
    Sleep(2000);
    TerminateProcess(player.hProcess, 1);
    WaitForSingleObject(player.hProcess, 5000);
    CloseHandle(player.hProcess);
    CloseHandle(player.hThread);
    start = std::filesystem::file_size(capturePath);
    Sleep(10000);
    levels = LevelsOf(RecordedSince(capturePath, start), 880);
    ASSERT_GE(levels.size(), 95u);
    EXPECT_GT(levels[0], 0.01) << "the killed player's note sounds on";
    EXPECT_LT(levels[levels.size() - 5], 0.002) << "until its connection is dropped";
    EXPECT_EQ(host.ShortMsg(user, 0x7F4590), MMSYSERR_NOERROR) << "the other client plays on";
    EXPECT_EQ(host.Close(user), MMSYSERR_NOERROR);
}

} // namespace
