#include "support/CSmfReader.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace hml::test {
namespace {

struct SRaw {
    uint64_t tick;
    int order;
    std::vector<uint8_t> bytes;
    uint32_t tempo; // nonzero for a tempo change
};

} // namespace

bool CSmfReader::Read(const std::filesystem::path& path, std::vector<STimedMessage>& out) {
    std::ifstream f(path, std::ios::binary);
    const std::vector<uint8_t> d((std::istreambuf_iterator<char>(f)), {});
    if (d.size() < 14 || std::string(d.begin(), d.begin() + 4) != "MThd")
        return false;
    const int division = d[12] << 8 | d[13];
    if (division <= 0 || (division & 0x8000))
        return false;
    std::vector<SRaw> events;
    size_t pos = 8 + (d[4] << 24 | d[5] << 16 | d[6] << 8 | d[7]);
    int order = 0;
    while (pos + 8 <= d.size()) {
        const size_t len =
            static_cast<size_t>(d[pos + 4]) << 24 | d[pos + 5] << 16 | d[pos + 6] << 8 | d[pos + 7];
        const size_t start = pos + 8, end = std::min(d.size(), start + len);
        const bool isTrack = std::string(d.begin() + static_cast<long>(pos),
                                         d.begin() + static_cast<long>(pos) + 4) == "MTrk";
        pos = start + len;
        if (!isTrack)
            continue;
        size_t i = start;
        uint64_t tick = 0;
        uint8_t status = 0;
        auto vlq = [&]() {
            uint32_t v = 0;
            while (i < end) {
                const uint8_t b = d[i++];
                v = v << 7 | (b & 0x7F);
                if (!(b & 0x80))
                    break;
            }
            return v;
        };
        while (i < end) {
            tick += vlq();
            if (i >= end)
                break;
            const uint8_t b = d[i];
            if (b == 0xFF) {
                const uint8_t type = i + 1 < end ? d[i + 1] : 0;
                i += 2;
                const uint32_t l = vlq();
                if (type == 0x51 && l == 3 && i + 3 <= end)
                    events.push_back(
                        {tick,
                         order++,
                         {},
                         static_cast<uint32_t>(d[i] << 16 | d[i + 1] << 8 | d[i + 2])});
                i += l;
            } else if (b == 0xF0 || b == 0xF7) {
                ++i;
                const uint32_t l = vlq();
                std::vector<uint8_t> sx{0xF0};
                for (uint32_t k = 0; k < l && i + k < end; ++k)
                    sx.push_back(d[i + k]);
                if (sx.back() != 0xF7)
                    sx.push_back(0xF7);
                if (b == 0xF0)
                    events.push_back({tick, order++, sx, 0});
                i += l;
            } else {
                if (b & 0x80) {
                    status = b;
                    ++i;
                }
                const int n = ((status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0) ? 1 : 2;
                std::vector<uint8_t> m{status};
                for (int k = 0; k < n && i < end; ++k)
                    m.push_back(d[i++]);
                events.push_back({tick, order++, m, 0});
            }
        }
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const SRaw& a, const SRaw& b) { return a.tick < b.tick; });
    double seconds = 0, usPerQuarter = 500000;
    uint64_t lastTick = 0;
    for (SRaw& e : events) {
        seconds += static_cast<double>(e.tick - lastTick) * usPerQuarter / 1e6 / division;
        lastTick = e.tick;
        if (e.tempo != 0)
            usPerQuarter = e.tempo;
        else
            out.push_back({seconds, std::move(e.bytes)});
    }
    return true;
}

} // namespace hml::test
