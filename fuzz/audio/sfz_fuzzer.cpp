// Fuzzes the SFZ parser and the mapping of its regions: the input is the instrument's text, and
// after a NUL byte the text of the one file it may #include ("inc.sfz"). Every sample name loads
// the same short sine, so the mapping sees every region.
#include "audio/sfz/SfzInstrument.h"
#include "audio/sfz/SfzParser.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

using namespace hml::audio;
using namespace hml::audio::sfz;
namespace fs = std::filesystem;

namespace {

PSampleData Sine(const fs::path&, std::string&) {
    static const PSampleData sine = [] {
        auto d = std::make_shared<SSampleData>();
        d->frames = 64;
        d->channels = 2;
        d->hasLoop = true;
        d->loopStart = 8;
        d->loopEnd = 56;
        for (int c = 0; c < 2; ++c) {
            d->pcm16[c].resize(128);
            d->low8[c].resize(64);
            for (int i = 0; i < 64; ++i) {
                const auto v = static_cast<int16_t>(10000 * std::sin(i * 0.3));
                d->pcm16[c][2 * i] = static_cast<uint8_t>(v);
                d->pcm16[c][2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8);
            }
        }
        return PSampleData(d);
    }();
    return sine;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string all(reinterpret_cast<const char*>(data), size);
    const size_t nul = all.find('\0');
    const std::string main = all.substr(0, nul);
    const std::string inc = nul == std::string::npos ? std::string() : all.substr(nul + 1);
    CSfzParser parser([&](const fs::path& p) -> std::optional<std::string> {
        if (p.filename() == "inc.sfz")
            return inc;
        if (p.filename() == "main.sfz")
            return main;
        return std::nullopt;
    });
    SParsed parsed;
    std::string error;
    if (!parser.ParseText(main, "/fuzz/main.sfz", parsed, error))
        return 0;
    SInstrument inst;
    BuildInstrument(parsed, "/fuzz", "fuzz", inst, &error, Sine);
    return 0;
}
