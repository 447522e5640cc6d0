#pragma once
// The profile store of the Windows build: the private-profile functions on real files.

#include "config/ProfileStore.h"

namespace hml::config {

class CWin32ProfileStore final : public IProfileStore {
public:
    std::uint32_t ReadInt(const std::wstring& section, const std::wstring& key, std::int32_t def,
                          const std::wstring& file) override;
    std::wstring ReadString(const std::wstring& section, const std::wstring& key,
                            const std::wstring& def, std::size_t capacity,
                            const std::wstring& file) override;
    bool WriteString(const std::wstring& section, const std::wstring& key,
                     const std::wstring* value, const std::wstring& file) override;
    bool RemoveSection(const std::wstring& section, const std::wstring& file) override;
    std::optional<std::uint64_t> FileSize(const std::wstring& path) override;
};

} // namespace hml::config
