#include "support/CSf2Writer.h"

#include "support/LittleEndian.h"

#include <cmath>
#include <fstream>

namespace hml::test {
namespace {

void PutName(std::vector<uint8_t>& b, const std::string& s) {
    for (size_t i = 0; i < 20; ++i)
        b.push_back(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
}
void Chunk(std::vector<uint8_t>& out, const char* id, const std::vector<uint8_t>& body) {
    out.insert(out.end(), id, id + 4);
    Put32(out, static_cast<uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() & 1)
        out.push_back(0);
}
std::vector<uint8_t> List(const char* type, const std::vector<uint8_t>& chunks) {
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), chunks.begin(), chunks.end());
    std::vector<uint8_t> out;
    Chunk(out, "LIST", body);
    return out;
}
std::vector<uint8_t> Text(const std::string& s) {
    std::vector<uint8_t> v(s.begin(), s.end());
    v.push_back(0);
    if (v.size() & 1)
        v.push_back(0);
    return v;
}

} // namespace

int CSf2Writer::AddSample(const std::string& name, const std::vector<int16_t>& data, uint32_t rate,
                          int rootKey, uint32_t loopStart, uint32_t loopEnd, int correction,
                          uint16_t type, uint16_t link) {
    samples.push_back({name, data, {}, rate, rootKey, correction, loopStart, loopEnd, type, link});
    return static_cast<int>(samples.size()) - 1;
}

int CSf2Writer::AddOggSample(const std::string& name, const std::vector<uint8_t>& ogg,
                             uint32_t rate, int rootKey, uint32_t loopStart, uint32_t loopEnd,
                             uint16_t type, uint16_t link) {
    samples.push_back({name, {}, {}, rate, rootKey, 0, loopStart, loopEnd, type, link});
    samples.back().ogg = ogg;
    return static_cast<int>(samples.size()) - 1;
}

void CSf2Writer::SetLowBytes(int sample, const std::vector<uint8_t>& low) {
    samples[static_cast<size_t>(sample)].low = low;
}

int CSf2Writer::AddInstrument(const std::string& name, const SZoneDef& global,
                              const std::vector<SZoneDef>& zones) {
    instruments.push_back({name, 0, 0, global, zones});
    return static_cast<int>(instruments.size()) - 1;
}

int CSf2Writer::AddPreset(const std::string& name, int preset, int bank, const SZoneDef& global,
                          const std::vector<SZoneDef>& zones) {
    presets.push_back({name, preset, bank, global, zones});
    return static_cast<int>(presets.size()) - 1;
}

void CSf2Writer::SetInfo(const std::string& name, const std::string& copyright,
                         const std::string& comment) {
    infoName = name;
    infoCopyright = copyright;
    infoComment = comment;
}

std::vector<uint8_t> CSf2Writer::Build() const {
    std::vector<uint8_t> info;
    bool anyOgg = false;
    for (const SSampleRec& s : samples)
        anyOgg = anyOgg || !s.ogg.empty();
    Chunk(info, "ifil",
          {static_cast<uint8_t>(anyOgg ? 3 : 2), 0, static_cast<uint8_t>(anyOgg ? 1 : 4), 0});
    Chunk(info, "isng", Text("EMU8000"));
    Chunk(info, "INAM", Text(infoName));
    if (!infoCopyright.empty())
        Chunk(info, "ICOP", Text(infoCopyright));
    if (!infoComment.empty())
        Chunk(info, "ICMT", Text(infoComment));

    // Sample data, each sample followed by 46 zero frames as the format asks.
    std::vector<uint8_t> smpl, sm24, shdr;
    bool any24 = false;
    for (const SSampleRec& s : samples)
        any24 = any24 || !s.low.empty();
    uint32_t at = 0;
    std::vector<uint32_t> starts;
    for (const SSampleRec& s : samples) {
        if (!s.ogg.empty()) {
            // SF3: the stream's byte offset, padded so that PCM samples stay 16-bit aligned.
            starts.push_back(at * 2);
            smpl.insert(smpl.end(), s.ogg.begin(), s.ogg.end());
            smpl.resize(smpl.size() + (s.ogg.size() & 1));
            sm24.resize(sm24.size() + (s.ogg.size() + 1) / 2);
            at += static_cast<uint32_t>((s.ogg.size() + 1) / 2);
            continue;
        }
        starts.push_back(at);
        for (size_t i = 0; i < s.data.size() + 46; ++i) {
            const int16_t v = i < s.data.size() ? s.data[i] : 0;
            Put16(smpl, static_cast<uint16_t>(v));
            sm24.push_back(i < s.low.size() ? s.low[i] : 0);
        }
        at += static_cast<uint32_t>(s.data.size() + 46);
    }
    for (size_t i = 0; i < samples.size(); ++i) {
        const SSampleRec& s = samples[i];
        PutName(shdr, s.name);
        Put32(shdr, starts[i]);
        if (!s.ogg.empty()) { // loops relative to the decoded sample
            Put32(shdr, starts[i] + static_cast<uint32_t>(s.ogg.size()));
            Put32(shdr, s.loopStart);
            Put32(shdr, s.loopEnd);
        } else {
            Put32(shdr, starts[i] + static_cast<uint32_t>(s.data.size()));
            Put32(shdr, starts[i] + s.loopStart);
            Put32(shdr, starts[i] + s.loopEnd);
        }
        Put32(shdr, s.rate);
        shdr.push_back(static_cast<uint8_t>(s.root));
        shdr.push_back(static_cast<uint8_t>(static_cast<int8_t>(s.corr)));
        Put16(shdr, s.link);
        Put16(shdr, s.type);
    }
    PutName(shdr, "EOS");
    shdr.resize(shdr.size() + 26, 0);
    std::vector<uint8_t> sdta;
    Chunk(sdta, "smpl", smpl);
    if (any24)
        Chunk(sdta, "sm24", sm24);

    // Hydra: items with their bags, generators and modulators.
    auto hydra = [](const std::vector<SItem>& items, bool isPreset, uint16_t linkGen,
                    std::vector<uint8_t>& hdr, std::vector<uint8_t>& bag, std::vector<uint8_t>& mod,
                    std::vector<uint8_t>& gen) {
        uint32_t nBag = 0, nGen = 0, nMod = 0;
        auto zone = [&](const SZoneDef& z) {
            Put16(bag, nGen);
            Put16(bag, nMod);
            ++nBag;
            // keyRange and velRange must come first.
            for (int pass = 0; pass < 2; ++pass)
                for (const SGenDef& g : z.gens) {
                    const bool range = g.op == 43 || g.op == 44;
                    if (range == (pass == 0)) {
                        Put16(gen, g.op);
                        Put16(gen, g.raw);
                        ++nGen;
                    }
                }
            if (z.link >= 0) {
                Put16(gen, linkGen);
                Put16(gen, static_cast<uint32_t>(z.link));
                ++nGen;
            }
            for (const SModDef& m : z.mods) {
                Put16(mod, m.src);
                Put16(mod, m.dest);
                Put16(mod, static_cast<uint16_t>(m.amount));
                Put16(mod, m.amtSrc);
                Put16(mod, m.trans);
                ++nMod;
            }
        };
        for (const SItem& it : items) {
            PutName(hdr, it.name);
            if (isPreset) {
                Put16(hdr, static_cast<uint32_t>(it.preset));
                Put16(hdr, static_cast<uint32_t>(it.bank));
                Put16(hdr, nBag);
                Put32(hdr, 0);
                Put32(hdr, 0);
                Put32(hdr, 0);
            } else {
                Put16(hdr, nBag);
            }
            if (!it.global.gens.empty() || !it.global.mods.empty())
                zone(it.global);
            for (const SZoneDef& z : it.zones)
                zone(z);
        }
        PutName(hdr, isPreset ? "EOP" : "EOI");
        if (isPreset) {
            Put16(hdr, 0);
            Put16(hdr, 0);
            Put16(hdr, nBag);
            Put32(hdr, 0);
            Put32(hdr, 0);
            Put32(hdr, 0);
        } else {
            Put16(hdr, nBag);
        }
        Put16(bag, nGen);
        Put16(bag, nMod);
        mod.resize(mod.size() + 10, 0);
        gen.resize(gen.size() + 4, 0);
    };
    std::vector<uint8_t> phdr, pbag, pmod, pgen, inst, ibag, imod, igen;
    hydra(presets, true, 41, phdr, pbag, pmod, pgen);
    hydra(instruments, false, 53, inst, ibag, imod, igen);
    std::vector<uint8_t> pdta;
    Chunk(pdta, "phdr", phdr);
    Chunk(pdta, "pbag", pbag);
    Chunk(pdta, "pmod", pmod);
    Chunk(pdta, "pgen", pgen);
    Chunk(pdta, "inst", inst);
    Chunk(pdta, "ibag", ibag);
    Chunk(pdta, "imod", imod);
    Chunk(pdta, "igen", igen);
    Chunk(pdta, "shdr", shdr);

    std::vector<uint8_t> body = {'s', 'f', 'b', 'k'};
    for (const auto& l : {List("INFO", info), List("sdta", sdta), List("pdta", pdta)})
        body.insert(body.end(), l.begin(), l.end());
    std::vector<uint8_t> out;
    Chunk(out, "RIFF", body);
    return out;
}

void CSf2Writer::Write(const std::filesystem::path& path) const {
    const std::vector<uint8_t> bytes = Build();
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

CSf2Writer CSf2Writer::SinePresets(const std::vector<SSinePreset>& presets, int releaseTc) {
    CSf2Writer w;
    // 440 Hz with exactly 100 frames a cycle at 44 kHz; a loop of 50 cycles.
    const int sine = w.AddSample("sine", Sine(0.01, 8000), 44000, 69, 1000, 6000);
    for (const SSinePreset& p : presets) {
        const int inst = w.AddInstrument(
            "i", {},
            {{{Gen(54, 1), Gen(34, -12000), Gen(38, releaseTc), Gen(51, p.semitones)}, {}, sine}});
        w.AddPreset(std::to_string(p.semitones), p.program, p.bank, {}, {{{}, {}, inst}});
    }
    return w;
}

std::vector<int16_t> CSf2Writer::Sine(double cyclesPerFrame, size_t frames, double amplitude) {
    std::vector<int16_t> v(frames);
    for (size_t i = 0; i < frames; ++i)
        v[i] = static_cast<int16_t>(std::lrint(
            32767.0 * amplitude *
            std::sin(2 * 3.14159265358979323846 * cyclesPerFrame * static_cast<double>(i))));
    return v;
}

std::vector<int16_t> CSf2Writer::Saw(int period, size_t frames, double amplitude) {
    std::vector<int16_t> v(frames);
    for (size_t i = 0; i < frames; ++i) {
        const double ph = static_cast<double>(i % static_cast<size_t>(period)) / period;
        v[i] = static_cast<int16_t>(std::lrint(32767.0 * amplitude * (2 * ph - 1)));
    }
    return v;
}

} // namespace hml::test
