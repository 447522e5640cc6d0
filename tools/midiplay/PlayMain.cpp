// harmolith-play: plays a MIDI file on a MIDI output port with winmm's calls only, as any player
// program would:
//   harmolith-play FILE.mid ["Harmolith #1"]
// Short messages go out with midiOutShortMsg, SysEx (the file's, and a GM reset first) with
// midiOutLongMsg. When winmm offers no port of that name (Wine's winmm loads no driver named in
// the Drivers32 registry key), the program loads Harmolith.dll itself and drives it as winmm
// would, and says so.
// Exit status: 0 played, 1 bad arguments or file, 2 no such port, 3 the port did not open,
// 4 the driver refused a message.

#include "midiclient/FilePlayback.h"
#include "midiplay/DriverHost.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

// One open MIDI output port; every call returns the MMSYSERR code.
class IMidiOut {
public:
    virtual ~IMidiOut() = default;
    virtual DWORD ShortMsg(DWORD message) = 0;
    virtual DWORD LongMsg(const std::vector<std::uint8_t>& bytes) = 0;
    virtual DWORD Close() = 0;
};

class CWinmmOut : public IMidiOut {
public:
    DWORD Open(UINT device) { return midiOutOpen(&handle, device, 0, 0, CALLBACK_NULL); }
    DWORD ShortMsg(DWORD message) override { return midiOutShortMsg(handle, message); }
    DWORD LongMsg(const std::vector<std::uint8_t>& bytes) override {
        MIDIHDR header{};
        header.lpData = reinterpret_cast<LPSTR>(const_cast<std::uint8_t*>(bytes.data()));
        header.dwBufferLength = static_cast<DWORD>(bytes.size());
        DWORD result = midiOutPrepareHeader(handle, &header, sizeof header);
        if (result != MMSYSERR_NOERROR) {
            return result;
        }
        result = midiOutLongMsg(handle, &header, sizeof header);
        for (int waited = 0;
             result == MMSYSERR_NOERROR && !(header.dwFlags & MHDR_DONE) && waited < 2000;
             waited += 5) {
            Sleep(5);
        }
        const DWORD unprepared = midiOutUnprepareHeader(handle, &header, sizeof header);
        return result != MMSYSERR_NOERROR ? result : unprepared;
    }
    DWORD Close() override { return midiOutClose(handle); }

private:
    HMIDIOUT handle = nullptr;
};

class CDirectOut : public IMidiOut {
public:
    explicit CDirectOut(const std::wstring& dll) : host(dll) {}
    bool Loaded() const { return host.Loaded(); }
    // The port of that name, or -1.
    int Find(const std::wstring& name) const {
        for (DWORD i = 0, n = host.NumDevs(); i < n; ++i) {
            MIDIOUTCAPSW caps{};
            if (host.Caps(i, caps) == MMSYSERR_NOERROR && name == caps.szPname) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    DWORD Open(UINT device) { return host.Open(device, user); }
    DWORD ShortMsg(DWORD message) override { return host.ShortMsg(user, message); }
    DWORD LongMsg(const std::vector<std::uint8_t>& bytes) override {
        return host.LongMsg(user, bytes.data(), static_cast<DWORD>(bytes.size()));
    }
    DWORD Close() override { return host.Close(user); }

private:
    CDriverHost host;
    DWORD_PTR user = 0;
};

int FindWinmmPort(const std::wstring& name) {
    for (UINT i = 0, n = midiOutGetNumDevs(); i < n; ++i) {
        MIDIOUTCAPSW caps{};
        if (midiOutGetDevCapsW(i, &caps, sizeof caps) == MMSYSERR_NOERROR && name == caps.szPname) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2 || argc > 3) {
        std::fwprintf(stderr, L"usage: harmolith-play FILE.mid [PORT-NAME]\n");
        return 1;
    }
    const std::wstring file = argv[1];
    const std::wstring name = argc == 3 ? argv[2] : L"Harmolith #1";

    std::unique_ptr<IMidiOut> out;
    DWORD opened = MMSYSERR_NOERROR;
    const int winmmPort = FindWinmmPort(name);
    if (winmmPort >= 0) {
        std::wprintf(L"playing on winmm's device %d, \"%ls\"\n", winmmPort, name.c_str());
        auto winmm = std::make_unique<CWinmmOut>();
        opened = winmm->Open(static_cast<UINT>(winmmPort));
        out = std::move(winmm);
    } else {
        std::wprintf(
            L"winmm offers no \"%ls\" (%u devices): driving Harmolith.dll as winmm would\n",
            name.c_str(), midiOutGetNumDevs());
        auto direct = std::make_unique<CDirectOut>(L"Harmolith.dll");
        const int port = direct->Loaded() ? direct->Find(name) : -1;
        if (port < 0) {
            std::fwprintf(stderr, L"harmolith-play: no port \"%ls\"\n", name.c_str());
            return 2;
        }
        opened = direct->Open(static_cast<UINT>(port));
        out = std::move(direct);
    }
    if (opened != MMSYSERR_NOERROR) {
        std::fwprintf(stderr, L"harmolith-play: open failed with MMSYSERR %lu\n", opened);
        return 3;
    }

    DWORD refused = MMSYSERR_NOERROR;
    auto check = [&](DWORD result) {
        if (result != MMSYSERR_NOERROR && refused == MMSYSERR_NOERROR) {
            refused = result;
        }
    };
    // A GM reset first, through the long-message path whatever the file holds.
    check(out->LongMsg({0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
    SMidiSink sink;
    sink.shortMsg = [&](std::uint32_t message) { check(out->ShortMsg(message)); };
    sink.sysEx = [&](const std::vector<std::uint8_t>& bytes) { check(out->LongMsg(bytes)); };
    std::string why;
    const bool played = PlayMidiFile(file, sink, why);
    check(out->Close());
    if (!played) {
        std::fwprintf(stderr, L"harmolith-play: cannot play %ls: %hs\n", file.c_str(), why.c_str());
        return 1;
    }
    if (refused != MMSYSERR_NOERROR) {
        std::fwprintf(stderr, L"harmolith-play: the driver refused a message: MMSYSERR %lu\n",
                      refused);
        return 4;
    }
    std::wprintf(L"played %ls\n", file.c_str());
    return 0;
}
