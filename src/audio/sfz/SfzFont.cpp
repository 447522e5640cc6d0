#include "audio/sf2/CSoundFont.h"
#include "audio/sfz/SfzInstrument.h"

namespace hml::audio {

std::shared_ptr<CSoundFont> CSoundFont::OpenSfz(const std::filesystem::path& path, uint32_t flags,
                                                EError& error, std::string* why) {
    auto built = std::make_shared<sfz::SInstrument>();
    error = sfz::LoadInstrument(path, *built, why);
    if (error != EError::Ok)
        return nullptr;
    std::shared_ptr<CSoundFont> font(new CSoundFont());
    font->model = std::move(built->model);
    for (const sf2::SSample& s : font->model.samples)
        font->model.smplFrames += s.dataFrames; // for the reported size only
    font->instrument = true;
    font->regions = static_cast<uint32_t>(built->regions);
    font->unknownOpcodes = built->unknownOpcodes;
    font->sampleFiles = std::move(built); // keeps the decoded samples alive
    return Index(std::move(font), flags);
}

} // namespace hml::audio
