// The service's answer and the texts read back from the configuration come from outside: none
// may crash the reader or slip a control character through.

#include "update/ProductVersion.h"
#include "update/UpdateAnswer.h"
#include "update/UpdateSchedule.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace hml::update;

namespace {

void MustBeClean(const std::optional<std::wstring>& value) {
    if (!value) {
        return;
    }
    for (wchar_t c : *value) {
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
            std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    hml::update::CServiceAnswer answer = hml::update::ParseAnswer(bytes);
    MustBeClean(answer.lastVersion);
    MustBeClean(answer.updateUrl);

    std::wstring text(bytes.begin(), bytes.end());
    ProductVersion version = ProductVersion::Parse(text);
    if (version.major < 0 || version.minor < 0 || version.build < 0 || version.revision < 0 ||
        !(ProductVersion::Parse(version.Format()) == version)) {
        std::abort();
    }
    hml::update::DaysSince(text, {2026, 12, 6, 12});
    return 0;
}
