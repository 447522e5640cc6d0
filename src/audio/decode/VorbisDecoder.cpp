#include "audio/decode/DecodeLimits.h"
#include "audio/decode/DecodedAudio.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <vector>

#define STB_VORBIS_HEADER_ONLY
#define STB_VORBIS_NO_STDIO
#define STB_VORBIS_NO_PUSHDATA_API
#include <stb_vorbis.h>

extern "C" void hml_stb_vorbis_release_all(void);

namespace hml::audio::decode {

namespace {

// Closes the decoder and frees what it leaked on this thread (see StbVorbis.c).
struct SCloser {
    void operator()(stb_vorbis* v) const {
        if (v != nullptr)
            stb_vorbis_close(v);
        hml_stb_vorbis_release_all();
    }
};

// stb_vorbis sizes its comment list from the count in the second header packet in int
// arithmetic, so a count near 2^29 wraps to a small list that it then writes past, and a list
// it cannot allocate it still walks when cleaning up. It reads the first packet from the first
// page and the second from the pages after it, as done here; a count the stream cannot hold
// (each comment has a 4-byte length) is refused before stb_vorbis sees it, as is a vendor text
// longer than the stream, which it would spend seconds reading as padding.
bool CommentCountIsSane(const uint8_t* p, size_t n) {
    std::vector<uint8_t> packet;
    size_t pos = 0;
    bool done = false;
    for (int page = 0; pos + 27 <= n && !done; ++page) {
        if (p[pos] != 'O' || p[pos + 1] != 'g' || p[pos + 2] != 'g' || p[pos + 3] != 'S')
            break;
        const size_t segs = p[pos + 26];
        if (pos + 27 + segs > n)
            break;
        size_t data = pos + 27 + segs;
        for (size_t i = 0; i < segs && !done; ++i) {
            const size_t len = p[pos + 27 + i];
            if (page > 0) {
                // Past the end of the data stb_vorbis reads zeros, not the end of the packet.
                if (data + len > n)
                    return false;
                packet.insert(packet.end(), p + data, p + data + len);
                done = len < 255;
            }
            data += len;
        }
        pos = data;
    }
    // A packet cut short by the data stb_vorbis would read on as zeros.
    if (!done)
        return packet.empty();
    // "\x03vorbis", the vendor's length and text, then the comment count.
    if (packet.size() < 11)
        return true;
    const auto rd32 = [&](size_t at) {
        return static_cast<uint32_t>(packet[at]) | static_cast<uint32_t>(packet[at + 1]) << 8 |
               static_cast<uint32_t>(packet[at + 2]) << 16 |
               static_cast<uint32_t>(packet[at + 3]) << 24;
    };
    // A vendor text longer than the stream is read to its full length as padding.
    if (rd32(7) > n)
        return false;
    const uint64_t at = 11 + uint64_t{rd32(7)};
    if (at + 4 > packet.size())
        return true; // read as -1 past the packet's end: no comments
    const uint32_t count = rd32(static_cast<size_t>(at));
    return count < (1u << 24) && count <= n / 4;
}

} // namespace

bool DecodeVorbis(const uint8_t* bytes, size_t size, SDecodedAudio& out, std::string& error) {
    out = SDecodedAudio();
    if (bytes == nullptr || size < 4 || bytes[0] != 'O' || bytes[1] != 'g' || bytes[2] != 'g' ||
        bytes[3] != 'S') {
        error = "not an Ogg stream";
        return false;
    }
    if (size > static_cast<size_t>(INT_MAX)) {
        error = "Ogg stream too large";
        return false;
    }
    if (!CommentCountIsSane(bytes, size)) {
        error = "Ogg Vorbis comment header is malformed";
        return false;
    }
    int code = 0;
    stb_vorbis* opened = stb_vorbis_open_memory(bytes, static_cast<int>(size), &code, nullptr);
    if (opened == nullptr)
        hml_stb_vorbis_release_all();
    std::unique_ptr<stb_vorbis, SCloser> v(opened);
    if (!v) {
        error = "not a readable Ogg Vorbis stream (code " + std::to_string(code) + ")";
        return false;
    }
    const stb_vorbis_info info = stb_vorbis_get_info(v.get());
    if (info.channels < 1 || info.channels > kMaxChannels || info.sample_rate < kMinRate ||
        info.sample_rate > kMaxRate) {
        error = "Ogg Vorbis stream with unusable channels or sample rate";
        return false;
    }
    out.sampleRate = info.sample_rate;
    out.channels = static_cast<uint16_t>(info.channels);
    // Grow in blocks: the stream's own length field is not trusted, and a tiny hostile stream
    // can claim to expand enormously, so the total is capped.
    const size_t block = 4096 * static_cast<size_t>(info.channels);
    size_t used = 0;
    for (;;) {
        if (used + block > kMaxSamples) {
            out = SDecodedAudio();
            error = "Ogg Vorbis stream decodes to more audio than allowed";
            return false;
        }
        out.samples.resize(used + block);
        const int frames = stb_vorbis_get_samples_float_interleaved(
            v.get(), info.channels, out.samples.data() + used, static_cast<int>(block));
        if (frames <= 0)
            break;
        used += static_cast<size_t>(frames) * static_cast<size_t>(info.channels);
    }
    out.samples.resize(used);
    out.samples.shrink_to_fit();
    return true;
}

} // namespace hml::audio::decode
