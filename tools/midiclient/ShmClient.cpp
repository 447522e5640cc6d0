#include "midiclient/ShmClient.h"

#include "synth/Ring.h"

using namespace hml::synth;

namespace {

constexpr const wchar_t* kWriteLockName = L"Harmolith_TestClientWriteLock";

} // namespace

CShmClient::CShmClient() : clientId(GetCurrentProcessId()) {}

CShmClient::~CShmClient() {
    Flush();
    if (region) {
        UnmapViewOfFile(region);
    }
    for (HANDLE h : {mapping, dataAvailable, queueFree, writeLock}) {
        if (h) {
            CloseHandle(h);
        }
    }
}

bool CShmClient::Connect() {
    mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, hml::synth::kMappingName);
    if (!mapping) {
        return false;
    }
    region = static_cast<hml::synth::Region*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    dataAvailable =
        OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, hml::synth::kDataAvailableName);
    queueFree = OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, hml::synth::kQueueFreeName);
    writeLock = CreateMutexW(nullptr, FALSE, kWriteLockName);
    return region && dataAvailable && queueFree && writeLock;
}

void CShmClient::ShortMsg(std::uint32_t port, std::uint32_t message) {
    Send(port, hml::synth::kShortMsg, message);
}

void CShmClient::SysEx(std::uint32_t port, const std::vector<std::uint8_t>& bytes) {
    const std::uint32_t size = static_cast<std::uint32_t>(bytes.size());
    const std::uint32_t chunks =
        (size + hml::synth::kMaxChunkBytes - 1) / hml::synth::kMaxChunkBytes;
    for (std::uint32_t i = 0; i < chunks; ++i) {
        const std::uint32_t offset = i * hml::synth::kMaxChunkBytes;
        const std::uint32_t length =
            size - offset < hml::synth::kMaxChunkBytes ? size - offset : hml::synth::kMaxChunkBytes;
        Send(port, hml::synth::kLongMsg, i, chunks, bytes.data() + offset, length);
    }
}

void CShmClient::Send(std::uint32_t port, std::uint32_t command, std::uint32_t param1,
                      std::uint32_t param2, const std::uint8_t* data, std::uint32_t length) {
    const hml::synth::MidiRecord record =
        hml::synth::MakeRecord(port, clientId, command, param1, param2, data, length);
    hml::synth::CRingWriter writer(*region);
    if (!locked) {
        WaitForSingleObject(writeLock, INFINITE);
        locked = true;
    }
    while (!writer.Push(record)) {
        // Full: make sure the synth is awake, then wait until it frees the record after ours.
        SetEvent(dataAvailable);
        unsignalled = 0;
        ++waits;
        WaitForSingleObject(queueFree, hml::synth::kPollMs);
    }
    if (++unsignalled >= signalEvery) {
        Flush();
    }
}

void CShmClient::Flush() {
    if (unsignalled && dataAvailable) {
        SetEvent(dataAvailable);
    }
    unsignalled = 0;
    if (locked) {
        ReleaseMutex(writeLock);
        locked = false;
    }
}
