#pragma once
// A configuration file for tests: under Windows a real file in a throwaway folder, read and
// written through the private-profile functions; natively an in-memory file. Tests that use it
// run the same way on both.

#include "config/Settings.h"
#include "support/MemoryProfileStore.h"
#include "support/TestPaths.h"

#ifdef _WIN32
#include "config/win32/Win32ProfileStore.h"
#endif

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

using namespace hml::config;

class ConfigFixture : public ::testing::Test {
protected:
    ConfigFixture() {
        configFile = folder.File(L"Harmolith.conf");
        std::ofstream(std::filesystem::path(configFile)) << "[Advanced]\n";
    }

    // A settings object on the file, as start-up builds it.
    std::unique_ptr<CSettings> Open() {
        return std::make_unique<CSettings>(std::make_unique<Forwarder>(*store), folder.Wide(),
                                           configFile);
    }

    // Edits the file by hand, as a user would.
    void Put(const std::wstring& section, const std::wstring& key, const std::wstring& value,
             const std::wstring& file = {}) {
        Raw().WriteString(section, key, &value, file.empty() ? configFile : file);
    }

    // The text stored under a key, or "<none>" when the key is missing.
    std::wstring Stored(const std::wstring& section, const std::wstring& key,
                        const std::wstring& file = {}) {
        return Raw().ReadString(section, key, L"<none>", 4096, file.empty() ? configFile : file);
    }

    IProfileStore& Raw() { return *store; }

    hml::test::CTempFolder folder;
    std::wstring configFile;
#ifdef _WIN32
    std::unique_ptr<IProfileStore> store = std::make_unique<CWin32ProfileStore>();
#else
    std::unique_ptr<IProfileStore> store = std::make_unique<CMemoryProfileStore>();
#endif

private:
    // Lets several settings objects in turn use the fixture's one store.
    class Forwarder final : public IProfileStore {
    public:
        explicit Forwarder(IProfileStore& target_) : target(target_) {}
        std::uint32_t ReadInt(const std::wstring& s, const std::wstring& k, std::int32_t d,
                              const std::wstring& f) override {
            return target.ReadInt(s, k, d, f);
        }
        std::wstring ReadString(const std::wstring& s, const std::wstring& k, const std::wstring& d,
                                std::size_t c, const std::wstring& f) override {
            return target.ReadString(s, k, d, c, f);
        }
        bool WriteString(const std::wstring& s, const std::wstring& k, const std::wstring* v,
                         const std::wstring& f) override {
            return target.WriteString(s, k, v, f);
        }
        bool RemoveSection(const std::wstring& s, const std::wstring& f) override {
            return target.RemoveSection(s, f);
        }
        std::optional<std::uint64_t> FileSize(const std::wstring& p) override {
#ifdef _WIN32
            return target.FileSize(p);
#else
            // Natively the font files are real files on disk.
            std::error_code error;
            auto size = std::filesystem::file_size(std::filesystem::path(p), error);
            return error ? std::nullopt : std::optional<std::uint64_t>(size);
#endif
        }

    private:
        IProfileStore& target;
    };
};
