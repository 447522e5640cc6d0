// A FLAC decoder of our own: the format is small (fixed and LPC predictors over Rice-coded
// residuals), and one portable file is simpler to build for every target than libFLAC.
// Each frame's header and body checksums are verified, so damage is reported, not played.
#include "audio/decode/DecodeLimits.h"
#include "audio/decode/DecodedAudio.h"

#include <algorithm>
#include <array>
#include <bit>

namespace hml::audio::decode {

namespace {

constexpr int kMaxBits = 24; // 32-bit FLAC is rare and its side channel would need 33 bits

constexpr std::array<uint8_t, 256> MakeCrc8() {
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
        uint8_t c = static_cast<uint8_t>(i);
        for (int b = 0; b < 8; ++b)
            c = static_cast<uint8_t>((c & 0x80) ? (c << 1) ^ 0x07 : c << 1);
        t[static_cast<size_t>(i)] = c;
    }
    return t;
}

constexpr std::array<uint16_t, 256> MakeCrc16() {
    std::array<uint16_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
        uint16_t c = static_cast<uint16_t>(i << 8);
        for (int b = 0; b < 8; ++b)
            c = static_cast<uint16_t>((c & 0x8000) ? (c << 1) ^ 0x8005 : c << 1);
        t[static_cast<size_t>(i)] = c;
    }
    return t;
}

constexpr auto kCrc8 = MakeCrc8();
constexpr auto kCrc16 = MakeCrc16();

uint8_t Crc8(const uint8_t* p, size_t n) {
    uint8_t c = 0;
    for (size_t i = 0; i < n; ++i)
        c = kCrc8[c ^ p[i]];
    return c;
}

uint16_t Crc16(const uint8_t* p, size_t n) {
    uint16_t c = 0;
    for (size_t i = 0; i < n; ++i)
        c = static_cast<uint16_t>((c << 8) ^ kCrc16[(c >> 8) ^ p[i]]);
    return c;
}

// Reads big-endian bit fields. Past the end it yields zeros; Overrun() tells the caller.
class CBitReader {
public:
    CBitReader(const uint8_t* data, size_t size) : p(data), n(size) {}

    uint32_t Read(int bits) {
        if (bits == 0)
            return 0;
        if (count < bits)
            Refill();
        const uint32_t v = static_cast<uint32_t>(cache >> (64 - bits));
        Drop(bits);
        return v;
    }
    int32_t ReadSigned(int bits) {
        if (bits == 0)
            return 0;
        const uint32_t v = Read(bits);
        const uint32_t sign = 1u << (bits - 1);
        return static_cast<int32_t>(static_cast<int64_t>(v ^ sign) - static_cast<int64_t>(sign));
    }
    // Zeros before the next one bit; stops early (with Overrun) at the end of the data.
    uint32_t Unary() {
        uint32_t zeros = 0;
        for (;;) {
            if (count == 0)
                Refill();
            if (cache != 0) {
                const int lz = std::countl_zero(cache);
                if (lz < count) {
                    Drop(lz + 1);
                    return zeros + static_cast<uint32_t>(lz);
                }
            }
            zeros += static_cast<uint32_t>(count);
            Drop(count);
            if (Overrun())
                return zeros;
        }
    }
    void AlignToByte() { Drop(count & 7); }
    size_t BytePos() const { return (loaded * 8 - static_cast<size_t>(count)) / 8; }
    bool Overrun() const { return loaded * 8 - static_cast<size_t>(count) > n * 8; }

private:
    void Refill() {
        if (loaded + 8 <= n) {
            // Eight bytes at once; only the whole bytes that fit behind the held bits are kept.
            uint64_t w = 0;
            for (int i = 0; i < 8; ++i)
                w = (w << 8) | p[loaded + static_cast<size_t>(i)];
            const int take = (64 - count) / 8;
            const int rest = 64 - count - take * 8;
            w >>= count;
            if (rest != 0)
                w &= ~((uint64_t{1} << rest) - 1);
            cache |= w;
            loaded += static_cast<size_t>(take);
            count += take * 8;
            return;
        }
        while (count <= 56) {
            const uint64_t b = loaded < n ? p[loaded] : 0;
            cache |= b << (56 - count);
            ++loaded;
            count += 8;
        }
    }
    void Drop(int bits) {
        cache = bits >= 64 ? 0 : cache << bits;
        count -= bits;
    }

    const uint8_t* p;
    size_t n;
    size_t loaded = 0; // bytes moved into the cache, counting zeros past the end
    uint64_t cache = 0;
    int count = 0;
};

struct SStreamInfo {
    uint32_t rate = 0;
    int channels = 0;
    int bits = 0;
    uint64_t totalFrames = 0;
    uint32_t maxBlock = 0;
};

class CFlacReader {
public:
    CFlacReader(const uint8_t* data, size_t size, SDecodedAudio& o, std::string& e)
        : bytes(data), n(size), out(o), error(e) {}

    bool Run() {
        if (!Metadata())
            return false;
        out.sampleRate = info.rate;
        out.channels = static_cast<uint16_t>(info.channels);
        const uint64_t want =
            std::min<uint64_t>({info.totalFrames * static_cast<uint64_t>(info.channels),
                                kMaxSamples, uint64_t{n} * 16});
        out.samples.reserve(static_cast<size_t>(want));
        while (pos + 2 <= n && bytes[pos] == 0xFF && (bytes[pos + 1] & 0xFE) == 0xF8)
            if (!Frame())
                return false;
        // Anything after the last frame that is not a frame (a tag) is ignored, but a stream
        // cut short (or a frame whose sync was damaged) is not taken for a shorter sound.
        if (out.Frames() < info.totalFrames)
            return Fail("FLAC stream is shorter than its header says");
        return true;
    }

private:
    bool Fail(const char* why) {
        error = why;
        return false;
    }

    bool Metadata() {
        if (n < 4 || bytes[0] != 'f' || bytes[1] != 'L' || bytes[2] != 'a' || bytes[3] != 'C')
            return Fail("not a FLAC stream");
        pos = 4;
        bool last = false, haveInfo = false;
        while (!last) {
            if (n - pos < 4)
                return Fail("FLAC metadata is truncated");
            const uint8_t head = bytes[pos];
            last = (head & 0x80) != 0;
            const uint32_t len = static_cast<uint32_t>(bytes[pos + 1]) << 16 |
                                 static_cast<uint32_t>(bytes[pos + 2]) << 8 | bytes[pos + 3];
            pos += 4;
            if (len > n - pos)
                return Fail("FLAC metadata block overruns the file");
            if ((head & 0x7F) == 0) {
                if (haveInfo || pos != 8 || len < 34)
                    return Fail("FLAC stream info is missing or malformed");
                CBitReader r(bytes + pos, len);
                r.Read(16); // minimum block size
                info.maxBlock = r.Read(16);
                r.Read(24);
                r.Read(24);
                info.rate = r.Read(20);
                info.channels = static_cast<int>(r.Read(3)) + 1;
                info.bits = static_cast<int>(r.Read(5)) + 1;
                info.totalFrames = uint64_t{r.Read(4)} << 32 | r.Read(32);
                haveInfo = true;
            } else if (!haveInfo) {
                return Fail("FLAC stream info is missing or malformed");
            }
            pos += len;
        }
        if (info.rate < kMinRate || info.rate > kMaxRate || info.channels > kMaxChannels)
            return Fail("FLAC stream with unusable channels or sample rate");
        if (info.bits < 4 || info.bits > kMaxBits)
            return Fail("FLAC sample size not supported (4 to 24 bits)");
        return true;
    }

    // One frame at `pos`; on success `pos` moves past it and its samples join the output.
    bool Frame() {
        const uint8_t* f = bytes + pos;
        const size_t avail = n - pos;
        CBitReader r(f, avail);
        r.Read(15); // sync and a reserved bit
        r.Read(1);  // fixed or variable block size: the header carries the size either way
        const uint32_t blockCode = r.Read(4), rateCode = r.Read(4);
        const uint32_t chanCode = r.Read(4), bitsCode = r.Read(3);
        if (r.Read(1) != 0 || rateCode == 15 || chanCode > 10 || bitsCode == 3 || bitsCode == 7 ||
            blockCode == 0)
            return Fail("FLAC frame header is malformed");
        // The frame or sample number, UTF-8 style; only its length matters here.
        const uint32_t lead = r.Read(8);
        int extra = 0;
        if (lead >= 0xC0) {
            extra = lead >= 0xFE ? 6 : std::countl_one(static_cast<uint8_t>(lead)) - 1;
            if (extra < 1 || extra > 6)
                return Fail("FLAC frame header is malformed");
        } else if (lead >= 0x80) {
            return Fail("FLAC frame header is malformed");
        }
        for (int i = 0; i < extra; ++i)
            if ((r.Read(8) & 0xC0) != 0x80)
                return Fail("FLAC frame header is malformed");
        uint32_t block = 0;
        if (blockCode == 1)
            block = 192;
        else if (blockCode <= 5)
            block = 576u << (blockCode - 2);
        else if (blockCode == 6)
            block = r.Read(8) + 1;
        else if (blockCode == 7)
            block = r.Read(16) + 1;
        else
            block = 256u << (blockCode - 8);
        if (rateCode == 12)
            r.Read(8);
        else if (rateCode == 13 || rateCode == 14)
            r.Read(16);
        const size_t headerLen = r.BytePos();
        if (r.Overrun() || headerLen >= avail || Crc8(f, headerLen) != r.Read(8))
            return Fail("FLAC frame header is damaged");
        const int channels = chanCode <= 7 ? static_cast<int>(chanCode) + 1 : 2;
        static constexpr int kBitsOf[8] = {0, 8, 12, 0, 16, 20, 24, 0};
        const int bits = bitsCode == 0 ? info.bits : kBitsOf[bitsCode];
        if (channels != info.channels || bits != info.bits)
            return Fail("FLAC frame changes the stream's format");
        if (out.samples.size() + size_t{block} * static_cast<size_t>(channels) > kMaxSamples)
            return Fail("FLAC stream decodes to more audio than allowed");

        for (int c = 0; c < channels; ++c) {
            std::vector<int32_t>& s = chan[static_cast<size_t>(c)];
            s.resize(block);
            // The side channel of a stereo decorrelation carries one bit more.
            const bool side = (chanCode == 8 && c == 1) || (chanCode == 9 && c == 0) ||
                              (chanCode == 10 && c == 1);
            if (!Subframe(r, s.data(), block, bits + (side ? 1 : 0)))
                return false;
        }
        r.AlignToByte();
        const size_t bodyLen = r.BytePos();
        if (r.Overrun() || bodyLen + 2 > avail)
            return Fail("FLAC frame is truncated");
        const uint32_t crc = r.Read(16);
        if (Crc16(f, bodyLen) != crc)
            return Fail("FLAC frame is damaged (checksum)");
        Decorrelate(chanCode, block);
        Emit(channels, block, bits);
        pos += bodyLen + 2;
        return true;
    }

    bool Subframe(CBitReader& r, int32_t* s, uint32_t block, int bits) {
        if (r.Read(1) != 0)
            return Fail("FLAC subframe is malformed");
        const uint32_t type = r.Read(6);
        int wasted = 0;
        if (r.Read(1)) {
            const uint32_t k = r.Unary() + 1;
            if (k >= static_cast<uint32_t>(bits))
                return Fail("FLAC subframe is malformed");
            wasted = static_cast<int>(k);
            bits -= wasted;
        }
        if (type == 0) {
            const int32_t v = r.ReadSigned(bits);
            std::fill(s, s + block, v);
        } else if (type == 1) {
            for (uint32_t i = 0; i < block; ++i)
                s[i] = r.ReadSigned(bits);
        } else if (type >= 8 && type <= 12) {
            const uint32_t order = type - 8;
            if (order > block)
                return Fail("FLAC subframe is malformed");
            for (uint32_t i = 0; i < order; ++i)
                s[i] = r.ReadSigned(bits);
            if (!Residual(r, s, block, order))
                return false;
            Fixed(s, block, order);
        } else if (type >= 32) {
            const uint32_t order = type - 31;
            if (order > block)
                return Fail("FLAC subframe is malformed");
            for (uint32_t i = 0; i < order; ++i)
                s[i] = r.ReadSigned(bits);
            const int precision = static_cast<int>(r.Read(4)) + 1;
            const int shift = r.ReadSigned(5);
            if (precision == 16 || shift < 0)
                return Fail("FLAC subframe is malformed");
            std::array<int32_t, 32> coef{};
            for (uint32_t i = 0; i < order; ++i)
                coef[i] = r.ReadSigned(precision);
            if (!Residual(r, s, block, order))
                return false;
            Lpc(s, block, order, coef.data(), shift);
        } else {
            return Fail("FLAC subframe type is reserved");
        }
        if (r.Overrun())
            return Fail("FLAC frame is truncated");
        if (wasted)
            for (uint32_t i = 0; i < block; ++i)
                s[i] = static_cast<int32_t>(static_cast<uint32_t>(s[i]) << wasted);
        return true;
    }

    // Rice-coded residuals into s[order..block).
    bool Residual(CBitReader& r, int32_t* s, uint32_t block, uint32_t order) {
        const uint32_t method = r.Read(2);
        if (method > 1)
            return Fail("FLAC residual coding is reserved");
        const int paramBits = method == 0 ? 4 : 5;
        const uint32_t escape = (1u << paramBits) - 1;
        const uint32_t partOrder = r.Read(4);
        const uint32_t parts = 1u << partOrder;
        if ((block & (parts - 1)) != 0 || (block >> partOrder) < order)
            return Fail("FLAC residual partitions do not fit the block");
        const uint32_t per = block >> partOrder;
        uint32_t i = order;
        for (uint32_t p = 0; p < parts; ++p) {
            const uint32_t end = (p + 1) * per;
            const uint32_t k = r.Read(paramBits);
            if (k == escape) {
                const int raw = static_cast<int>(r.Read(5));
                for (; i < end; ++i)
                    s[i] = r.ReadSigned(raw);
            } else {
                for (; i < end; ++i) {
                    const uint32_t q = r.Unary();
                    if (q > 0x7FFFFFFFu >> k || r.Overrun())
                        return Fail("FLAC residual is malformed");
                    const uint32_t v = (q << k) | r.Read(static_cast<int>(k));
                    s[i] = static_cast<int32_t>(v >> 1) ^ -static_cast<int32_t>(v & 1);
                }
            }
        }
        return true;
    }

    // Predictions run in 64 bits and wrap to 32: a hostile stream cannot overflow them.
    static void Fixed(int32_t* s, uint32_t block, uint32_t order) {
        for (uint32_t i = order; i < block; ++i) {
            int64_t p = 0;
            switch (order) {
            case 1:
                p = s[i - 1];
                break;
            case 2:
                p = 2 * int64_t{s[i - 1]} - s[i - 2];
                break;
            case 3:
                p = 3 * (int64_t{s[i - 1]} - s[i - 2]) + s[i - 3];
                break;
            case 4:
                p = 4 * (int64_t{s[i - 1]} + s[i - 3]) - 6 * int64_t{s[i - 2]} - s[i - 4];
                break;
            default:
                break;
            }
            s[i] = static_cast<int32_t>(p + s[i]);
        }
    }

    static void Lpc(int32_t* s, uint32_t block, uint32_t order, const int32_t* coef, int shift) {
        for (uint32_t i = order; i < block; ++i) {
            int64_t sum = 0;
            for (uint32_t j = 0; j < order; ++j)
                sum += int64_t{coef[j]} * s[i - 1 - j];
            s[i] = static_cast<int32_t>((sum >> shift) + s[i]);
        }
    }

    void Decorrelate(uint32_t chanCode, uint32_t block) {
        int32_t* a = chan[0].data();
        int32_t* b = chan[1].data();
        for (uint32_t i = 0; chanCode >= 8 && i < block; ++i) {
            const int64_t x = a[i], y = b[i];
            if (chanCode == 8) { // left, side
                b[i] = static_cast<int32_t>(x - y);
            } else if (chanCode == 9) { // side, right
                a[i] = static_cast<int32_t>(x + y);
            } else { // mid, side
                const int64_t mid = x * 2 + (y & 1);
                a[i] = static_cast<int32_t>((mid + y) >> 1);
                b[i] = static_cast<int32_t>((mid - y) >> 1);
            }
        }
    }

    void Emit(int channels, uint32_t block, int bits) {
        const float scale = 1.0f / static_cast<float>(1u << (bits - 1));
        const size_t at = out.samples.size();
        out.samples.resize(at + size_t{block} * static_cast<size_t>(channels));
        float* o = out.samples.data() + at;
        for (uint32_t i = 0; i < block; ++i)
            for (int c = 0; c < channels; ++c)
                *o++ = static_cast<float>(chan[static_cast<size_t>(c)][i]) * scale;
    }

    const uint8_t* bytes;
    size_t n;
    SDecodedAudio& out;
    std::string& error;
    size_t pos = 0;
    SStreamInfo info;
    std::array<std::vector<int32_t>, 8> chan;
};

} // namespace

bool DecodeFlac(const uint8_t* bytes, size_t size, SDecodedAudio& out, std::string& error) {
    out = SDecodedAudio();
    if (bytes == nullptr) {
        error = "not a FLAC stream";
        return false;
    }
    CFlacReader reader(bytes, size, out, error);
    if (!reader.Run()) {
        out = SDecodedAudio();
        return false;
    }
    out.samples.shrink_to_fit();
    return true;
}

} // namespace hml::audio::decode
