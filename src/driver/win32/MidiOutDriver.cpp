#include "driver/win32/MidiOutDriver.h"

#include "driver/DriverRules.h"
#include "driver/win32/DriverConfig.h"
#include "driver/win32/SynthStarter.h"
#include "synth/Ring.h"

#include <cstddef>
#include <cstring>

// Exported by winmm for drivers; the SDK headers do not declare it.
extern "C" BOOL WINAPI DriverCallback(DWORD_PTR callback, DWORD flags, HDRVR device, DWORD message,
                                      DWORD_PTR user, DWORD_PTR param1, DWORD_PTR param2);

namespace hml::driver {

using namespace hml::synth;

namespace {

// An idle port gets a keep-alive record this often; the synth's watchdog interval is at least
// 4000 ms, so every interval sees several.
constexpr DWORD kKeepAliveMs = 1000;

// The header as programs of every Windows version fill it: the fields up to dwOffset.
constexpr DWORD_PTR kMinHeaderSize = offsetof(MIDIHDR, dwOffset);

// A header a program may prepare or send: complete, and with its buffer when it names bytes.
bool HoldsData(const MIDIHDR* header, DWORD_PTR size) {
    return header && size >= kMinHeaderSize && (header->lpData || !header->dwBufferLength);
}

// What open tells a program when no synth serves it: none installed or it could not start (no
// driver), or it started but never listened (not enabled).
DWORD StartError(EStart start) {
    switch (start) {
    case EStart::Ready:
        return MMSYSERR_NOERROR;
    case EStart::NotInstalled:
    case EStart::CouldNotStart:
        return MMSYSERR_NODRIVER;
    case EStart::NoAnswer:
        break;
    }
    return MMSYSERR_NOTENABLED;
}

} // namespace

CMidiOutDriver::CMidiOutDriver() : clientId(GetCurrentProcessId()) {}

CMidiOutDriver::~CMidiOutDriver() {
    StopKeepAlive();
}

DWORD CMidiOutDriver::GetNumDevs() {
    const SDriverConfig config = ReadDriverConfig();
    if (IsBlacklisted(config.clientBlacklist, ThisProgram())) {
        return 0;
    }
    return PortCount(config.devicesCount);
}

DWORD CMidiOutDriver::GetDevCaps(UINT device, MIDIOUTCAPSW* caps, DWORD_PTR size) {
    if (!caps || size == 0) {
        return MMSYSERR_INVALPARAM;
    }
    if (device >= GetNumDevs()) {
        return MMSYSERR_BADDEVICEID;
    }
    MIDIOUTCAPSW full{};
    full.wMid = 0xFFFF; // MM_UNMAPPED: no registered manufacturer
    full.wPid = 0xFFFF; // MM_PID_UNMAPPED
    full.vDriverVersion = 0x0209;
    const std::wstring name = PortName(device);
    name.copy(full.szPname, MAXPNAMELEN - 1);
    full.wTechnology = MOD_MIDIPORT;
    full.wChannelMask = 0xFFFF;
    std::memcpy(caps, &full, size < sizeof full ? size : sizeof full);
    return MMSYSERR_NOERROR;
}

DWORD CMidiOutDriver::Open(UINT device, DWORD_PTR* user, const MIDIOPENDESC* desc, DWORD flags) {
    if (!user || !desc) {
        return MMSYSERR_INVALPARAM;
    }
    const SDriverConfig config = ReadDriverConfig();
    if (IsBlacklisted(config.clientBlacklist, ThisProgram()) ||
        device >= PortCount(config.devicesCount)) {
        return MMSYSERR_BADDEVICEID;
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        writer.reset();
        const EStart start = ConnectToSynth(channel, config.installFolder);
        if (start != EStart::Ready) {
            return StartError(start);
        }
        writer = std::make_unique<CShmWriter>(channel.Region(), channel);
    }
    SClient client;
    client.port = device;
    client.callback = desc->dwCallback;
    client.instance = desc->dwInstance;
    client.callbackFlags = flags;
    client.device = reinterpret_cast<std::uintptr_t>(desc->hMidi);
    bool firstOnPort = false;
    const std::uintptr_t handle = table.Add(client, firstOnPort);
    if (firstOnPort) {
        const DWORD sent = Send(device, kOpen);
        if (sent != MMSYSERR_NOERROR) {
            bool lastOnPort = false;
            table.Remove(handle, lastOnPort);
            return sent;
        }
    }
    *user = handle;
    StartKeepAlive();
    Notify(client, MOM_OPEN);
    return MMSYSERR_NOERROR;
}

DWORD CMidiOutDriver::Close(DWORD_PTR user) {
    bool lastOnPort = false;
    const std::optional<SClient> client = table.Remove(user, lastOnPort);
    if (!client) {
        return MMSYSERR_INVALHANDLE;
    }
    if (lastOnPort) {
        // Even when it cannot be sent the handle is gone; the synth's watchdog then drops the
        // connection.
        Send(client->port, kClose);
    }
    if (table.OpenPorts().empty()) {
        StopKeepAlive();
    }
    Notify(*client, MOM_CLOSE);
    return MMSYSERR_NOERROR;
}

DWORD CMidiOutDriver::Data(DWORD_PTR user, DWORD message) {
    const std::optional<SClient> client = table.Find(user);
    if (!client) {
        return MMSYSERR_INVALHANDLE;
    }
    return Send(client->port, kShortMsg, message);
}

DWORD CMidiOutDriver::LongData(DWORD_PTR user, MIDIHDR* header, DWORD_PTR size) {
    const std::optional<SClient> client = table.Find(user);
    if (!client) {
        return MMSYSERR_INVALHANDLE;
    }
    if (!HoldsData(header, size)) {
        return MMSYSERR_INVALPARAM;
    }
    if (!(header->dwFlags & MHDR_PREPARED)) {
        return MIDIERR_UNPREPARED;
    }
    if (header->dwFlags & MHDR_INQUEUE) {
        return MIDIERR_STILLPLAYING;
    }
    header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
    bool sent = true;
    if (header->dwBufferLength) {
        std::lock_guard<std::mutex> guard(lock);
        sent = writer && writer->SendSysEx(client->port, clientId,
                                           reinterpret_cast<const std::uint8_t*>(header->lpData),
                                           header->dwBufferLength);
        lastSent[client->port % lastSent.size()] = GetTickCount64();
    }
    header->dwFlags &= ~MHDR_INQUEUE;
    if (!sent) {
        return MIDIERR_NOTREADY;
    }
    header->dwFlags |= MHDR_DONE;
    Notify(*client, MOM_DONE, reinterpret_cast<DWORD_PTR>(header));
    return MMSYSERR_NOERROR;
}

DWORD CMidiOutDriver::Prepare(MIDIHDR* header, DWORD_PTR size) {
    if (!HoldsData(header, size)) {
        return MMSYSERR_INVALPARAM;
    }
    header->dwFlags |= MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

DWORD CMidiOutDriver::Unprepare(MIDIHDR* header, DWORD_PTR size) {
    if (!header || size < kMinHeaderSize) {
        return MMSYSERR_INVALPARAM;
    }
    if (header->dwFlags & MHDR_INQUEUE) {
        return MIDIERR_STILLPLAYING;
    }
    header->dwFlags &= ~MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

DWORD CMidiOutDriver::Reset(DWORD_PTR user) {
    const std::optional<SClient> client = table.Find(user);
    if (!client) {
        return MMSYSERR_INVALHANDLE;
    }
    // Nothing is ever queued here, so a reset only has to silence the port.
    return Send(client->port, kNotesOff);
}

DWORD CMidiOutDriver::Send(std::uint32_t port, std::uint32_t command, std::uint32_t param1) {
    std::lock_guard<std::mutex> guard(lock);
    if (!writer) {
        return MMSYSERR_NODRIVER;
    }
    if (!writer->Send(MakeRecord(port, clientId, command, param1))) {
        return MIDIERR_NOTREADY;
    }
    lastSent[port % lastSent.size()] = GetTickCount64();
    return MMSYSERR_NOERROR;
}

void CMidiOutDriver::Notify(const SClient& client, UINT message, DWORD_PTR param1) {
    DriverCallback(client.callback, HIWORD(client.callbackFlags & CALLBACK_TYPEMASK),
                   reinterpret_cast<HDRVR>(client.device), message, client.instance, param1, 0);
}

void CMidiOutDriver::StartKeepAlive() {
    std::lock_guard<std::mutex> guard(lock);
    if (keepAliveThread) {
        return;
    }
    if (!keepAliveStop) {
        keepAliveStop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ResetEvent(keepAliveStop);
    keepAliveThread = CreateThread(nullptr, 0, &KeepAliveThread, this, 0, nullptr);
}

void CMidiOutDriver::StopKeepAlive() {
    HANDLE thread = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock);
        std::swap(thread, keepAliveThread);
    }
    if (thread) {
        SetEvent(keepAliveStop);
        // The thread's longest step is one bounded send.
        WaitForSingleObject(thread, kLockWaitMs + kRoomWaitMs + kKeepAliveMs);
        CloseHandle(thread);
    }
}

void CMidiOutDriver::Detach() {
    if (keepAliveStop) {
        SetEvent(keepAliveStop);
    }
}

DWORD WINAPI CMidiOutDriver::KeepAliveThread(void* self) {
    auto* driver = static_cast<CMidiOutDriver*>(self);
    while (WaitForSingleObject(driver->keepAliveStop, kKeepAliveMs) == WAIT_TIMEOUT) {
        driver->SendKeepAlives();
    }
    return 0;
}

void CMidiOutDriver::SendKeepAlives() {
    const std::uint64_t now = GetTickCount64();
    for (std::uint32_t port : table.OpenPorts()) {
        if (now - lastSent[port % lastSent.size()] >= kKeepAliveMs) {
            Send(port, kKeepAlive);
        }
    }
}

} // namespace hml::driver
