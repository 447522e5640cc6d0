// Feeds arbitrary short messages, SysEx chunks and resets to a connection's MIDI handling and
// checks that what reaches the stream stays within bounds.

#include "mixer/MixerOwner.h"
#include "synth/MidiHandler.h"

#include <cstdlib>
#include <cstring>

using namespace hml::mixer;
using namespace hml::synth;

namespace {

class CCheckingStream : public IMidiStreamTarget {
public:
    void SendEvent(std::uint32_t channel, std::uint32_t event, std::uint32_t value) override {
        const bool known = event == kEventDrums || event == kEventNotesOff ||
                           event == kEventReverb || event == kEventChorus;
        if (channel >= 16 || !known || value > 100) {
            std::abort();
        }
    }
    void SendRaw(const std::uint8_t* bytes, std::size_t count) override {
        if (count > CMidiHandler::kSysExCapacity) {
            std::abort();
        }
        // Touch every byte so the sanitizer sees a read past what was written.
        for (std::size_t i = 0; i < count; ++i) {
            checksum += bytes[i];
        }
    }
    std::uint32_t checksum = 0;
};

class CPort : public IMixerOwner {
public:
    std::uint32_t GetLevel() override { return 0; }
    std::wstring GetInstrumentName(std::uint32_t) override { return {}; }
    std::wstring GetTitle() override { return {}; }
    void ApplyChannel(std::uint32_t) override {}
};

// Reads little-endian values off the input, zero once it runs out.
class CReader {
public:
    CReader(const std::uint8_t* bytes, std::size_t size) : data(bytes), left(size) {}
    bool Empty() const { return left == 0; }
    std::uint32_t Take(std::size_t count) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < count && left != 0; ++i, --left) {
            value |= static_cast<std::uint32_t>(*data++) << (8 * i);
        }
        return value;
    }
    const std::uint8_t* Bytes(std::size_t& count) {
        count = count < left ? count : left;
        const std::uint8_t* at = data;
        data += count;
        left -= count;
        return at;
    }

private:
    const std::uint8_t* data;
    std::size_t left;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPort port;
    CCheckingStream stream;
    CMidiHandler midi(port, nullptr, MidiEffectsConfig{});
    midi.SetStream(&stream);
    CReader in(data, size);
    while (!in.Empty()) {
        const std::uint32_t op = in.Take(1);
        switch (op & 3) {
        case 0: {
            const std::uint32_t message = in.Take(3);
            midi.ShortMessage(message, (op & 4) ? 0xC0 : 0);
            break;
        }
        case 1: {
            std::uint32_t index = in.Take(2);
            std::uint32_t count = in.Take(2);
            if (op & 4) {
                // Reach the counts near the 32-bit limit too.
                index |= 0xFFFF0000u;
                count |= 0xFFFF0000u;
            }
            const std::uint32_t length = in.Take(1);
            std::size_t available = length < 64 ? length : 64;
            std::uint8_t chunk[64] = {};
            const std::uint8_t* bytes = in.Bytes(available);
            std::memcpy(chunk, bytes, available);
            midi.LongMessage(index, count, chunk, length);
            break;
        }
        case 2:
            switch ((op >> 2) & 7) {
            case 0:
                midi.NotesOff();
                break;
            case 1:
                midi.ResetDrums();
                break;
            case 2:
                midi.ResetInstruments();
                break;
            case 3:
                midi.ApplyEffects();
                break;
            default:
                midi.SetEffects({in.Take(1), in.Take(1), (op & 0x80) != 0});
                break;
            }
            break;
        default:
            midi.SetStream((op & 4) ? &stream : nullptr);
            break;
        }
        if (midi.mode > kModeXg || midi.runningStatus >= 0xF0) {
            std::abort();
        }
        for (std::uint32_t c = 0; c < 16; ++c) {
            if (midi.instrumentName[c].load() != nullptr && midi.instrumentName[c].load()[0] == 0) {
                std::abort();
            }
        }
    }
    return 0;
}
