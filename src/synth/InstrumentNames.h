#pragma once
// Display names of the instruments a channel plays, looked up by program and bank in one of three
// tables: GM/GM2, GS and XG.

#include <array>
#include <cstdint>

namespace hml::synth {

// Synthesizer modes of a connection, as set by the standard reset messages.
constexpr std::uint32_t kModeGm = 0;
constexpr std::uint32_t kModeGm2 = 1;
constexpr std::uint32_t kModeGs = 2;
constexpr std::uint32_t kModeXg = 3;

inline constexpr const wchar_t* kDrumsName = L"Drums";
inline constexpr const wchar_t* kNoInstrumentName = L"<--->";

struct InstrumentRow {
    std::uint32_t program; // MIDI program number + 1, so 1..128
    std::uint32_t bank;
    const wchar_t* name;
};

// Sorted by program, then bank; every program has a bank-0 row. The bank is the bank select LSB
// in the GM table, the MSB in the GS table and MSB * 128 + LSB in the XG table.
extern const std::array<InstrumentRow, 256> gmInstrumentNames;
extern const std::array<InstrumentRow, 774> gsInstrumentNames;
extern const std::array<InstrumentRow, 994> xgInstrumentNames;

// The name of a program change's data byte (0..127) in the table of the mode; kNoInstrumentName
// when the table has no row for that program and bank. Never null.
const wchar_t* LookupInstrumentName(std::uint32_t programNumber, std::uint32_t bank,
                                    std::uint32_t mode);

} // namespace hml::synth
