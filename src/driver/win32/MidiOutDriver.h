#pragma once
// The MIDI output driver as winmm sees it: one object per client process, answering the
// modMessage calls of every port. Each call returns at the latest after the bounded waits of the
// writer or of the synth's start; nothing a program sends can make it wait longer.

#include "driver/OpenTable.h"
#include "driver/ShmWriter.h"
#include "driver/win32/ShmChannel.h"

#include <windows.h>

// mmddk.h builds on mmsystem.h.
#include <mmsystem.h>

#include <mmddk.h>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>

namespace hml::driver {

class CMidiOutDriver {
public:
    CMidiOutDriver();
    ~CMidiOutDriver();
    CMidiOutDriver(const CMidiOutDriver&) = delete;
    CMidiOutDriver& operator=(const CMidiOutDriver&) = delete;

    DWORD GetNumDevs();
    DWORD GetDevCaps(UINT device, MIDIOUTCAPSW* caps, DWORD_PTR size);
    DWORD Open(UINT device, DWORD_PTR* user, const MIDIOPENDESC* desc, DWORD flags);
    DWORD Close(DWORD_PTR user);
    DWORD Data(DWORD_PTR user, DWORD message);
    DWORD LongData(DWORD_PTR user, MIDIHDR* header, DWORD_PTR size);
    DWORD Prepare(MIDIHDR* header, DWORD_PTR size);
    DWORD Unprepare(MIDIHDR* header, DWORD_PTR size);
    DWORD Reset(DWORD_PTR user);

    // The process is going away: stop the keep-alive thread without waiting for it (the loader
    // lock is held).
    void Detach();

private:
    DWORD Send(std::uint32_t port, std::uint32_t command, std::uint32_t param1 = 0);
    DWORD Connect();
    void Notify(const SClient& client, UINT message, DWORD_PTR param1 = 0);
    void StartKeepAlive();
    void StopKeepAlive();
    static DWORD WINAPI KeepAliveThread(void* self);
    void SendKeepAlives();

    COpenTable table;
    const std::uint32_t clientId;
    // Guards the channel and the writer: a program may call from several threads, and the
    // keep-alive thread writes too.
    std::mutex lock;
    CShmChannel channel;
    std::unique_ptr<CShmWriter> writer;
    // When each port last got a record from this process (GetTickCount64).
    std::array<std::atomic<std::uint64_t>, 4> lastSent{};
    HANDLE keepAliveStop = nullptr;
    HANDLE keepAliveThread = nullptr;
};

} // namespace hml::driver
