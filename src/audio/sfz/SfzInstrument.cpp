#include "audio/sfz/SfzInstrument.h"

#include "audio/decode/DecodedAudio.h"
#include "audio/dsp/LowPassFilter.h"
#include "base/Utf8.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>

namespace hml::audio::sfz {
namespace {

using namespace sf2;
namespace fs = std::filesystem;

constexpr uint64_t kMaxFileBytes = uint64_t{1} << 30;

std::optional<std::string> ReadWhole(const fs::path& file) {
    std::error_code ec;
    const uint64_t size = fs::file_size(file, ec);
    if (ec || size > kMaxFileBytes)
        return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string text(static_cast<size_t>(size), '\0');
    in.read(text.data(), static_cast<std::streamsize>(size));
    if (static_cast<uint64_t>(in.gcount()) != size)
        return std::nullopt;
    return text;
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// Instruments made on Windows name files in any case; find them on case-sensitive systems too.
fs::path FindIgnoringCase(const fs::path& path) {
    std::error_code ec;
    if (fs::exists(path, ec))
        return path;
    fs::path at = path.root_path();
    for (const fs::path& part : path.relative_path()) {
        fs::path next = at / part;
        if (!fs::exists(next, ec)) {
            const std::string want = Lower(base::Utf8(part));
            for (fs::directory_iterator it(at.empty() ? fs::path(".") : at, ec), end;
                 !ec && it != end; it.increment(ec)) {
                if (Lower(base::Utf8(it->path().filename())) == want) {
                    next = at / it->path().filename();
                    break;
                }
            }
        }
        at = next;
    }
    return at;
}

std::mutex cacheLock;
std::map<std::string, std::weak_ptr<const SSampleData>> cache;

double Number(const SRegion& r, std::string_view name, double fallback) {
    const std::string* v = r.Find(name);
    if (v == nullptr || v->empty())
        return fallback;
    char* end = nullptr;
    const double d = std::strtod(v->c_str(), &end);
    return end != v->c_str() && std::isfinite(d) ? d : fallback;
}

// A whole number; values past what any opcode means are clamped before they become an int.
int WholeNumber(const SRegion& r, std::string_view name, int fallback) {
    return static_cast<int>(std::clamp(Number(r, name, fallback), -1e9, 1e9));
}

int Note(const SRegion& r, std::string_view name, int fallback) {
    const std::string* v = r.Find(name);
    if (v == nullptr)
        return fallback;
    return ParseNote(*v).value_or(fallback);
}

int16_t Clamp16(double v) {
    return static_cast<int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
}

double Timecents(double seconds) {
    return seconds <= 0.001 ? -12000.0 : 1200.0 * std::log2(seconds);
}

double AbsCents(double hz) {
    return 1200.0 * std::log2(std::max(hz, 0.001) / 8.176);
}

void Set(SZone& z, int g, double value) {
    z.gen[g] = Clamp16(value);
    z.set |= uint64_t{1} << g;
}

// An offset in frames, as the fine and coarse generators pair.
void SetOffset(SZone& z, int fine, int coarse, int64_t frames) {
    const int64_t c = frames / 32768;
    Set(z, fine, static_cast<double>(frames - c * 32768));
    if (c != 0)
        Set(z, coarse, static_cast<double>(c));
}

void SetEnvelope(SZone& z, const SRegion& r, const std::string& prefix, bool volume) {
    const int base = volume ? DelayVolEnv : DelayModEnv;
    static constexpr const char* kStages[] = {"delay", "attack", "hold", "decay"};
    for (int i = 0; i < 4; ++i)
        if (const std::string* v = r.Find(prefix + kStages[i]); v != nullptr)
            Set(z, base + i, Timecents(Number(r, prefix + kStages[i], 0)));
    if (r.Find(prefix + "release") != nullptr)
        Set(z, base + 5, Timecents(Number(r, prefix + "release", 0)));
    if (r.Find(prefix + "sustain") != nullptr) {
        const double pct = std::clamp(Number(r, prefix + "sustain", 100), 0.0, 100.0);
        if (volume)
            Set(z, SustainVolEnv, pct <= 0 ? 1440.0 : 200.0 * std::log10(100.0 / pct));
        else
            Set(z, SustainModEnv, 1000.0 - pct * 10.0);
    }
}

bool AnyWithPrefix(const SRegion& r, std::string_view prefix) {
    for (const auto& o : r.opcodes)
        if (o.first.compare(0, prefix.size(), prefix) == 0)
            return true;
    return false;
}

// Source numbers of the modulators: note-on key and velocity, linear and unipolar.
constexpr uint16_t kSrcVelocity = 0x0002;
constexpr uint16_t kSrcKey = 0x0003;
constexpr uint16_t kSrcVelocityConcave = 0x0502;

void AddMod(SZone& z, uint16_t src, uint16_t dest, double amount) {
    z.mods.push_back({src, dest, Clamp16(amount), 0, 0});
}

// The controller number of "<prefix>_onccN" (or the older "<prefix>_ccN" and "<prefix>ccN"), or
// -1.
int ControllerOf(const std::string& name, std::string_view prefix) {
    if (name.compare(0, prefix.size(), prefix) != 0)
        return -1;
    std::string_view rest = std::string_view(name).substr(prefix.size());
    if (rest.compare(0, 5, "_oncc") == 0)
        rest.remove_prefix(5);
    else if (rest.compare(0, 3, "_cc") == 0)
        rest.remove_prefix(3);
    else if (rest.compare(0, 2, "cc") == 0)
        rest.remove_prefix(2);
    else
        return -1;
    if (rest.empty() || rest.size() > 3 ||
        !std::all_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return -1;
    const int cc = std::atoi(std::string(rest).c_str());
    return cc <= 127 ? cc : -1;
}

// Controllers that move a region's cutoff, volume, pan, pitch or resonance while it sounds:
// SF2 modulators from the controller (linear, 0 to 1) with the opcode's value at 127.
void AddControllerMods(const SRegion& r, SZone& z) {
    static constexpr struct {
        std::string_view prefix;
        uint16_t dest;
        double scale; // generator units per opcode unit (modulators add true centibels)
    } kTargets[] = {{"cutoff", InitialFilterFc, 1.0},
                    {"resonance", InitialFilterQ, 10.0},
                    {"volume", InitialAttenuation, -10.0},
                    {"gain", InitialAttenuation, -10.0},
                    {"pan", Pan, 5.0},
                    {"pitch", FineTune, 1.0},
                    {"tune", FineTune, 1.0}};
    for (const auto& o : r.opcodes) {
        for (const auto& t : kTargets) {
            const int cc = ControllerOf(o.first, t.prefix);
            if (cc < 0)
                continue;
            const double value = std::strtod(o.second.c_str(), nullptr);
            if (std::isfinite(value))
                AddMod(z, static_cast<uint16_t>(0x80 | cc), t.dest, value * t.scale);
        }
    }
}

// The generators and modulators SF2 shares with SFZ.
void MapRegion(const SRegion& r, const SSampleData& data, const SSample& smp, SZone& z) {
    const int center =
        r.Find("pitch_keycenter") != nullptr && Lower(*r.Find("pitch_keycenter")) == "sample"
            ? (data.rootKey >= 0 ? data.rootKey : 60)
            : Note(r, "pitch_keycenter", Note(r, "key", 60));
    Set(z, OverridingRootKey, std::clamp(center, 0, 127));
    if (r.Find("pitch_keytrack"))
        Set(z, ScaleTuning, Number(r, "pitch_keytrack", 100));
    if (r.Find("transpose"))
        Set(z, CoarseTune, Number(r, "transpose", 0));
    if (r.Find("tune") || r.Find("pitch"))
        Set(z, FineTune, Number(r, "tune", Number(r, "pitch", 0)));

    const int64_t frames = data.frames;
    const int64_t offset = std::clamp<int64_t>(std::llround(Number(r, "offset", 0)), 0, frames);
    if (offset != 0)
        SetOffset(z, StartAddrsOffset, StartAddrsCoarseOffset, offset);
    if (r.Find("end")) {
        const int64_t e = std::clamp<int64_t>(std::llround(Number(r, "end", 0)) + 1, 0, frames);
        SetOffset(z, EndAddrsOffset, EndAddrsCoarseOffset, e - frames);
    }
    std::string mode = data.hasLoop ? "loop_continuous" : "no_loop";
    if (const std::string* m = r.Find("loop_mode") ? r.Find("loop_mode") : r.Find("loopmode"))
        mode = *m;
    if (mode == "loop_continuous")
        Set(z, SampleModes, 1);
    else if (mode == "loop_sustain")
        Set(z, SampleModes, 3);
    for (auto [names, fine, coarse, base, last] :
         {std::tuple{std::pair{"loop_start", "loopstart"}, StartloopAddrsOffset,
                     StartloopAddrsCoarseOffset, smp.loopStart, 0},
          std::tuple{std::pair{"loop_end", "loopend"}, EndloopAddrsOffset, EndloopAddrsCoarseOffset,
                     smp.loopEnd, 1}}) {
        const char* name = r.Find(names.first) ? names.first : names.second;
        if (r.Find(name)) {
            const int64_t at =
                std::clamp<int64_t>(std::llround(Number(r, name, 0)) + last, 0, frames);
            SetOffset(z, fine, coarse, at - int64_t{base});
        }
    }

    // Our attenuation generator counts in the 0.4 dB steps fonts are voiced for.
    double attenCb = -Number(r, "volume", 0) * 25.0 - Number(r, "gain", 0) * 25.0;
    if (r.Find("amp_keytrack")) {
        const double perKey = Number(r, "amp_keytrack", 0);
        attenCb += perKey * 10.0 * Number(r, "amp_keycenter", 60) / 0.4;
        AddMod(z, kSrcKey, InitialAttenuation, -perKey * 10.0 * 128.0);
    }
    if (attenCb != 0)
        Set(z, InitialAttenuation, attenCb);
    if (r.Find("pan"))
        Set(z, Pan, Number(r, "pan", 0) * 5.0);
    if (AnyWithPrefix(r, "amp_velcurve_"))
        AddMod(z, kSrcVelocityConcave, InitialAttenuation, 0); // the region's curve replaces it
    else if (r.Find("amp_veltrack"))
        AddMod(z, kSrcVelocityConcave, InitialAttenuation,
               960.0 * Number(r, "amp_veltrack", 100) / 100.0);
    SetEnvelope(z, r, "ampeg_", true);

    if (r.Find("cutoff")) {
        double fc = AbsCents(Number(r, "cutoff", 20000));
        if (r.Find("fil_keytrack")) {
            const double perKey = Number(r, "fil_keytrack", 0);
            fc -= perKey * Number(r, "fil_keycenter", 60);
            AddMod(z, kSrcKey, InitialFilterFc, perKey * 128.0);
        }
        Set(z, InitialFilterFc, fc);
        if (r.Find("resonance"))
            Set(z, InitialFilterQ, Number(r, "resonance", 0) * 10.0);
        if (r.Find("fil_veltrack"))
            AddMod(z, kSrcVelocity, InitialFilterFc, Number(r, "fil_veltrack", 0));
    }
    // One modulation envelope serves filter and pitch: the filter's timing wins when both have
    // their own.
    const bool filEg = AnyWithPrefix(r, "fileg_");
    if (filEg || AnyWithPrefix(r, "pitcheg_"))
        SetEnvelope(z, r, filEg ? "fileg_" : "pitcheg_", false);
    if (r.Find("fileg_depth"))
        Set(z, ModEnvToFilterFc, Number(r, "fileg_depth", 0));
    if (r.Find("pitcheg_depth"))
        Set(z, ModEnvToPitch, Number(r, "pitcheg_depth", 0));
    // amplfo and fillfo share the modulation LFO; pitchlfo is the vibrato LFO.
    if (r.Find("amplfo_depth"))
        Set(z, ModLfoToVolume, Number(r, "amplfo_depth", 0) * 10.0);
    if (r.Find("fillfo_depth"))
        Set(z, ModLfoToFilterFc, Number(r, "fillfo_depth", 0));
    if (r.Find("amplfo_freq") || r.Find("fillfo_freq"))
        Set(z, FreqModLfo,
            AbsCents(Number(r, r.Find("amplfo_freq") ? "amplfo_freq" : "fillfo_freq", 0)));
    if (r.Find("amplfo_delay") || r.Find("fillfo_delay"))
        Set(z, DelayModLfo,
            Timecents(Number(r, r.Find("amplfo_delay") ? "amplfo_delay" : "fillfo_delay", 0)));
    if (r.Find("pitchlfo_depth"))
        Set(z, VibLfoToPitch, Number(r, "pitchlfo_depth", 0));
    if (r.Find("pitchlfo_freq"))
        Set(z, FreqVibLfo, AbsCents(Number(r, "pitchlfo_freq", 0)));
    if (r.Find("pitchlfo_delay"))
        Set(z, DelayVibLfo, Timecents(Number(r, "pitchlfo_delay", 0)));
    AddControllerMods(r, z);
    if (r.Find("effect1"))
        Set(z, ReverbEffectsSend, Number(r, "effect1", 0) * 10.0);
    if (r.Find("effect2"))
        Set(z, ChorusEffectsSend, Number(r, "effect2", 0) * 10.0);
}

// ampeg_start, and what velocity (*eg_vel2<stage>) and controllers (*eg_<stage>_onccN) add to
// the envelopes' stages. The filter and pitch envelopes share one modulation envelope; as for
// their times, the filter's additions win when both have some.
void AddEnvelopeMods(const SRegion& r, SRegionRule& rule) {
    rule.ampStart = static_cast<float>(std::clamp(Number(r, "ampeg_start", 0), 0.0, 100.0) / 100.0);
    static constexpr std::string_view kStages[] = {"delay", "attack",  "hold",
                                                   "decay", "sustain", "release"};
    const bool filterTimes = AnyWithPrefix(r, "fileg_");
    for (const auto& o : r.opcodes) {
        const std::string& name = o.first;
        std::string_view rest;
        SEnvelopeMod m;
        if (name.compare(0, 6, "ampeg_") == 0) {
            rest = std::string_view(name).substr(6);
        } else if (name.compare(0, 6, "fileg_") == 0 ||
                   (!filterTimes && name.compare(0, 8, "pitcheg_") == 0)) {
            rest = std::string_view(name).substr(name[0] == 'f' ? 6 : 8);
            m.amplitude = false;
        } else {
            continue;
        }
        const bool byVelocity = rest.compare(0, 4, "vel2") == 0;
        for (size_t stage = 0; stage < std::size(kStages); ++stage) {
            if (byVelocity ? rest.substr(4) == kStages[stage]
                           : ControllerOf(std::string(rest), kStages[stage]) >= 0) {
                m.stage = static_cast<SEnvelopeMod::EStage>(stage);
                m.cc = static_cast<int16_t>(
                    byVelocity ? -1 : ControllerOf(std::string(rest), kStages[stage]));
                m.amount = static_cast<float>(std::strtod(o.second.c_str(), nullptr));
                if (std::isfinite(m.amount) && m.amount != 0)
                    rule.envelopeMods.push_back(m);
                break;
            }
        }
    }
}

// What SF2 zones cannot say; nullopt when the region needs none of it.
std::optional<SRegionRule> MapRule(const SRegion& r) {
    SRegionRule rule;
    bool any = false;
    if (const std::string* t = r.Find("trigger")) {
        const std::string v = Lower(*t);
        rule.trigger = v == "release" || v == "release_key" ? TriggerRelease
                       : v == "first"                       ? TriggerFirst
                       : v == "legato"                      ? TriggerLegato
                                                            : TriggerAttack;
        any = any || rule.trigger != TriggerAttack;
    }
    const auto chan = [&](const char* n, int d) {
        return static_cast<uint8_t>(std::clamp(WholeNumber(r, n, d), 1, 16) - 1);
    };
    rule.chanLo = chan("lochan", 1);
    rule.chanHi = chan("hichan", 16);
    any = any || rule.chanLo != 0 || rule.chanHi != 15;
    const std::string* mode = r.Find("loop_mode") ? r.Find("loop_mode") : r.Find("loopmode");
    rule.oneShot = (mode != nullptr && *mode == "one_shot") || Number(r, "count", 0) >= 1;
    rule.group = static_cast<uint32_t>(std::clamp(Number(r, "group", 0), 0.0, 4e9));
    rule.offBy = static_cast<uint32_t>(std::clamp(Number(r, "off_by", 0), 0.0, 4e9));
    rule.offFast = !(r.Find("off_mode") && Lower(*r.Find("off_mode")) == "normal");
    rule.seqLength = static_cast<uint16_t>(std::clamp(Number(r, "seq_length", 1), 1.0, 100.0));
    rule.seqPosition = static_cast<uint16_t>(std::clamp(Number(r, "seq_position", 1), 1.0, 100.0));
    rule.randLo = static_cast<float>(Number(r, "lorand", 0));
    rule.randHi = static_cast<float>(Number(r, "hirand", 1));
    const auto key = [&](const char* n) {
        const int k = Note(r, n, -1);
        return static_cast<int8_t>(k >= 0 && k <= 127 ? k : -1);
    };
    rule.switchLast = key("sw_last");
    rule.switchDefault = key("sw_default");
    rule.switchLo = key("sw_lokey");
    rule.switchHi = key("sw_hikey");
    rule.polyphony = static_cast<uint16_t>(std::clamp(Number(r, "polyphony", 0), 0.0, 65535.0));
    rule.notePolyphony =
        static_cast<uint16_t>(std::clamp(Number(r, "note_polyphony", 0), 0.0, 65535.0));
    if (const std::string* f = r.Find("fil_type")) {
        const std::string v = Lower(*f);
        const EFilterShape shape = v == "hpf_2p"   ? EFilterShape::HighPass2
                                   : v == "bpf_2p" ? EFilterShape::BandPass2
                                   : v == "lpf_1p" ? EFilterShape::LowPass1
                                                   : EFilterShape::LowPass2;
        rule.filterShape = static_cast<uint8_t>(shape);
    }
    // amp_velcurve_N: gain points by velocity, straight lines between them; velocity 0 is
    // silent and 127 full unless the region says otherwise.
    std::map<int, float> curve;
    for (const auto& o : r.opcodes) {
        if (o.first.compare(0, 13, "amp_velcurve_") != 0 || o.first.size() == 13 ||
            !std::isdigit(static_cast<unsigned char>(o.first[13])))
            continue;
        const int v = std::atoi(o.first.c_str() + 13);
        const double gain = std::atof(o.second.c_str());
        if (v >= 0 && v <= 127 && std::isfinite(gain))
            curve[v] = static_cast<float>(std::clamp(gain, 0.0, 1.0));
    }
    if (!curve.empty()) {
        curve.emplace(0, 0.0f);
        curve.emplace(127, 1.0f);
        rule.velocityCurve.resize(128);
        auto upper = curve.begin();
        for (int v = 0; v < 128; ++v) {
            while (upper->first < v)
                ++upper;
            if (upper->first == v) {
                rule.velocityCurve[static_cast<size_t>(v)] = upper->second;
                continue;
            }
            const auto lower = std::prev(upper);
            const float t = static_cast<float>(v - lower->first) /
                            static_cast<float>(upper->first - lower->first);
            rule.velocityCurve[static_cast<size_t>(v)] =
                lower->second + t * (upper->second - lower->second);
        }
    }
    AddEnvelopeMods(r, rule);
    for (const auto& o : r.opcodes) {
        const bool lo = o.first.compare(0, 4, "locc") == 0;
        if (!lo && o.first.compare(0, 4, "hicc") != 0)
            continue;
        const int cc = std::atoi(o.first.c_str() + 4);
        if (cc < 0 || cc > 127 || !std::isdigit(static_cast<unsigned char>(o.first[4])))
            continue;
        auto it = std::find_if(rule.cc.begin(), rule.cc.end(),
                               [&](const SCcRange& c) { return c.cc == cc; });
        if (it == rule.cc.end()) {
            rule.cc.push_back({static_cast<uint8_t>(cc), 0, 127});
            it = rule.cc.end() - 1;
        }
        const int v = std::clamp(std::atoi(o.second.c_str()), 0, 127);
        (lo ? it->lo : it->hi) = static_cast<uint8_t>(v);
    }
    any = any || rule.oneShot || rule.group || rule.offBy || rule.seqLength > 1 ||
          rule.randLo > 0 || rule.randHi < 1 || rule.switchLast >= 0 || rule.switchLo >= 0 ||
          rule.polyphony || rule.notePolyphony || !rule.cc.empty() || rule.filterShape != 0 ||
          !rule.velocityCurve.empty() || rule.ampStart > 0 || !rule.envelopeMods.empty();
    if (!any)
        return std::nullopt;
    return rule;
}

} // namespace

PSampleData LoadSample(const fs::path& file, std::string& error) {
    const fs::path found = FindIgnoringCase(file);
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(found, ec);
#ifdef _WIN32
    // Names differing only in case are one file here.
    const std::string key = Lower(base::Utf8(ec ? found : canonical));
#else
    const std::string key = base::Utf8(ec ? found : canonical);
#endif
    {
        std::lock_guard<std::mutex> guard(cacheLock);
        if (auto it = cache.find(key); it != cache.end()) {
            if (PSampleData held = it->second.lock())
                return held;
        }
    }
    const std::optional<std::string> bytes = ReadWhole(found);
    if (!bytes) {
        error = "cannot read " + base::Utf8(file.filename());
        return nullptr;
    }
    decode::SDecodedAudio audio;
    if (!decode::DecodeAudio(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size(), audio,
                             error)) {
        error = base::Utf8(file.filename()) + ": " + error;
        return nullptr;
    }
    auto data = std::make_shared<SSampleData>();
    const size_t frames = audio.Frames();
    if (frames > UINT32_MAX / 2 || frames < 2) {
        error = base::Utf8(file.filename()) + ": no usable frames";
        return nullptr;
    }
    data->frames = static_cast<uint32_t>(frames);
    data->rate = audio.sampleRate;
    data->channels = audio.channels;
    uint8_t lowBits = 0;
    for (uint16_t c = 0; c < audio.channels; ++c) {
        data->pcm16[c].resize(frames * 2);
        data->low8[c].resize(frames);
        for (size_t i = 0; i < frames; ++i) {
            const float x = std::clamp(audio.samples[i * audio.channels + c], -1.0f, 1.0f);
            const int32_t v = std::clamp<int32_t>(static_cast<int32_t>(std::lround(x * 8388608.0)),
                                                  -8388608, 8388607);
            const uint16_t hi = static_cast<uint16_t>(static_cast<uint32_t>(v) >> 8);
            data->pcm16[c][2 * i] = static_cast<uint8_t>(hi);
            data->pcm16[c][2 * i + 1] = static_cast<uint8_t>(hi >> 8);
            data->low8[c][i] = static_cast<uint8_t>(v);
            lowBits |= static_cast<uint8_t>(v);
        }
    }
    // 16-bit files need no low bytes, and without them voices take the faster 16-bit path.
    if (lowBits == 0)
        for (auto& low : data->low8)
            std::vector<uint8_t>().swap(low);
    if (audio.loop) {
        data->hasLoop = true;
        data->loopStart = audio.loop->start;
        data->loopEnd = audio.loop->end;
    }
    if (audio.rootKey)
        data->rootKey = *audio.rootKey;
    std::lock_guard<std::mutex> guard(cacheLock);
    // Forget files no instrument holds any more, so the map does not grow without end.
    for (auto it = cache.begin(); it != cache.end();)
        it = it->second.expired() ? cache.erase(it) : std::next(it);
    cache[key] = data;
    return data;
}

EError BuildInstrument(const SParsed& parsed, const fs::path& dir, const std::string& name,
                       SInstrument& out, std::string* why, FLoadSample load) {
    out = {};
    out.unknownOpcodes = parsed.unknownOpcodes;
    SModel& m = out.model;
    m.info.name = name;
    m.instruments.resize(1);
    m.instruments[0].name = name;
    std::map<std::string, int> sampleIndex; // file -> first SSample of it
    std::string firstError;
    std::vector<const SSampleData*> owner; // per model sample
    for (const SRegion& r : parsed.regions) {
        if (r.sample.empty() || r.sample[0] == '*') {
            // Generated waveforms ("*sine") are not samples we can play.
            ++out.skippedRegions;
            continue;
        }
        int index = -1;
        if (auto it = sampleIndex.find(r.sample); it != sampleIndex.end()) {
            index = it->second;
        } else {
            std::string error;
            PSampleData data = load(dir / base::PathFromUtf8(r.sample), error);
            if (!data && firstError.empty())
                firstError = error;
            // Another spelling of a file already loaded (case, "./") is the same sample.
            auto same = std::find(owner.begin(), owner.end(), data.get());
            if (!data) {
                index = -1;
            } else if (same != owner.end()) {
                index = static_cast<int>(same - owner.begin());
            } else {
                index = static_cast<int>(m.samples.size());
                for (uint16_t c = 0; c < data->channels; ++c) {
                    SSample s;
                    s.name = base::Utf8(base::PathFromUtf8(r.sample).stem());
                    s.start = 0;
                    s.end = data->frames;
                    s.loopStart = data->hasLoop ? data->loopStart : 0;
                    s.loopEnd = data->hasLoop ? data->loopEnd : data->frames;
                    s.rate = data->rate;
                    s.rootKey = 60;
                    s.data16 = data->pcm16[c].data();
                    s.data24 = data->low8[c].empty() ? nullptr : data->low8[c].data();
                    s.dataFrames = data->frames;
                    if (data->channels == 2) {
                        s.type = c == 0 ? LeftSample : RightSample;
                        s.link = static_cast<uint16_t>(index + (c == 0 ? 1 : 0));
                    }
                    m.samples.push_back(std::move(s));
                    owner.push_back(data.get());
                }
                out.samples.push_back(std::move(data));
            }
            sampleIndex[r.sample] = index;
        }
        if (index < 0) {
            ++out.skippedRegions;
            continue;
        }
        const SSampleData& data = *owner[static_cast<size_t>(index)];
        SZone z;
        const int key = Note(r, "key", -1);
        const int lo = Note(r, "lokey", key >= 0 ? key : 0);
        const int hi = Note(r, "hikey", key >= 0 ? key : 127);
        const int vlo = WholeNumber(r, "lovel", 0);
        const int vhi = WholeNumber(r, "hivel", 127);
        if (lo > hi || hi < 0 || lo > 127 || vlo > vhi || vhi < 0 || vlo > 127) {
            ++out.skippedRegions; // a region no key or velocity reaches
            continue;
        }
        z.keyLo = static_cast<uint8_t>(std::clamp(lo, 0, 127));
        z.keyHi = static_cast<uint8_t>(std::clamp(hi, 0, 127));
        z.velLo = static_cast<uint8_t>(std::clamp(vlo, 0, 127));
        z.velHi = static_cast<uint8_t>(std::clamp(vhi, 0, 127));
        MapRegion(r, data, m.samples[static_cast<size_t>(index)], z);
        if (std::optional<SRegionRule> rule = MapRule(r)) {
            m.releaseTriggers = m.releaseTriggers || rule->trigger == TriggerRelease;
            if (rule->switchLo >= 0) {
                m.switchLo = std::min<int>(m.switchLo, rule->switchLo);
                m.switchHi = std::max<int>(m.switchHi, std::max(rule->switchLo, rule->switchHi));
            }
            z.rule = static_cast<int>(m.rules.size());
            m.rules.push_back(std::move(*rule));
        }
        z.link = index;
        sf2::SInstrument& inst = m.instruments[0];
        if (data.channels == 2) {
            // The two halves of a stereo file sit at the two sides of the region's pan.
            const double pan = z.Has(Pan) ? z.gen[Pan] : 0;
            SZone right = z;
            Set(z, Pan, std::clamp(pan - 500, -500.0, 500.0));
            Set(right, Pan, std::clamp(pan + 500, -500.0, 500.0));
            right.link = index + 1;
            inst.zones.push_back(std::move(z));
            inst.zones.push_back(std::move(right));
        } else {
            inst.zones.push_back(std::move(z));
        }
        ++out.regions;
    }
    if (out.regions == 0) {
        if (why)
            *why = firstError.empty() ? "the instrument has no region that plays" : firstError;
        return EError::FileForm;
    }
    SPreset preset;
    preset.name = name;
    SZone pz;
    pz.link = 0;
    preset.zones.push_back(std::move(pz));
    m.presets.push_back(std::move(preset));
    return EError::Ok;
}

EError LoadInstrument(const fs::path& file, SInstrument& out, std::string* why) {
    if (!ReadWhole(file)) {
        if (why)
            *why = "cannot read " + base::Utf8(file.filename());
        return EError::FileOpen;
    }
    CSfzParser parser([](const fs::path& p) { return ReadWhole(FindIgnoringCase(p)); });
    SParsed parsed;
    std::string error;
    if (!parser.Parse(file, parsed, error)) {
        if (why)
            *why = error;
        return EError::FileForm;
    }
    return BuildInstrument(parsed, file.parent_path(), base::Utf8(file.stem()), out, why);
}

} // namespace hml::audio::sfz
