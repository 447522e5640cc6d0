// Reads the text of an SFZ instrument into its regions, each with every opcode that applies to
// it (<global>, <master>, <group> and <region> merged, later ones winning). Handles comments,
// #define, #include (relative to the instrument's folder, cycles refused), default_path,
// backslash paths and note names. Bad input is answered with false and a message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace hml::audio::sfz {

struct SRegion {
    std::vector<std::pair<std::string, std::string>> opcodes;
    std::string sample; // with default_path in front and forward slashes

    const std::string* Find(std::string_view name) const;
};

struct SParsed {
    std::vector<SRegion> regions;
    size_t unknownOpcodes = 0; // occurrences of opcodes this player does not know
    int noteOffset = 0;        // note_offset + 12 * octave_offset, already applied to notes
};

// Reads an #include: the file's text, or nullopt when it cannot be read.
using FReadFile = std::function<std::optional<std::string>(const std::filesystem::path&)>;

constexpr size_t kMaxRegions = 1 << 16;
constexpr size_t kMaxIncludeDepth = 16;
constexpr size_t kMaxTextBytes = 64u << 20; // all included text together
constexpr size_t kMaxLineBytes = 1u << 20;  // a line after its defines are expanded

class CSfzParser {
public:
    explicit CSfzParser(FReadFile reader);
    // `file` names the instrument; includes are resolved against its folder.
    bool Parse(const std::filesystem::path& file, SParsed& out, std::string& error);
    bool ParseText(std::string_view text, const std::filesystem::path& file, SParsed& out,
                   std::string& error);

private:
    enum class ELevel { Control, Global, Master, Group, Region, Ignored };
    bool ParseFile(const std::filesystem::path& file, std::string_view text, std::string& error);
    bool Directive(std::string_view line, const std::filesystem::path& file, std::string& error);
    void Header(std::string_view name);
    void Opcode(std::string name, std::string value);
    void FlushRegion();
    std::string Expand(std::string_view text) const;

    FReadFile read;
    SParsed* out = nullptr;
    std::filesystem::path root;
    std::vector<std::filesystem::path> stack; // files being read, for refusing cycles
    size_t textBytes = 0;
    bool tooMany = false;
    int noteOffset = 0, octaveOffset = 0;
    ELevel level = ELevel::Control;
    bool inRegion = false;
    std::vector<std::pair<std::string, std::string>> defines;
    std::string defaultPath;
    std::vector<std::pair<std::string, std::string>> scope[4]; // global, master, group, region
};

// A note number from "60", "c4", "C#4" or "eb3" (middle C is c4 = 60); nullopt otherwise.
std::optional<int> ParseNote(std::string_view text);
bool IsKnownOpcode(std::string_view name);

} // namespace hml::audio::sfz
