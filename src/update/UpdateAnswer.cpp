#include "update/UpdateAnswer.h"

#include "config/Settings.h"

namespace hml::update {

using namespace hml::config;

namespace {

bool IsControl(unsigned char byte) {
    // C0, DEL and, since every byte becomes one UTF-16 unit, the C1 range as well.
    return byte < 0x20 || (byte >= 0x7F && byte <= 0x9F);
}

std::string LowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

} // namespace

std::wstring RequestUrl(const std::wstring& endpoint, const std::wstring& softwareId,
                        const ProductVersion& currentVersion) {
    return endpoint + L"?swname=" + softwareId + L"&curver=" + currentVersion.Format();
}

std::optional<std::wstring> AcceptValue(std::string_view raw) {
    if (!raw.empty() && raw.back() == '\r') {
        raw.remove_suffix(1);
    }
    std::wstring value;
    value.reserve(raw.size());
    for (char c : raw) {
        auto byte = static_cast<unsigned char>(c);
        if (IsControl(byte)) {
            return std::nullopt;
        }
        value.push_back(static_cast<wchar_t>(byte));
    }
    return value;
}

CServiceAnswer ParseAnswer(std::string_view body) {
    CServiceAnswer answer;
    while (!body.empty()) {
        std::size_t end = body.find('\n');
        std::string_view line = body.substr(0, end);
        body = end == std::string_view::npos ? std::string_view{} : body.substr(end + 1);

        std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || equals == 0) {
            continue;
        }
        std::string key = LowerAscii(line.substr(0, equals));
        std::optional<std::wstring>* target = key == "lastversion" ? &answer.lastVersion
                                              : key == "updateurl" ? &answer.updateUrl
                                                                   : nullptr;
        if (!target) {
            continue;
        }
        if (auto value = AcceptValue(line.substr(equals + 1))) {
            *target = std::move(value);
        }
    }
    return answer;
}

CheckResult StoreAnswer(config::CSettings& store, std::string_view body,
                        const ProductVersion& currentVersion, const std::wstring& today) {
    CServiceAnswer answer = ParseAnswer(body);
    if (answer.lastVersion) {
        store.lastVersionFound.Set(*answer.lastVersion);
    }
    if (answer.updateUrl) {
        store.lastVersionURL.Set(*answer.updateUrl);
    }
    // A key this answer lacks keeps what an earlier check stored.
    std::wstring found = store.lastVersionFound.Get();
    if (found.empty() || store.lastVersionURL.Get().empty()) {
        return CheckResult::CheckFailed;
    }
    store.lastCheck.Set(today);
    return ProductVersion::Parse(found).IsNewerThan(currentVersion) ? CheckResult::UpdateAvailable
                                                                    : CheckResult::UpToDate;
}

} // namespace hml::update
