#include "audio/sf2/CSf2Parser.h"

#include <algorithm>
#include <cstring>

namespace hml::audio::sf2 {
namespace {

uint16_t Rd16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Rd32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
bool Is(const uint8_t* p, const char* id) {
    return std::memcmp(p, id, 4) == 0;
}

struct SSpan {
    const uint8_t* p = nullptr;
    size_t n = 0;
};

// Iterates the sub-chunks of a chunk body. Stops (ok=false) when a header overruns the body.
class CChunkWalker {
public:
    explicit CChunkWalker(SSpan body) : b(body) {}
    bool Next(const uint8_t*& id, SSpan& data) {
        if (pos + 8 > b.n)
            return false;
        id = b.p + pos;
        const uint32_t len = Rd32(b.p + pos + 4);
        if (len > b.n - pos - 8) {
            ok = false;
            return false;
        }
        data = {b.p + pos + 8, len};
        pos += 8 + static_cast<size_t>(len);
        // RIFF pads an odd chunk to even length, but SF3 writers leave the odd sample chunk
        // unpadded: skip the pad byte unless a chunk header fits only without it.
        if ((len & 1u) && (HeaderAt(pos + 1) || !HeaderAt(pos)))
            ++pos;
        return true;
    }
    bool ok = true;

private:
    // A printable id and a length that fits the rest of the body.
    bool HeaderAt(size_t at) const {
        if (at + 8 > b.n || Rd32(b.p + at + 4) > b.n - at - 8)
            return false;
        for (size_t i = 0; i < 4; ++i)
            if (b.p[at + i] < 0x20 || b.p[at + i] > 0x7E)
                return false;
        return true;
    }

    SSpan b;
    size_t pos = 0;
};

std::string ZStr(const uint8_t* p, size_t max) {
    size_t n = 0;
    while (n < max && p[n] != 0)
        ++n;
    std::string s(reinterpret_cast<const char*>(p), n);
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

struct SHydra {
    SSpan phdr, pbag, pmod, pgen, inst, ibag, imod, igen, shdr;
};

class CBuilder {
public:
    CBuilder(const SHydra& h, SModel& m) : hy(h), model(m) {}

    bool Build(std::string& why) {
        if (!Sizes(why))
            return false;
        if (!Samples(why) || !Instruments(why) || !Presets(why))
            return false;
        return true;
    }

private:
    const SHydra& hy;
    SModel& model;
    size_t nPhdr = 0, nPbag = 0, nPmod = 0, nPgen = 0;
    size_t nInst = 0, nIbag = 0, nImod = 0, nIgen = 0, nShdr = 0;

    bool Sizes(std::string& why) {
        struct {
            SSpan s;
            size_t rec;
            size_t* n;
            const char* name;
        } const t[] = {{hy.phdr, 38, &nPhdr, "phdr"}, {hy.pbag, 4, &nPbag, "pbag"},
                       {hy.pmod, 10, &nPmod, "pmod"}, {hy.pgen, 4, &nPgen, "pgen"},
                       {hy.inst, 22, &nInst, "inst"}, {hy.ibag, 4, &nIbag, "ibag"},
                       {hy.imod, 10, &nImod, "imod"}, {hy.igen, 4, &nIgen, "igen"},
                       {hy.shdr, 46, &nShdr, "shdr"}};
        for (const auto& e : t) {
            if (e.s.p == nullptr || e.s.n % e.rec != 0) {
                why = std::string("missing or malformed ") + e.name;
                return false;
            }
            *e.n = e.s.n / e.rec;
        }
        if (nPhdr < 1 || nPbag < 1 || nInst < 1 || nIbag < 1 || nShdr < 1) {
            why = "hydra lacks its terminal records";
            return false;
        }
        return true;
    }

    bool Samples(std::string& why) {
        const uint32_t frames = model.smplFrames;
        model.samples.resize(nShdr - 1);
        for (size_t i = 0; i + 1 < nShdr; ++i) {
            const uint8_t* r = hy.shdr.p + i * 46;
            SSample& s = model.samples[i];
            s.name = ZStr(r, 20);
            s.start = Rd32(r + 20);
            s.end = Rd32(r + 24);
            s.loopStart = Rd32(r + 28);
            s.loopEnd = Rd32(r + 32);
            s.rate = Rd32(r + 36);
            s.rootKey = r[40];
            s.pitchCorrection = static_cast<int8_t>(r[41]);
            s.link = Rd16(r + 42);
            s.type = Rd16(r + 44);
            if (s.type & 0x8000) { // ROM samples: we have no ROM, play nothing
                s.start = s.end = 0;
                s.type = static_cast<uint16_t>(s.type & ~OggVorbisSample);
            }
            if (s.type & OggVorbisSample) {
                const uint64_t bytes = std::min<uint64_t>(model.smplBytes, UINT32_MAX);
                s.end = static_cast<uint32_t>(std::min<uint64_t>(s.end, bytes));
                s.start = std::min(s.start, s.end);
            } else {
                ClampPcm(s, frames);
            }
            if (s.rate < 400 || s.rate > 384000)
                s.rate = s.rate == 0 ? 44100 : std::clamp<uint32_t>(s.rate, 400, 384000);
            if (s.rootKey > 127)
                s.rootKey = 60;
            if (s.link >= nShdr - 1)
                s.link = 0;
        }
        (void)why;
        return true;
    }

    // Clamp into the sample data; a broken header becomes an empty sample, not a fault.
    static void ClampPcm(SSample& s, uint32_t frames) {
        s.end = std::min(s.end, frames);
        s.start = std::min(s.start, s.end);
        if (s.loopStart < s.start || s.loopEnd > s.end || s.loopStart >= s.loopEnd) {
            s.loopStart = s.start;
            s.loopEnd = s.end;
        }
    }

    // Reads the generators and modulators of bags [first, last) into zones. `linkGen` is the
    // generator that ends a non-global zone (Instrument or SampleId), `linkCount` its range.
    bool Zones(const SSpan& bag, size_t nBag, const SSpan& gen, size_t nGen, const SSpan& mod,
               size_t nMod, size_t first, size_t last, int linkGen, size_t linkCount, SZone& global,
               std::vector<SZone>& zones, std::string& why) {
        if (first > last || last >= nBag) {
            why = "bag index out of range";
            return false;
        }
        for (size_t z = first; z < last; ++z) {
            const size_t g0 = Rd16(bag.p + z * 4), g1 = Rd16(bag.p + (z + 1) * 4);
            const size_t m0 = Rd16(bag.p + z * 4 + 2), m1 = Rd16(bag.p + (z + 1) * 4 + 2);
            if (g0 > g1 || g1 > nGen || m0 > m1 || m1 > nMod) {
                why = "generator or modulator index out of range";
                return false;
            }
            SZone zone;
            for (size_t g = g0; g < g1; ++g) {
                const uint8_t* r = gen.p + g * 4;
                const uint16_t op = Rd16(r);
                if (op == linkGen) {
                    zone.link = Rd16(r + 2);
                    break; // generators after the terminal one are ignored
                }
                if (op == KeyRange) {
                    zone.keyLo = std::min<uint8_t>(r[2], 127);
                    zone.keyHi = std::min<uint8_t>(r[3], 127);
                } else if (op == VelRange) {
                    zone.velLo = std::min<uint8_t>(r[2], 127);
                    zone.velHi = std::min<uint8_t>(r[3], 127);
                } else if (op < GenCount && op != Instrument && op != SampleId && op != Pitch) {
                    zone.gen[op] = static_cast<int16_t>(Rd16(r + 2));
                    zone.set |= uint64_t{1} << op;
                }
            }
            for (size_t m = m0; m < m1; ++m) {
                const uint8_t* r = mod.p + m * 10;
                SModulator mo{Rd16(r), Rd16(r + 2), static_cast<int16_t>(Rd16(r + 4)), Rd16(r + 6),
                              Rd16(r + 8)};
                // A later duplicate of the same modulator replaces nothing: the first wins.
                bool dup = false;
                for (const SModulator& e : zone.mods)
                    dup = dup || e.SameAs(mo);
                if (!dup && zone.mods.size() < 64)
                    zone.mods.push_back(mo);
            }
            if (zone.link < 0) {
                if (z == first) {
                    zone.link = -1;
                    global = std::move(zone);
                }
                continue; // a non-first zone without its terminal generator is ignored
            }
            if (static_cast<size_t>(zone.link) >= linkCount)
                continue;
            zones.push_back(std::move(zone));
        }
        return true;
    }

    bool Instruments(std::string& why) {
        model.instruments.resize(nInst - 1);
        for (size_t i = 0; i + 1 < nInst; ++i) {
            const uint8_t* r = hy.inst.p + i * 22;
            SInstrument& in = model.instruments[i];
            in.name = ZStr(r, 20);
            const size_t b0 = Rd16(r + 20), b1 = Rd16(r + 22 + 20);
            if (!Zones(hy.ibag, nIbag, hy.igen, nIgen, hy.imod, nImod, b0, b1, SampleId,
                       model.samples.size(), in.global, in.zones, why))
                return false;
        }
        return true;
    }

    bool Presets(std::string& why) {
        model.presets.resize(nPhdr - 1);
        for (size_t i = 0; i + 1 < nPhdr; ++i) {
            const uint8_t* r = hy.phdr.p + i * 38;
            SPreset& p = model.presets[i];
            p.name = ZStr(r, 20);
            p.preset = Rd16(r + 20);
            p.bank = Rd16(r + 22);
            const size_t b0 = Rd16(r + 24), b1 = Rd16(r + 38 + 24);
            if (!Zones(hy.pbag, nPbag, hy.pgen, nPgen, hy.pmod, nPmod, b0, b1, Instrument,
                       model.instruments.size(), p.global, p.zones, why))
                return false;
        }
        return true;
    }
};

} // namespace

EError CSf2Parser::Parse(const uint8_t* data, size_t size, SModel& out, std::string* why) {
    std::string reason;
    auto fail = [&](const char* text) {
        reason = text;
        if (why)
            *why = reason;
        return EError::FileForm;
    };
    if (data == nullptr || size < 12 || !Is(data, "RIFF") || !Is(data + 8, "sfbk"))
        return fail("not a RIFF sfbk file");
    // Some writers get the RIFF size wrong; trust the file length when it is shorter.
    size_t riffLen = std::min<size_t>(Rd32(data + 4), size - 8);
    if (riffLen < 4)
        return fail("empty RIFF");

    SModel model;
    SHydra hy;
    bool haveSdta = false, havePdta = false;
    CChunkWalker top({data + 12, riffLen - 4});
    const uint8_t* id = nullptr;
    SSpan body;
    while (top.Next(id, body)) {
        if (!Is(id, "LIST") || body.n < 4)
            continue;
        SSpan inner{body.p + 4, body.n - 4};
        CChunkWalker sub(inner);
        SSpan c;
        if (Is(body.p, "INFO")) {
            while (sub.Next(id, c)) {
                if (Is(id, "ifil") && c.n >= 4) {
                    model.info.versionMajor = Rd16(c.p);
                    model.info.versionMinor = Rd16(c.p + 2);
                } else if (Is(id, "INAM")) {
                    model.info.name = ZStr(c.p, std::min<size_t>(c.n, 256));
                } else if (Is(id, "ICOP")) {
                    model.info.copyright = ZStr(c.p, std::min<size_t>(c.n, 256));
                } else if (Is(id, "ICMT")) {
                    model.info.comment = ZStr(c.p, std::min<size_t>(c.n, 65536));
                }
            }
        } else if (Is(body.p, "sdta")) {
            haveSdta = true;
            SSpan smpl, sm24;
            while (sub.Next(id, c)) {
                if (Is(id, "smpl"))
                    smpl = c;
                else if (Is(id, "sm24"))
                    sm24 = c;
            }
            if (smpl.p != nullptr) {
                model.smplOffset = static_cast<uint64_t>(smpl.p - data);
                model.smplFrames = static_cast<uint32_t>(std::min<size_t>(smpl.n / 2, UINT32_MAX));
                model.smplBytes = smpl.n;
                if (sm24.p != nullptr && sm24.n >= model.smplFrames)
                    model.sm24Offset = static_cast<uint64_t>(sm24.p - data);
            }
        } else if (Is(body.p, "pdta")) {
            havePdta = true;
            while (sub.Next(id, c)) {
                SSpan* slot = Is(id, "phdr")   ? &hy.phdr
                              : Is(id, "pbag") ? &hy.pbag
                              : Is(id, "pmod") ? &hy.pmod
                              : Is(id, "pgen") ? &hy.pgen
                              : Is(id, "inst") ? &hy.inst
                              : Is(id, "ibag") ? &hy.ibag
                              : Is(id, "imod") ? &hy.imod
                              : Is(id, "igen") ? &hy.igen
                              : Is(id, "shdr") ? &hy.shdr
                                               : nullptr;
                if (slot != nullptr) {
                    *slot = c;
                    if (slot->p == nullptr || c.n == 0)
                        slot->p = c.p; // an empty chunk is present but has no records
                }
            }
            if (!sub.ok)
                return fail("pdta chunk overruns its list");
        }
    }
    if (!top.ok)
        return fail("chunk overruns the file");
    if (model.info.versionMajor > 3)
        return fail("unknown SoundFont version");
    if (!haveSdta || !havePdta)
        return fail("sdta or pdta list missing");
    CBuilder builder(hy, model);
    if (!builder.Build(reason)) {
        if (why)
            *why = reason;
        return EError::FileForm;
    }
    out = std::move(model);
    return EError::Ok;
}

} // namespace hml::audio::sf2
