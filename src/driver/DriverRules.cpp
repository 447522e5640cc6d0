#include "driver/DriverRules.h"

#include "configurator/Blacklist.h"

namespace hml::driver {

bool IsBlacklisted(const std::wstring& stored, const std::wstring& exePath) {
    const std::size_t slash = exePath.find_last_of(L"\\/");
    const std::wstring name = configurator::NormaliseBlacklist(
        exePath.substr(slash == std::wstring::npos ? 0 : slash + 1));
    if (name.empty()) {
        return false;
    }
    const std::wstring list =
        L";" + configurator::BlacklistToStored(configurator::BlacklistToEdited(stored)) + L";";
    return list.find(L";" + name + L";") != std::wstring::npos;
}

std::uint32_t PortCount(std::uint32_t devicesCount) {
    return devicesCount < 1 ? 1 : devicesCount > kMaxPorts ? kMaxPorts : devicesCount;
}

std::wstring PortName(std::uint32_t port) {
    return L"Harmolith #" + std::to_wstring(port + 1);
}

} // namespace hml::driver
