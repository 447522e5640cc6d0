// harmolith-client: sends MIDI into a running Harmolith synth the way the driver does, for tests
// and demonstrations. Actions run in order, for example:
//   harmolith-client port=0 open note=60,100,500 close
// Actions:
//   port=N             port for the following actions (0-based)
//   channel=N          MIDI channel 0-15 for note=
//   open | close | reset | notesoff
//   short=0xSSDDDD     one packed short message (status in the low byte)
//   note=KEY,VEL,MS    note on, wait MS milliseconds, note off
//   sysex=F0...F7      a System Exclusive message in hex
//   sleep=MS           wait
//   flood=N            N note-on/note-off pairs as fast as the ring takes them
//   flood-cc=N         N controller messages (modulation and expression sweeping) as fast
//   signal-every=N     wake the synth only every N records
//   wait-for-synth=MS  wait up to MS milliseconds for the synth to start
//   play=FILE.mid      play a Standard MIDI File in real time
//   hold               wait forever without sending anything (a program that hangs)
//   hold-lock          take the writers' lock and wait forever (a writer that hangs, or is
//                      killed, in the middle of a write)
// Exit status: 0 done, 1 bad arguments, 2 no synth running.

#include "midiclient/FilePlayback.h"
#include "midiclient/ShmClient.h"

#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::uint32_t Number(const std::wstring& text) {
    return static_cast<std::uint32_t>(std::wcstoul(text.c_str(), nullptr, 0));
}

std::vector<std::uint8_t> HexBytes(const std::wstring& text) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        bytes.push_back(
            static_cast<std::uint8_t>(std::wcstoul(text.substr(i, 2).c_str(), nullptr, 16)));
    }
    return bytes;
}

bool PlayFile(CShmClient& client, std::uint32_t port, const std::wstring& path) {
    SMidiSink sink;
    sink.shortMsg = [&](std::uint32_t message) { client.ShortMsg(port, message); };
    sink.sysEx = [&](const std::vector<std::uint8_t>& bytes) { client.SysEx(port, bytes); };
    sink.pause = [&] { client.Flush(); };
    std::string why;
    if (!PlayMidiFile(path, sink, why)) {
        std::fwprintf(stderr, L"harmolith-client: cannot play %ls: %hs\n", path.c_str(),
                      why.c_str());
        return false;
    }
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    CShmClient client;
    bool connected = false;
    std::uint32_t port = 0;
    std::uint32_t channel = 0;
    auto connect = [&](DWORD waitMs) {
        for (DWORD waited = 0; !connected; waited += 50) {
            connected = client.Connect();
            if (connected || waited >= waitMs) {
                break;
            }
            Sleep(50);
        }
        return connected;
    };

    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        const std::size_t eq = arg.find(L'=');
        const std::wstring name = arg.substr(0, eq);
        const std::wstring value = eq == std::wstring::npos ? L"" : arg.substr(eq + 1);
        if (name == L"wait-for-synth") {
            if (!connect(Number(value))) {
                std::fwprintf(stderr, L"harmolith-client: no synth is running\n");
                return 2;
            }
            continue;
        }
        if (name == L"sleep") {
            Sleep(Number(value));
            continue;
        }
        if (name == L"hold") {
            Sleep(INFINITE);
        }
        if (!connected && !connect(0)) {
            std::fwprintf(stderr, L"harmolith-client: no synth is running\n");
            return 2;
        }
        if (name == L"port") {
            port = Number(value);
        } else if (name == L"channel") {
            channel = Number(value) & 15;
        } else if (name == L"open") {
            client.Open(port);
        } else if (name == L"close") {
            client.Close(port);
        } else if (name == L"reset") {
            client.Reset(port);
        } else if (name == L"notesoff") {
            client.NotesOff(port);
        } else if (name == L"short") {
            client.ShortMsg(port, Number(value));
        } else if (name == L"note") {
            unsigned key = 60, velocity = 100, ms = 500;
            std::swscanf(value.c_str(), L"%u,%u,%u", &key, &velocity, &ms);
            client.ShortMsg(port, 0x90u | channel | (key & 127) << 8 | (velocity & 127) << 16);
            client.Flush();
            Sleep(ms);
            client.ShortMsg(port, 0x80u | channel | (key & 127) << 8);
        } else if (name == L"sysex") {
            client.SysEx(port, HexBytes(value));
        } else if (name == L"flood") {
            for (std::uint32_t n = Number(value); n > 0; --n) {
                client.ShortMsg(port, 0x90u | channel | 60u << 8 | 100u << 16);
                client.ShortMsg(port, 0x80u | channel | 60u << 8);
            }
        } else if (name == L"flood-cc") {
            for (std::uint32_t n = Number(value), sent = 0; sent < n; ++sent) {
                const std::uint32_t controller = sent % 2 ? 11u : 1u;
                client.ShortMsg(port, 0xB0u | channel | controller << 8 | (sent / 2 % 128) << 16);
            }
        } else if (name == L"play") {
            if (!PlayFile(client, port, value)) {
                return 1;
            }
        } else if (name == L"hold-lock") {
            if (!client.HoldWriteLock()) {
                std::fwprintf(stderr, L"harmolith-client: the writers' lock is taken\n");
                return 2;
            }
            Sleep(INFINITE);
        } else if (name == L"signal-every") {
            client.SetSignalEvery(Number(value));
        } else {
            std::fwprintf(stderr, L"harmolith-client: unknown action '%ls'\n", arg.c_str());
            return 1;
        }
        client.Flush();
    }
    return 0;
}
