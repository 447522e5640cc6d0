#pragma once
// The shared-memory region through which the driver in every client process hands MIDI to the
// synth process: a header and a ring of fixed-size records. The driver relies on every offset
// and constant here.

#include <cstddef>
#include <cstdint>

namespace hml::synth {

constexpr std::uint32_t kRegionSize = 8800304;
constexpr std::uint32_t kRecordCount = 100000;
constexpr std::uint32_t kRecordSize = 88;
constexpr std::uint32_t kMaxChunkBytes = 50; // SysEx bytes one record carries
constexpr char kVersion[] = "2.9.1.0";

constexpr const wchar_t* kMappingName = L"Harmolith_SharedMem";
constexpr const wchar_t* kDataAvailableName = L"Harmolith_DataAvailable";
constexpr const wchar_t* kQueueFreeName = L"Harmolith_QueueFree";

// How long the reader sleeps on an empty ring before it looks again, in case a signal was lost.
constexpr std::uint32_t kPollMs = 5;

enum Command : std::uint32_t {
    kOpen = 101,
    kClose = 102,
    kReset = 103,
    kNotesOff = 104,
    kShortMsg = 202,
    kLongMsg = 203,
};

struct MidiRecord {
    std::uint32_t next; // links are set by the server once and never change
    std::uint32_t prev;
    std::uint32_t reserved;
    std::uint32_t port;     // 0-based
    std::uint32_t clientId; // process id of the writer
    std::uint32_t command;
    std::uint32_t param1;  // short message, or SysEx chunk index
    std::uint32_t param2;  // SysEx chunk count
    std::uint8_t data[52]; // at most kMaxChunkBytes are used
    std::uint32_t length;
};

struct RegionHeader {
    std::uint32_t size;
    char version[20];
    std::uint32_t listening; // 1 once the server reads the ring
    std::uint32_t reserved;
    std::uint8_t padding1[64];
    std::uint32_t head; // next record the server reads; written by the server only
    std::uint8_t padding2[64];
    std::uint32_t tail; // next record a writer fills; written by writers only
    std::uint8_t padding3[64];
    std::uint32_t waitIndex; // left by a waiting writer for the server
    std::uint8_t reserved2[68];
};

struct Region {
    RegionHeader header;
    MidiRecord records[kRecordCount];
};

static_assert(sizeof(MidiRecord) == kRecordSize);
static_assert(offsetof(MidiRecord, port) == 12);
static_assert(offsetof(MidiRecord, data) == 32);
static_assert(offsetof(MidiRecord, length) == 84);
static_assert(offsetof(RegionHeader, version) == 4);
static_assert(offsetof(RegionHeader, listening) == 24);
static_assert(offsetof(RegionHeader, head) == 96);
static_assert(offsetof(RegionHeader, tail) == 164);
static_assert(offsetof(RegionHeader, waitIndex) == 232);
static_assert(sizeof(RegionHeader) == 304);
static_assert(sizeof(Region) == kRegionSize);

} // namespace hml::synth
