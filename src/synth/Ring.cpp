#include "synth/Ring.h"

#include <atomic>
#include <cstring>

namespace hml::synth {

namespace {

std::uint32_t Load(std::uint32_t& field) {
    return std::atomic_ref<std::uint32_t>(field).load(std::memory_order_acquire);
}

} // namespace

void InitializeRegion(Region& region) {
    RegionHeader& h = region.header;
    h.size = kRegionSize;
    std::memset(h.version, 0, sizeof h.version);
    std::memcpy(h.version, kVersion, sizeof kVersion);
    for (std::uint32_t i = 0; i < kRecordCount; ++i) {
        region.records[i].next = i + 1 == kRecordCount ? 0 : i + 1;
        region.records[i].prev = i == 0 ? kRecordCount - 1 : i - 1;
    }
    h.head = 0;
    h.tail = 0;
    h.waitIndex = 0;
}

bool CRingReader::Empty() const {
    return Load(region.header.head) == Load(region.header.tail);
}

bool CRingReader::Broken() const {
    const std::uint32_t head = Load(region.header.head), tail = Load(region.header.tail);
    return head >= kRecordCount || tail >= kRecordCount;
}

void CRingReader::DropPending() {
    const std::uint32_t head = Load(region.header.head) % kRecordCount;
    std::atomic_ref<std::uint32_t>(region.header.head).store(head, std::memory_order_seq_cst);
    std::atomic_ref<std::uint32_t>(region.header.tail).store(head, std::memory_order_seq_cst);
}

const MidiRecord& CRingReader::Front() const {
    return region.records[Load(region.header.head) % kRecordCount];
}

bool CRingReader::Advance() {
    const MidiRecord& done = Front();
    // A full barrier: no writer may see the record free before we are done with it.
    std::atomic_ref<std::uint32_t>(region.header.head)
        .exchange(done.next % kRecordCount, std::memory_order_seq_cst);
    return done.prev == Load(region.header.waitIndex);
}

bool CRingWriter::Push(const MidiRecord& record) {
    const std::uint32_t tail = Load(region.header.tail) % kRecordCount;
    MidiRecord& slot = region.records[tail];
    if (slot.next == Load(region.header.head)) {
        // Full: one record always stays free. Wake me when the record after mine is consumed.
        std::atomic_ref<std::uint32_t>(region.header.waitIndex)
            .store(tail, std::memory_order_seq_cst);
        return false;
    }
    // Everything but the links, which belong to the server.
    constexpr std::size_t kLinks = offsetof(MidiRecord, reserved);
    std::memcpy(reinterpret_cast<std::uint8_t*>(&slot) + kLinks,
                reinterpret_cast<const std::uint8_t*>(&record) + kLinks, kRecordSize - kLinks);
    std::atomic_ref<std::uint32_t>(region.header.tail).store(slot.next, std::memory_order_release);
    return true;
}

MidiRecord MakeRecord(std::uint32_t port, std::uint32_t clientId, std::uint32_t command,
                      std::uint32_t param1, std::uint32_t param2, const std::uint8_t* data,
                      std::uint32_t length) {
    MidiRecord r{};
    r.port = port;
    r.clientId = clientId;
    r.command = command;
    r.param1 = param1;
    r.param2 = param2;
    if (data) {
        r.length = length < kMaxChunkBytes ? length : kMaxChunkBytes;
        std::memcpy(r.data, data, r.length);
    }
    return r;
}

} // namespace hml::synth
