#pragma once
// An in-memory profile store for tests of the portable configuration code: files are maps of
// sections and keys (case-insensitive, as the Windows functions treat them).

#include "config/ProfileStore.h"
#include "config/ProfileText.h"

#include <cwctype>
#include <map>

using namespace hml::config;

class CMemoryProfileStore final : public IProfileStore {
public:
    struct NoCase {
        bool operator()(const std::wstring& a, const std::wstring& b) const {
            return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                                [](wchar_t x, wchar_t y) {
                                                    return std::towlower(static_cast<wint_t>(x)) <
                                                           std::towlower(static_cast<wint_t>(y));
                                                });
        }
    };
    using Section = std::map<std::wstring, std::wstring, NoCase>;
    using File = std::map<std::wstring, Section, NoCase>;

    std::map<std::wstring, File> files;
    std::map<std::wstring, std::uint64_t> sizes;

    // Sets a raw value as if a user had edited the file.
    void Put(const std::wstring& file, const std::wstring& section, const std::wstring& key,
             const std::wstring& value) {
        files[file][section][key] = value;
    }
    const std::wstring* Find(const std::wstring& file, const std::wstring& section,
                             const std::wstring& key) const {
        auto f = files.find(file);
        if (f == files.end()) {
            return nullptr;
        }
        auto s = f->second.find(section);
        if (s == f->second.end()) {
            return nullptr;
        }
        auto k = s->second.find(key);
        return k == s->second.end() ? nullptr : &k->second;
    }

    std::uint32_t ReadInt(const std::wstring& section, const std::wstring& key, std::int32_t def,
                          const std::wstring& file) override {
        const std::wstring* v = Find(file, section, key);
        if (!v) {
            return static_cast<std::uint32_t>(def);
        }
        std::uint32_t n = 0;
        return hml::config::ReadNumberList(*v, &n, 1) ? n : 0;
    }
    std::wstring ReadString(const std::wstring& section, const std::wstring& key,
                            const std::wstring& def, std::size_t capacity,
                            const std::wstring& file) override {
        const std::wstring* v = Find(file, section, key);
        std::wstring text = v ? *v : def;
        return capacity == 0 ? std::wstring() : text.substr(0, capacity - 1);
    }
    bool WriteString(const std::wstring& section, const std::wstring& key,
                     const std::wstring* value, const std::wstring& file) override {
        if (!value) {
            files[file][section].erase(key);
        } else {
            files[file][section][key] = hml::config::UpToLineBreak(*value);
        }
        return true;
    }
    bool RemoveSection(const std::wstring& section, const std::wstring& file) override {
        files[file].erase(section);
        return true;
    }
    std::optional<std::uint64_t> FileSize(const std::wstring& path) override {
        auto it = sizes.find(path);
        return it == sizes.end() ? std::nullopt : std::optional<std::uint64_t>(it->second);
    }
};
