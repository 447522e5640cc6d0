#pragma once
// Access to INI-style files, shaped after the Windows private-profile functions that the Windows
// build uses for every read and write of the configuration and the files the user exports.

#include <cstdint>
#include <optional>
#include <string>

namespace hml::config {

class IProfileStore {
public:
    virtual ~IProfileStore() = default;

    // The integer under section/key, or def when missing. Text such as "-1" reads as its unsigned
    // 32-bit pattern; text that does not start with a number reads as 0.
    virtual std::uint32_t ReadInt(const std::wstring& section, const std::wstring& key,
                                  std::int32_t def, const std::wstring& file) = 0;

    // The string under section/key, or def when missing, cut to capacity - 1 characters as a
    // buffer of capacity characters would hold it.
    virtual std::wstring ReadString(const std::wstring& section, const std::wstring& key,
                                    const std::wstring& def, std::size_t capacity,
                                    const std::wstring& file) = 0;

    // Writes value under section/key; no value removes the key. A value is stored only up to its
    // first line break, so no value can ever add a key or a section to the file.
    virtual bool WriteString(const std::wstring& section, const std::wstring& key,
                             const std::wstring* value, const std::wstring& file) = 0;

    // Removes a whole section.
    virtual bool RemoveSection(const std::wstring& section, const std::wstring& file) = 0;

    // Size of a file in bytes, or nothing when it cannot be examined.
    virtual std::optional<std::uint64_t> FileSize(const std::wstring& path) = 0;
};

} // namespace hml::config
