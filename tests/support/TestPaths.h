#pragma once
// Paths of the project's files and of throwaway folders, as the program under test sees them
// (under Wine the Linux root is drive Z:).

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace hml::test {

inline std::wstring FromHost(const std::string& hostPath) {
    std::wstring wide(hostPath.begin(), hostPath.end());
#ifdef _WIN32
    for (auto& c : wide) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    return L"Z:" + wide;
#else
    return wide;
#endif
}

// A file of the source tree, e.g. Source("lang/1033.lang").
inline std::wstring Source(const std::string& relative) {
    return FromHost(std::string(HML_SOURCE_DIR) + "/" + relative);
}

inline std::wstring Shared(const std::string& relative) {
    return FromHost(std::string(HML_SHARED_DIR) + "/" + relative);
}

// A fresh folder that is removed with everything in it when the object goes.
class CTempFolder {
public:
    // `prefix` starts the folder's name; one with a space tests how paths are quoted.
    explicit CTempFolder(const std::string& prefix = "hml-test-") {
        std::random_device random;
        path = std::filesystem::temp_directory_path() /
               (prefix + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(path);
    }
    ~CTempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    std::wstring Wide() const { return path.wstring(); }
    std::wstring File(const std::wstring& name) const { return (path / name).wstring(); }
    // The names of what the folder holds, sorted.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(path))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::filesystem::path path;
};

} // namespace hml::test
