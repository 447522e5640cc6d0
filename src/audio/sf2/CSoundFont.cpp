#include "audio/sf2/CSoundFont.h"

#include "audio/sf2/CSf2Parser.h"
#include "audio/sf2/Sf3Samples.h"
#include "base/Utf8.h"

#include <algorithm>

namespace hml::audio {

using namespace hml::base;

std::shared_ptr<CSoundFont> CSoundFont::Open(const std::filesystem::path& path, uint32_t flags,
                                             EError& error) {
    std::string ext = base::Utf8(path.extension());
    for (char& c : ext)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (ext == ".sfz")
        return OpenSfz(path, flags, error);
    std::shared_ptr<CSoundFont> font(new CSoundFont());
    font->file = CMappedFile::Open(path, error);
    if (!font->file)
        return nullptr;
    font->bytes = font->file->Data();
    font->size = font->file->Size();
    return Finish(std::move(font), flags, error);
}

std::shared_ptr<CSoundFont> CSoundFont::Open(const std::string& utf8Path, uint32_t flags,
                                             EError& error) {
    return Open(base::PathFromUtf8(utf8Path), flags, error);
}

std::shared_ptr<CSoundFont> CSoundFont::Open(const std::wstring& path, uint32_t flags,
                                             EError& error) {
#ifdef _WIN32
    return Open(std::filesystem::path(path), flags, error);
#else
    // Wide paths are UTF-32 here; encode them as UTF-8 without depending on the locale.
    return Open(base::Utf8FromWide(path), flags, error);
#endif
}

std::shared_ptr<CSoundFont> CSoundFont::OpenMemory(std::vector<uint8_t> data, uint32_t flags,
                                                   EError& error) {
    std::shared_ptr<CSoundFont> font(new CSoundFont());
    font->memory = std::move(data);
    font->bytes = font->memory.data();
    font->size = font->memory.size();
    return Finish(std::move(font), flags, error);
}

std::shared_ptr<CSoundFont> CSoundFont::Finish(std::shared_ptr<CSoundFont> font, uint32_t flags,
                                               EError& error) {
    error = sf2::CSf2Parser::Parse(font->bytes, font->size, font->model);
    if (error != EError::Ok)
        return nullptr;
    font->samples16 = font->bytes + font->model.smplOffset;
    if (sf2::HasCompressedSamples(font->model)) {
        std::string why;
        if (!sf2::DecodeCompressedSamples(font->bytes, font->model, font->decoded, why)) {
            error = EError::FileForm;
            return nullptr;
        }
        font->samples16 = reinterpret_cast<const uint8_t*>(font->decoded.data());
        font->compressed = true;
        font->file.reset();
        font->memory = {};
        font->bytes = nullptr;
        font->size = 0;
    }
    return Index(std::move(font), flags);
}

std::shared_ptr<CSoundFont> CSoundFont::Index(std::shared_ptr<CSoundFont> font, uint32_t flags) {
    font->flags = flags;
    const auto& presets = font->model.presets;
    font->residency = std::make_unique<std::atomic<uint8_t>[]>(presets.size());
    for (size_t i = 0; i < presets.size(); ++i)
        font->residency[i].store(font->file ? NotLoaded : Loaded);
    if (font->file)
        font->loader = std::thread([f = font.get()] { f->LoaderMain(); });
    const size_t n = std::min<size_t>(presets.size(), 0xFFFF);
    font->presetKeys.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        if (presets[i].bank <= 0xFF && presets[i].preset <= 0xFF)
            font->presetKeys.push_back((uint32_t{presets[i].bank} << 8 | presets[i].preset) << 16 |
                                       static_cast<uint32_t>(i));
    }
    // Stable: with duplicates the first preset in the file wins.
    std::stable_sort(font->presetKeys.begin(), font->presetKeys.end(),
                     [](uint32_t a, uint32_t b) { return (a >> 16) < (b >> 16); });
    return font;
}

const sf2::SPreset* CSoundFont::FindPreset(int bank, int preset) const {
    if (bank < 0 || bank > 0xFF || preset < 0 || preset > 0xFF)
        return nullptr;
    const uint32_t want = static_cast<uint32_t>(bank << 8 | preset);
    auto it = std::lower_bound(presetKeys.begin(), presetKeys.end(), want,
                               [](uint32_t k, uint32_t w) { return (k >> 16) < w; });
    if (it == presetKeys.end() || (*it >> 16) != want)
        return nullptr;
    return &model.presets[*it & 0xFFFF];
}

template <class F> bool CSoundFont::ForPresets(int preset, int bank, F&& f) const {
    bool any = false;
    for (const sf2::SPreset& p : model.presets) {
        if ((preset < 0 || p.preset == preset) && (bank < 0 || p.bank == bank)) {
            f(p);
            any = true;
        }
    }
    return any;
}

CSoundFont::~CSoundFont() {
    if (loader.joinable()) {
        {
            std::lock_guard<std::mutex> guard(wakeLock);
            stopLoader = true;
        }
        wake.notify_one();
        loader.join();
    }
}

void CSoundFont::Touch(const sf2::SPreset& p) const {
    volatile uint8_t sink = 0;
    const uint8_t* base = Samples16();
    const uint8_t* lo = Samples24();
    for (const sf2::SZone& pz : p.zones) {
        for (const sf2::SZone& iz : model.instruments[static_cast<size_t>(pz.link)].zones) {
            const sf2::SSample& s = model.samples[static_cast<size_t>(iz.link)];
            if (s.data16 != nullptr)
                continue; // decoded into memory at load
            for (uint64_t b = uint64_t{s.start} * 2; b < uint64_t{s.end} * 2; b += 2048)
                sink = static_cast<uint8_t>(sink + base[b]);
            if (lo != nullptr)
                for (uint64_t b = s.start; b < s.end; b += 2048)
                    sink = static_cast<uint8_t>(sink + lo[b]);
        }
    }
    (void)sink;
}

void CSoundFont::RequestPreset(const sf2::SPreset* preset) const {
    if (preset == nullptr || !loader.joinable())
        return;
    const size_t i = static_cast<size_t>(preset - model.presets.data());
    uint8_t expected = NotLoaded;
    if (residency[i].compare_exchange_strong(expected, Wanted)) {
        pending.store(true);
        wake.notify_one(); // the loader also polls, so a missed wake-up only delays it
    }
}

void CSoundFont::LoaderMain() {
    std::unique_lock<std::mutex> guard(wakeLock);
    while (!stopLoader) {
        wake.wait_for(guard, std::chrono::milliseconds(50),
                      [this] { return stopLoader.load() || pending.load(); });
        if (!pending.exchange(false))
            continue;
        guard.unlock();
        for (size_t i = 0; i < model.presets.size() && !stopLoader; ++i) {
            if (residency[i].load() == Wanted) {
                Touch(model.presets[i]);
                residency[i].store(Loaded);
            }
        }
        guard.lock();
    }
}

bool CSoundFont::IsPresetLoaded(int preset, int bank) const {
    const sf2::SPreset* p = FindPreset(bank, preset);
    return p != nullptr &&
           residency[static_cast<size_t>(p - model.presets.data())].load() == Loaded;
}

EError CSoundFont::Load(int preset, int bank) {
    const bool any = ForPresets(preset, bank, [&](const sf2::SPreset& p) {
        Touch(p);
        residency[static_cast<size_t>(&p - model.presets.data())].store(Loaded);
    });
    return any ? EError::Ok : EError::NotAvail;
}

EError CSoundFont::Unload(int preset, int bank) {
    // The pages stay mapped; the system may drop them, and the next use asks for them again.
    const bool any = ForPresets(preset, bank, [&](const sf2::SPreset& p) {
        if (file)
            residency[static_cast<size_t>(&p - model.presets.data())].store(NotLoaded);
    });
    return any ? EError::Ok : EError::NotAvail;
}

SFontInfo CSoundFont::GetInfo() const {
    SFontInfo info;
    info.name = model.info.name;
    info.copyright = model.info.copyright;
    info.comment = model.info.comment;
    const uint64_t bytesUsed =
        uint64_t{model.smplFrames} * (model.sm24Offset || instrument ? 3 : 2);
    info.sampleDataSize = static_cast<uint32_t>(std::min<uint64_t>(bytesUsed, UINT32_MAX));
    info.sampleType = compressed ? sf2::OggVorbisSample : 0;
    info.presetCount = static_cast<uint32_t>(model.presets.size());
    info.regionCount = regions;
    return info;
}

std::vector<uint32_t> CSoundFont::GetPresets() const {
    std::vector<uint32_t> out;
    out.reserve(model.presets.size());
    for (const sf2::SPreset& p : model.presets)
        out.push_back(uint32_t{p.bank} << 16 | p.preset);
    return out;
}

const char* CSoundFont::GetPresetName(int preset, int bank) const {
    const sf2::SPreset* p = FindPreset(bank, preset);
    if (p == nullptr) {
        for (const sf2::SPreset& q : model.presets)
            if (q.preset == preset && q.bank == bank)
                return q.name.c_str();
        return nullptr;
    }
    return p->name.c_str();
}

} // namespace hml::audio
