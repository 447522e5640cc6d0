#include "driver/ShmWriter.h"

#include "synth/Ring.h"

namespace hml::driver {

using namespace hml::synth;

CShmWriter::CShmWriter(Region& region_, IWriterSync& sync_) : region(region_), sync(sync_) {}

CShmWriter::~CShmWriter() {
    Flush();
}

bool CShmWriter::Send(const MidiRecord& record) {
    if (!locked) {
        const ELock lock = sync.Lock(kLockWaitMs);
        if (lock == ELock::TimedOut) {
            return false;
        }
        recovered += lock == ELock::Abandoned;
        locked = true;
    }
    if (!WaitForRoom(record)) {
        Flush();
        return false;
    }
    if (++unsignalled >= signalEvery) {
        Flush();
    }
    return true;
}

bool CShmWriter::WaitForRoom(const MidiRecord& record) {
    CRingWriter writer(region);
    if (writer.Push(record)) {
        return true;
    }
    ++waits;
    const std::uint64_t deadline = sync.NowMs() + kRoomWaitMs;
    do {
        // Full: the synth must be awake to free anything; it wakes us when it has.
        sync.SignalData();
        unsignalled = 0;
        sync.WaitQueueFree(kPollMs);
        if (writer.Push(record)) {
            return true;
        }
    } while (sync.NowMs() < deadline);
    return false;
}

bool CShmWriter::SendSysEx(std::uint32_t port, std::uint32_t clientId, const std::uint8_t* bytes,
                           std::size_t size) {
    const std::uint32_t chunks =
        static_cast<std::uint32_t>((size + kMaxChunkBytes - 1) / kMaxChunkBytes);
    for (std::uint32_t i = 0; i < chunks; ++i) {
        const std::size_t offset = std::size_t{i} * kMaxChunkBytes;
        const std::size_t length = size - offset < kMaxChunkBytes ? size - offset : kMaxChunkBytes;
        if (!Send(MakeRecord(port, clientId, kLongMsg, i, chunks, bytes + offset,
                             static_cast<std::uint32_t>(length)))) {
            return false;
        }
    }
    return true;
}

void CShmWriter::Flush() {
    if (unsignalled) {
        sync.SignalData();
        unsignalled = 0;
    }
    if (locked) {
        sync.Unlock();
        locked = false;
    }
}

} // namespace hml::driver
