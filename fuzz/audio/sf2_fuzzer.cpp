// Fuzzes the SoundFont parser and, for files that parse, plays every preset briefly so the
// voice setup sees the hostile generators, modulators and sample headers too.
#include "audio/sf2/CSoundFont.h"
#include "audio/stream/CMidiStream.h"

#include <cstddef>
#include <cstdint>
#include <vector>

using namespace hml::audio;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    EError error = EError::Ok;
    auto font = CSoundFont::OpenMemory(std::vector<uint8_t>(data, data + size), 0, error);
    if (!font)
        return 0;
    font->GetInfo();
    EError e = EError::Ok;
    auto stream = CMidiStream::Create(StreamFlags::Decode | StreamFlags::Float, 22050, 64, e);
    const SFontMapping mapping{font, -1, 0};
    stream->SetFonts(&mapping, 1);
    int played = 0;
    for (uint32_t p : font->GetPresets()) {
        if (played++ == 16)
            break;
        const int bank = static_cast<int>(p >> 16), channel = bank == 128 ? 9 : 0;
        stream->SendEvent(channel, EMidiEvent::Controller,
                          static_cast<uint32_t>(0 | (bank & 0x7F) << 8));
        stream->SendEvent(channel, EMidiEvent::Program, p & 0x7F);
        for (uint32_t key : {20u, 60u, 100u})
            stream->SendEvent(channel, EMidiEvent::Note, key | 100u << 8);
    }
    float buf[2 * 512];
    for (int i = 0; i < 4; ++i)
        stream->GetData(buf, sizeof buf);
    return 0;
}
