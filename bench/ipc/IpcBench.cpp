// Measures how fast the synth's listen thread takes MIDI records off the shared ring and hands
// them to the connection's stream, and how long one record waits between its write and that
// moment. Runs the real server, port and stream on the "no sound" device, with the system's GM
// SoundFont when there is one.
//
//   wine hml_ipc_bench.exe [records]

#include "config/Settings.h"
#include "config/win32/Win32ProfileStore.h"
#include "midiclient/ShmClient.h"
#include "synth/Ring.h"
#include "synth/win32/IpcServer.h"
#include "synth/win32/SynthEngine.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

using namespace hml::config;
using namespace hml::synth;

namespace {

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t;
}

// A short message of a plausible stream: notes on and off over the keyboard, a controller now and
// then.
std::uint32_t Message(std::uint32_t i) {
    const std::uint32_t key = 36 + i % 48;
    switch (i % 4) {
    case 0:
        return 0x90u | key << 8 | 100u << 16;
    case 1:
        return 0x80u | key << 8;
    case 2:
        return 0xB0u | 1u << 8 | (i % 128) << 16;
    default:
        return 0xE0u | (i % 128) << 16;
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::uint32_t records =
        argc > 1 ? static_cast<std::uint32_t>(_wtoi(argv[1])) : hml::synth::kRecordCount - 2;

    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "hml-ipc-bench";
    std::filesystem::create_directories(folder);
    const std::filesystem::path font = L"Z:\\usr\\share\\sounds\\sf2\\FluidR3_GM.sf2";
    const bool haveFont = std::filesystem::exists(font);
    {
        std::ofstream config(folder / "Harmolith.conf");
        config << "[Advanced]\nOutputDevice=0\n";
        if (haveFont) {
            config << "[SoundFonts]\nsf1=" << font.string() << "\nsf1.enabled=1\nsf1.preload=0\n";
        }
    }
    CSettings config(std::make_unique<CWin32ProfileStore>(), folder.wstring(),
                     (folder / "Harmolith.conf").wstring());
    settings = &config;
    SynthEngine engine;
    synthEngine = &engine;
    if (!engine.Init()) {
        std::fprintf(stderr, "engine did not start\n");
        return 1;
    }
    CIpcServer server(engine, 8000);
    if (!server.Open()) {
        std::fprintf(stderr, "server did not open\n");
        return 1;
    }
    CShmClient client;
    client.Connect();
    hml::synth::Region& region = *server.Region();

    // Throughput: fill the ring while nobody reads, then let the listen thread empty it.
    client.SetSignalEvery(1u << 30);
    client.Open(0);
    for (std::uint32_t i = 0; i < records; ++i) {
        client.ShortMsg(0, Message(i));
    }
    client.Flush();
    const LARGE_INTEGER start = Now();
    server.StartListening();
    while (std::atomic_ref<std::uint32_t>(region.header.head).load() !=
           std::atomic_ref<std::uint32_t>(region.header.tail).load()) {
        Sleep(0);
    }
    const double drain = Seconds(start, Now());

    // Latency: one record at a time, signalled as the driver does, timed until the listen thread
    // has handed it on.
    client.SetSignalEvery(1);
    std::vector<double> waits;
    for (std::uint32_t i = 0; i < 2000; ++i) {
        const std::uint32_t before = std::atomic_ref<std::uint32_t>(region.header.head).load();
        const LARGE_INTEGER written = Now();
        client.ShortMsg(0, Message(i));
        while (std::atomic_ref<std::uint32_t>(region.header.head).load() == before) {
            YieldProcessor();
        }
        waits.push_back(Seconds(written, Now()) * 1e6);
        Sleep(static_cast<DWORD>(i % 3)); // the listen thread is sometimes asleep, sometimes not
    }
    std::sort(waits.begin(), waits.end());
    client.Close(0);
    server.Close();
    engine.Free();
    settings = nullptr;

    std::printf("SoundFont: %s\n", haveFont ? "FluidR3_GM" : "none");
    std::printf("throughput: %u records in %.3f s = %.0f records/s\n", records + 1, drain,
                (records + 1) / drain);
    std::printf("latency write -> stream: median %.0f us, p99 %.0f us, max %.0f us\n",
                waits[waits.size() / 2], waits[waits.size() * 99 / 100], waits.back());
    return 0;
}
