#pragma once
// The exchange with the update service that needs no network: the request address, the reading
// of the service's answer and what a check stores and concludes from it.

#include "update/ProductVersion.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hml::config {
class CSettings;
} // namespace hml::config

namespace hml::update {

// The outcome of one check, as callbacks receive it.
enum class CheckResult : std::uint32_t {
    UpToDate = 0,
    UpdateAvailable = 10,
    CheckFailed = 255,
};

// "<endpoint>?swname=<software id>&curver=<version>".
std::wstring RequestUrl(const std::wstring& endpoint, const std::wstring& softwareId,
                        const ProductVersion& currentVersion);

// A received value as it may be stored: one carriage return at its end (a CR LF line end) is
// dropped; any other control character refuses the whole value, so the service can never put a
// line break or other control text into the configuration file.
std::optional<std::wstring> AcceptValue(std::string_view raw);

// The two keys the service answers with; a key that the answer lacks (or whose every value was
// refused) has no value.
struct CServiceAnswer {
    std::optional<std::wstring> lastVersion;
    std::optional<std::wstring> updateUrl;
};

// Lines split at LF, each "key=value" split at its first "="; keys compare without regard to case
// and a later line with the same key wins. Lines without a key (none or a leading "=") are skipped.
CServiceAnswer ParseAnswer(std::string_view body);

// Stores what the answer holds as "LastVersionFound" and "LastVersionURL" and decides the result:
// a check that leaves either of them empty fails; otherwise "LastCheck" becomes today.
CheckResult StoreAnswer(config::CSettings& store, std::string_view body,
                        const ProductVersion& currentVersion, const std::wstring& today);

} // namespace hml::update
