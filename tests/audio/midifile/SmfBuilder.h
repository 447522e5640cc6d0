// Writes small Standard MIDI Files for tests: tracks of raw event bytes with delta times.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <vector>

namespace hml::test {

class CTrack {
public:
    // One event: delta time in ticks, then its bytes as they stand in the file.
    CTrack& Add(uint32_t delta, std::initializer_list<uint8_t> event) {
        Vlq(delta);
        bytes.insert(bytes.end(), event);
        return *this;
    }
    CTrack& Tempo(uint32_t delta, uint32_t usPerQuarter) {
        return Add(delta, {0xFF, 0x51, 0x03, uint8_t(usPerQuarter >> 16),
                           uint8_t(usPerQuarter >> 8), uint8_t(usPerQuarter)});
    }
    CTrack& End(uint32_t delta = 0) { return Add(delta, {0xFF, 0x2F, 0x00}); }
    void Vlq(uint32_t v) {
        uint8_t tmp[5];
        int n = 0;
        do {
            tmp[n++] = v & 0x7F;
            v >>= 7;
        } while (v);
        while (n > 1)
            bytes.push_back(tmp[--n] | 0x80);
        bytes.push_back(tmp[0]);
    }
    std::vector<uint8_t> bytes;
};

inline void PutBe(std::vector<uint8_t>& v, uint32_t x, int n) {
    for (int i = n - 1; i >= 0; --i)
        v.push_back(uint8_t(x >> (8 * i)));
}

inline std::vector<uint8_t> MakeSmf(uint16_t format, uint16_t division,
                                    const std::vector<CTrack>& tracks) {
    std::vector<uint8_t> f = {'M', 'T', 'h', 'd', 0, 0, 0, 6};
    PutBe(f, format, 2);
    PutBe(f, static_cast<uint32_t>(tracks.size()), 2);
    PutBe(f, division, 2);
    for (const CTrack& t : tracks) {
        f.insert(f.end(), {'M', 'T', 'r', 'k'});
        PutBe(f, static_cast<uint32_t>(t.bytes.size()), 4);
        f.insert(f.end(), t.bytes.begin(), t.bytes.end());
    }
    return f;
}

inline std::vector<uint8_t> WrapRmid(const std::vector<uint8_t>& smf) {
    std::vector<uint8_t> r = {'R', 'I', 'F', 'F', 0,   0, 0, 0, 'R', 'M', 'I',
                              'D', 'I', 'N', 'F', 'O', 2, 0, 0, 0,   'x', 'y'};
    r.insert(r.end(), {'d', 'a', 't', 'a'});
    const uint32_t n = static_cast<uint32_t>(smf.size());
    r.insert(r.end(), {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)});
    r.insert(r.end(), smf.begin(), smf.end());
    const uint32_t riff = static_cast<uint32_t>(r.size() - 8);
    r[4] = uint8_t(riff), r[5] = uint8_t(riff >> 8), r[6] = uint8_t(riff >> 16);
    r[7] = uint8_t(riff >> 24);
    return r;
}

inline void WriteBytes(const std::filesystem::path& p, const std::vector<uint8_t>& b) {
    std::ofstream f(p, std::ios::binary);
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

} // namespace hml::test
