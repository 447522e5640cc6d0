#include "audio/midifile/CMidiFile.h"

#include "audio/SysEx.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <system_error>

namespace hml::audio {

SPcmLayout SPcmLayout::FromFlags(uint32_t streamFlags, uint32_t rate) {
    SPcmLayout l;
    l.rate = rate;
    l.channels = (streamFlags & StreamFlags::Mono) ? 1 : 2;
    l.bytesPerSample = (streamFlags & StreamFlags::Float)         ? 4
                       : (streamFlags & StreamFlags::Sample8Bits) ? 1
                                                                  : 2;
    return l;
}

uint64_t SPcmLayout::SecondsToBytes(double seconds) const {
    if (!(seconds > 0))
        return 0;
    const double frames = std::floor(seconds * rate);
    if (frames >= 1.8e19 / BytesPerFrame())
        return UINT64_MAX / BytesPerFrame() * BytesPerFrame();
    return static_cast<uint64_t>(frames) * BytesPerFrame();
}

double SPcmLayout::BytesToSeconds(uint64_t bytes) const {
    return rate == 0 ? 0.0 : static_cast<double>(bytes / BytesPerFrame()) / rate;
}

namespace {

constexpr uint32_t kDefaultTempo = 500000;

uint32_t Be32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}
uint32_t Be16(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 8 | p[1];
}
uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[1]) << 8 | p[0];
}
bool Tag(const uint8_t* p, const char* tag) {
    return std::equal(p, p + 4, tag);
}

std::string Format(const char* fmt, unsigned a, unsigned b = 0) {
    char text[160];
    std::snprintf(text, sizeof text, fmt, a, b);
    return text;
}

} // namespace

class CSmfParser {
public:
    CSmfParser(CMidiFile& file, std::string& reason) : f(file), why(reason) {}

    bool Run(const uint8_t* p, size_t n) {
        // RIFF RMID: the SMF is the "data" chunk.
        if (n >= 12 && Tag(p, "RIFF") && Tag(p + 8, "RMID")) {
            size_t i = 12;
            const size_t end = std::min<size_t>(n, 8 + static_cast<size_t>(Le32(p + 4)));
            for (;;) {
                if (end - i < 8)
                    return Fail("RMID file without a data chunk");
                const size_t len = Le32(p + i + 4);
                if (len > end - i - 8)
                    return Fail("RMID chunk cut off");
                if (Tag(p + i, "data"))
                    return Smf(p + i + 8, len);
                i += 8 + len + (len & 1);
                if (i > end)
                    return Fail("RMID file without a data chunk");
            }
        }
        return Smf(p, n);
    }

private:
    bool Fail(std::string text) {
        why = std::move(text);
        return false;
    }

    bool Smf(const uint8_t* p, size_t n) {
        if (n < 14 || !Tag(p, "MThd"))
            return Fail("not a Standard MIDI File");
        const size_t hlen = Be32(p + 4);
        if (hlen < 6 || hlen > n - 8)
            return Fail("bad MThd chunk");
        const uint32_t format = Be16(p + 8), count = Be16(p + 10), division = Be16(p + 12);
        if (format > 2)
            return Fail(Format("unknown SMF format %u", format));
        if (count == 0)
            return Fail("no tracks");
        if (division & 0x8000) {
            const int fps = -static_cast<int8_t>(division >> 8);
            const uint32_t perFrame = division & 0xFF;
            if ((fps != 24 && fps != 25 && fps != 29 && fps != 30) || perFrame == 0)
                return Fail(Format("bad SMPTE division %04X", division));
            smpte = true;
            // 29 stands for 29.97 frames per second: 30000/1001.
            tickMul = fps == 29 ? 1001 : 1;
            denom = fps == 29 ? 30000ull * perFrame : static_cast<uint64_t>(fps) * perFrame;
        } else {
            if (division == 0)
                return Fail("division 0");
            denom = division * 1000000ull;
        }
        f.format = format;

        std::vector<size_t> trackStart; // index into f.events where each track begins
        size_t i = 8 + hlen;
        uint32_t found = 0;
        while (found < count && n - i >= 8) {
            const size_t len = Be32(p + i + 4);
            if (len > n - i - 8)
                return Fail(Format("chunk %u cut off: the file ends early", found + 1));
            if (Tag(p + i, "MTrk")) {
                trackStart.push_back(f.events.size());
                if (!Track(p + i + 8, len, found))
                    return false;
                ++found;
            }
            i += 8 + len;
        }
        if (found == 0)
            return Fail("no MTrk chunk");
        // Fewer tracks than announced, ending cleanly at a chunk: play what is there.
        f.tracks = found;
        trackStart.push_back(f.events.size());

        if (format == 2) {
            // Independent patterns, one after another, each with its own tempo.
            uint64_t tickBase = 0, timeBase = 0;
            for (size_t t = 0; t + 1 < trackStart.size(); ++t) {
                const size_t a = trackStart[t], b = trackStart[t + 1];
                uint64_t lastTick = 0;
                for (size_t k = a; k < b; ++k) {
                    const uint64_t tick = tickBase + f.events[k].tick;
                    if (tick > UINT32_MAX)
                        return Fail("track lengths overflow the tick range");
                    lastTick = f.events[k].tick;
                    f.events[k].tick = static_cast<uint32_t>(tick);
                }
                if (!Time(a, b, tickBase, timeBase))
                    return false;
                tickBase += lastTick;
            }
        } else {
            std::stable_sort(
                f.events.begin(), f.events.end(),
                [](const SMidiFileEvent& a, const SMidiFileEvent& b) { return a.tick < b.tick; });
            uint64_t timeBase = 0;
            if (!Time(0, f.events.size(), 0, timeBase))
                return false;
        }
        return true;
    }

    // Positions of events [a, b), which are in tick order from `startTick`; the tempo starts at
    // its default. The time in units of 1/denom seconds goes on from `time`, which returns the
    // last one.
    bool Time(size_t a, size_t b, uint64_t startTick, uint64_t& time) {
        const uint64_t maxTime = CMidiFile::kMaxSeconds * denom;
        uint64_t tempo = kDefaultTempo;
        uint64_t lastTick = startTick;
        const uint64_t bpf = f.layout.BytesPerFrame(), rate = f.layout.rate;
        for (size_t k = a; k < b; ++k) {
            SMidiFileEvent& e = f.events[k];
            const uint64_t delta = e.tick - lastTick; // < 2^32
            lastTick = e.tick;
            const uint64_t step = delta * (smpte ? tickMul : tempo); // < 2^56
            if (step > maxTime - time)
                return Fail(Format("events later than %u hours", CMidiFile::kMaxSeconds / 3600));
            time += step;
            // Exact: frames = time * rate / denom without overflowing 64 bits.
            const uint64_t frames = time / denom * rate + time % denom * rate / denom;
            e.pos = frames * bpf;
            if (e.event == MidiFileEvent::Tempo && e.param != 0)
                tempo = e.param;
        }
        return true;
    }

    static bool Vlq(const uint8_t* p, size_t n, size_t& i, uint32_t& value) {
        value = 0;
        for (int k = 0; k < 4; ++k) {
            if (i >= n)
                return false;
            const uint8_t b = p[i++];
            value = value << 7 | (b & 0x7F);
            if (!(b & 0x80))
                return true;
        }
        return false;
    }

    void Add(uint32_t event, uint32_t param, uint32_t channel, uint64_t tick,
             const uint8_t* bytes = nullptr, size_t size = 0) {
        SMidiFileEvent e;
        e.event = event;
        e.param = param;
        e.channel = channel;
        e.tick = static_cast<uint32_t>(tick);
        if (size != 0) {
            e.dataOffset = static_cast<uint32_t>(f.data.size());
            e.dataSize = static_cast<uint32_t>(size);
            f.data.insert(f.data.end(), bytes, bytes + size);
        }
        f.events.push_back(e);
    }

    // A complete SysEx: the resets and drum-part settings become the events a stream knows.
    void SysEx(const std::vector<uint8_t>& m, uint64_t tick) {
        const sysex::SMessage d = sysex::Decode(m.data(), m.size());
        switch (d.kind) {
        case sysex::EKind::GmSystemOn:
            return Add(EMidiEvent::System, SysGm1, 0, tick);
        case sysex::EKind::GmSystemOff:
            return Add(EMidiEvent::System, SysDefault, 0, tick);
        case sysex::EKind::Gm2SystemOn:
            return Add(EMidiEvent::System, SysGm2, 0, tick);
        case sysex::EKind::GsReset:
            return Add(EMidiEvent::System, SysGs, 0, tick);
        case sysex::EKind::XgSystemOn:
        case sysex::EKind::XgAllReset:
            return Add(EMidiEvent::System, SysXg, 0, tick);
        case sysex::EKind::GsRhythmPart:
            return Add(EMidiEvent::Drums, d.value != 0,
                       static_cast<uint32_t>(sysex::GsPartDefaultChannel(d.part)), tick);
        case sysex::EKind::XgPartMode:
            return Add(EMidiEvent::Drums, d.value != 0, d.part, tick);
        default:
            return Add(EMidiEvent::SystemEx, 0, 0, tick, m.data(), m.size());
        }
    }

    bool Track(const uint8_t* p, size_t n, uint32_t track) {
        const unsigned t = track + 1;
        size_t i = 0;
        uint64_t tick = 0;
        uint8_t running = 0;
        std::vector<uint8_t> pending; // a SysEx divided into F0 and F7 packets
        bool inSysEx = false;
        while (i < n) {
            uint32_t delta;
            if (!Vlq(p, n, i, delta))
                return Fail(Format("track %u: bad delta time at byte %u", t, unsigned(i)));
            tick += delta;
            if (tick > UINT32_MAX)
                return Fail(Format("track %u: ticks overflow", t));
            if (i >= n)
                return Fail(Format("track %u: event cut off at its end", t));
            uint8_t status = p[i];
            if (status < 0x80) {
                // Running status also survives meta and SysEx events, as players allow.
                if (running == 0)
                    return Fail(
                        Format("track %u: data byte without status at byte %u", t, unsigned(i)));
                status = running;
            } else {
                ++i;
            }
            if (status < 0xF0) {
                running = status;
                const size_t need = (status & 0xE0) == 0xC0 ? 1 : 2;
                if (n - i < need)
                    return Fail(Format("track %u: event cut off at its end", t));
                const uint8_t d1 = p[i], d2 = need == 2 ? p[i + 1] : 0;
                if ((d1 | d2) & 0x80)
                    return Fail(Format("track %u: bad data byte at byte %u", t, unsigned(i)));
                i += need;
                const uint32_t c = status & 0x0F;
                switch (status & 0xF0) {
                case 0x80:
                    Add(EMidiEvent::Note, d1, c, tick);
                    break;
                case 0x90:
                    Add(EMidiEvent::Note, d1 | d2 << 8, c, tick);
                    break;
                case 0xA0:
                    Add(EMidiEvent::KeyPressure, d1 | d2 << 8, c, tick);
                    break;
                case 0xB0:
                    Add(EMidiEvent::Controller, d1 | d2 << 8, c, tick);
                    break;
                case 0xC0:
                    Add(EMidiEvent::Program, d1, c, tick);
                    break;
                case 0xD0:
                    Add(EMidiEvent::ChannelPressure, d1, c, tick);
                    break;
                default:
                    Add(EMidiEvent::PitchBend, d1 | d2 << 7, c, tick);
                    break;
                }
                continue;
            }
            if (status != 0xF0 && status != 0xF7 && status != 0xFF)
                return Fail(Format("track %u: status %02X has no place in a file", t, status));
            uint8_t type = 0;
            if (status == 0xFF) {
                if (i >= n)
                    return Fail(Format("track %u: event cut off at its end", t));
                type = p[i++];
            }
            uint32_t len;
            if (!Vlq(p, n, i, len) || len > n - i)
                return Fail(Format("track %u: event cut off at its end", t));
            const uint8_t* body = p + i;
            i += len;
            if (status == 0xFF) {
                if (type == 0x2F) {
                    Add(MidiFileEvent::TrackEnd, 0, 0, tick);
                    return true; // whatever follows is not part of the track
                }
                if (type == 0x51) {
                    if (len >= 3) {
                        const uint32_t us = body[0] << 16 | body[1] << 8 | body[2];
                        if (us != 0)
                            Add(MidiFileEvent::Tempo, us, 0, tick);
                    }
                    continue;
                }
                Add(MidiFileEvent::Meta, type, 0, tick, body, len);
                continue;
            }
            if (status == 0xF0) {
                pending.assign(1, 0xF0);
                pending.insert(pending.end(), body, body + len);
                inSysEx = true;
            } else if (inSysEx) {
                pending.insert(pending.end(), body, body + len);
            } else {
                if (len != 0) // an escape: bytes sent as they are
                    Add(EMidiEvent::SystemEx, 0, 0, tick, body, len);
                continue;
            }
            if (pending.back() == 0xF7) {
                SysEx(pending, tick);
                inSysEx = false;
            }
        }
        return true;
    }

    CMidiFile& f;
    std::string& why;
    bool smpte = false;
    uint64_t tickMul = 1;
    uint64_t denom = 1;
};

std::unique_ptr<CMidiFile> CMidiFile::Parse(const uint8_t* bytes, size_t size, uint32_t streamFlags,
                                            uint32_t rate, EError& error, std::string* why) {
    std::string reason;
    std::unique_ptr<CMidiFile> file(new CMidiFile);
    file->layout = SPcmLayout::FromFlags(streamFlags, rate);
    if (rate == 0) {
        error = EError::IllParam;
        if (why)
            *why = "sample rate 0";
        return nullptr;
    }
    if (size > kMaxFileSize) {
        error = EError::FileForm;
        if (why)
            *why = "larger than 64 MiB";
        return nullptr;
    }
    CSmfParser parser(*file, reason);
    if (bytes == nullptr || !parser.Run(bytes, size)) {
        error = EError::FileForm;
        if (why)
            *why = reason.empty() ? "not a Standard MIDI File" : reason;
        return nullptr;
    }
    error = EError::Ok;
    return file;
}

std::unique_ptr<CMidiFile> CMidiFile::Load(const std::filesystem::path& path, uint32_t streamFlags,
                                           uint32_t rate, EError& error, std::string* why) {
    std::error_code ec;
    std::ifstream in;
    if (!std::filesystem::is_directory(path, ec))
        in.open(path, std::ios::binary);
    if (in)
        in.seekg(0, std::ios::end);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
    if (size < 0) {
        error = EError::FileOpen;
        if (why)
            *why = "cannot open the file";
        return nullptr;
    }
    if (static_cast<uint64_t>(size) > kMaxFileSize) {
        error = EError::FileForm;
        if (why)
            *why = "larger than 64 MiB";
        return nullptr;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) {
        error = EError::FileOpen;
        if (why)
            *why = "cannot read the file";
        return nullptr;
    }
    return Parse(bytes.data(), bytes.size(), streamFlags, rate, error, why);
}

void CMidiFile::SkipInitialSilence() {
    uint64_t start = 0;
    for (const SMidiFileEvent& e : events) {
        const uint32_t velocity = (e.param >> 8) & 0xFF;
        if (e.event == EMidiEvent::Note && velocity >= 1 && velocity <= 127) {
            start = e.pos;
            break;
        }
    }
    for (SMidiFileEvent& e : events)
        e.pos = e.pos <= start ? 0 : e.pos - start;
}

} // namespace hml::audio
