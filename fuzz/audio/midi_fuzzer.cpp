// Fuzzes the raw MIDI and SysEx intake of a stream: the input is split into calls at 0xFD
// bytes, with a little rendering between calls, over a small two-preset font.
#include "audio/stream/CMidiStream.h"
#include "support/CSf2Writer.h"

#include <cstddef>
#include <cstdint>
#include <vector>

using namespace hml::audio;

namespace {

std::shared_ptr<CSoundFont> Font() {
    static std::shared_ptr<CSoundFont> font = [] {
        hml::test::CSf2Writer w;
        const int s =
            w.AddSample("s", hml::test::CSf2Writer::Sine(0.02, 2000), 22050, 60, 100, 1900);
        const int i =
            w.AddInstrument("i", {}, {{{hml::test::Gen(54, 1), hml::test::Gen(57, 1)}, {}, s}});
        w.AddPreset("melodic", 0, 0, {}, {{{}, {}, i}});
        w.AddPreset("drums", 0, 128, {}, {{{}, {}, i}});
        EError e;
        return CSoundFont::OpenMemory(w.Build(), 0, e);
    }();
    return font;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One stream for the whole run, reset before each input: creating one costs more than
    // the input itself.
    static std::unique_ptr<CMidiStream> stream = [] {
        EError e = EError::Ok;
        auto s = CMidiStream::Create(StreamFlags::Decode | StreamFlags::Float, 22050, 32, e);
        const SFontMapping mapping{Font(), -1, 0};
        s->SetFonts(&mapping, 1);
        return s;
    }();
    static std::unique_ptr<CMidiStream> copy = [] {
        EError e = EError::Ok;
        return CMidiStream::Create(StreamFlags::Decode, 22050, 16, e);
    }();
    stream->SendEvent(0, EMidiEvent::System, SysGm1);
    float buf[2 * 64];
    size_t start = 0;
    for (size_t i = 0; i <= size; ++i) {
        if (i == size || data[i] == 0xFD) {
            if (i > start)
                stream->SendMidi(data + start, i - start);
            stream->GetData(buf, sizeof buf);
            start = i + 1;
        }
    }
    const std::vector<uint8_t> state = stream->SaveState();
    copy->RestoreState(state.data(), state.size());
    copy->RestoreState(data, size); // arbitrary bytes as a state block
    return 0;
}
