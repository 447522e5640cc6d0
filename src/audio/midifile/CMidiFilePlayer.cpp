#include "audio/midifile/CMidiFilePlayer.h"

#include <algorithm>

namespace hml::audio {

namespace {
// Rendered before a refused event is offered again: the stream drains its queue per block.
constexpr uint64_t kStallFrames = 64;
} // namespace

CMidiFilePlayer::CMidiFilePlayer(const CMidiFile& f, CMidiStream& s, IMidiEventSink* k)
    : file(f), stream(s), sink(k) {}

bool CMidiFilePlayer::SendDefault(const CMidiFile& f, const SMidiFileEvent& e, CMidiStream& s) {
    switch (e.event) {
    case MidiFileEvent::Tempo:
    case MidiFileEvent::Meta:
    case MidiFileEvent::TrackEnd:
        return true;
    case EMidiEvent::SystemEx:
        return s.SendMidi(f.Data(e), e.dataSize);
    default:
        return s.SendEvent(static_cast<int>(e.channel), e.event, e.param);
    }
}

int64_t CMidiFilePlayer::GetData(void* buffer, size_t bytes) {
    const auto& events = file.Events();
    const uint64_t bpf = stream.BytesPerFrame();
    bytes -= bytes % bpf;
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < bytes || bytes == 0) {
        bool stalled = false;
        while (next < events.size() && events[next].pos <= rendered) {
            const bool sent = sink ? sink->Dispatch(file, events[next], stream)
                                   : SendDefault(file, events[next], stream);
            if (!sent) {
                stalled = true;
                break;
            }
            ++next;
        }
        if (next == events.size() && !endSent)
            endSent = stream.SendEvent(0, EMidiEvent::End, 0);
        if (bytes == 0)
            return 0;
        uint64_t want = bytes - done;
        if (next < events.size() && !stalled)
            want = std::min(want, events[next].pos - rendered);
        if (stalled || (next == events.size() && !endSent))
            want = std::min(want, kStallFrames * bpf);
        want = std::max(want - want % bpf, bpf);
        const int64_t n = stream.GetData(out + done, static_cast<size_t>(want));
        if (n <= 0)
            return done != 0 ? static_cast<int64_t>(done) : -1;
        done += static_cast<size_t>(n);
        rendered += static_cast<uint64_t>(n);
    }
    return static_cast<int64_t>(done);
}

} // namespace hml::audio
