#pragma once
// The shared test material: testdata/<collection>/<relative>, whichever collection holds it.

#include <filesystem>
#include <string>
#include <system_error>

namespace hml::test {

// The file, or an empty path when no collection has it.
inline std::filesystem::path FindSharedMaterial(const std::string& relative) {
    std::error_code error;
    const std::filesystem::path root = std::filesystem::path(HML_SHARED_DIR) / "testdata";
    for (const auto& entry : std::filesystem::directory_iterator(root, error)) {
        if (std::filesystem::exists(entry.path() / relative, error)) {
            return entry.path() / relative;
        }
    }
    return {};
}

} // namespace hml::test
