// Queue carrying events and raw MIDI bytes from any thread to the render thread. Producers
// serialise on a spinlock held only for the copy; the render thread drains without locking.
// Records are contiguous in the ring, so the consumer reads payloads in place.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>

namespace hml::audio {

struct SEventRecord {
    uint32_t size; // whole record, header included, multiple of 16
    uint16_t kind; // EKind
    uint16_t channel;
    uint32_t event;
    uint32_t param; // for Raw: payload length
};

class CEventQueue {
public:
    enum EKind : uint16_t { Skip = 0, Event = 1, Raw = 2 };

    // Capacity is rounded up to a power of two.
    explicit CEventQueue(uint32_t capacity) {
        cap = 256;
        while (cap < capacity)
            cap <<= 1;
        ring = std::make_unique<uint8_t[]>(cap);
    }

    bool Push(uint16_t kind, uint16_t channel, uint32_t event, uint32_t param,
              const uint8_t* payload = nullptr, uint32_t length = 0) {
        const uint32_t need = (static_cast<uint32_t>(sizeof(SEventRecord)) + length + 15u) & ~15u;
        if (need > cap / 2)
            return false;
        while (lock.test_and_set(std::memory_order_acquire)) {
        }
        bool ok = false;
        uint32_t t = tail.load(std::memory_order_relaxed);
        const uint32_t used = t - head.load(std::memory_order_acquire);
        uint32_t pos = t & (cap - 1);
        const uint32_t toEnd = cap - pos;
        const uint32_t total = need > toEnd ? need + toEnd : need;
        if (cap - used >= total) {
            if (need > toEnd) {
                const SEventRecord skip{toEnd, Skip, 0, 0, 0};
                std::memcpy(ring.get() + pos, &skip, sizeof skip);
                t += toEnd;
                pos = 0;
            }
            const SEventRecord rec{need, kind, channel, event, param};
            std::memcpy(ring.get() + pos, &rec, sizeof rec);
            if (length != 0)
                std::memcpy(ring.get() + pos + sizeof rec, payload, length);
            tail.store(t + need, std::memory_order_release);
            ok = true;
        }
        lock.clear(std::memory_order_release);
        return ok;
    }

    // Render thread only. f(const SEventRecord&, const uint8_t* payload).
    template <class F> void Drain(F&& f) {
        const uint32_t t = tail.load(std::memory_order_acquire);
        uint32_t h = head.load(std::memory_order_relaxed);
        while (h != t) {
            SEventRecord rec;
            const uint8_t* at = ring.get() + (h & (cap - 1));
            std::memcpy(&rec, at, sizeof rec);
            if (rec.kind != Skip)
                f(rec, at + sizeof rec);
            h += rec.size;
        }
        head.store(h, std::memory_order_release);
    }

private:
    std::unique_ptr<uint8_t[]> ring;
    uint32_t cap = 0;
    std::atomic<uint32_t> head{0}, tail{0};
    std::atomic_flag lock = ATOMIC_FLAG_INIT;
};

} // namespace hml::audio
