// The converter's list of MIDI files: entries with their transposition and output path, the add
// rule, and the ".hmlmcfl" list files. Portable; the window shows it.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace hml::converter {

class MidiFileList;

struct MidiFileEntry {
    static constexpr int kMaxKeyShift = 12;
    static constexpr std::size_t kMaxPath = 260; // units with the terminator

    std::wstring inputPath;
    std::wstring outputPath;
    std::wstring keyText = L"0";
    MidiFileList* list = nullptr;
    int keyShift = 0;

    // Clamps to -12..+12 and sets the key text: "+3", "0", "-12".
    void SetKeyShift(int shift);
    // The output path from the list's folder and extension (empty folder: beside the input).
    void UpdateOutputPath();
};

class MidiFileList {
public:
    const std::vector<std::unique_ptr<MidiFileEntry>>& Entries() const { return entries; }
    std::size_t Size() const { return entries.size(); }
    bool Empty() const { return entries.empty(); }
    MidiFileEntry& operator[](std::size_t i) { return *entries[i]; }

    // Appends a new entry with key 0; an entry with the same path (A-Z compared without regard
    // to case) goes first.
    MidiFileEntry& Add(const std::wstring& inputPath);
    // Removes the entries at the given indexes (any order, duplicates ignored).
    void Remove(std::vector<std::size_t> indexes);
    void Clear() { entries.clear(); }

    // Stores the folder and extension and recomputes every output path.
    void SetOutput(const std::wstring& folder, const std::wstring& extension);
    const std::wstring& Folder() const { return folder; }
    const std::wstring& Extension() const { return extension; }

    // The list file's bytes: UTF-8 with a byte-order mark, "path|key" lines ending in CR LF.
    std::string Export() const;
    // Empties the list and reads the lines of a list file. UTF-8 when it has the byte-order mark
    // or is valid UTF-8, else one byte per character as older files were written.
    void Import(std::string_view bytes);

private:
    std::vector<std::unique_ptr<MidiFileEntry>> entries;
    std::wstring folder;
    std::wstring extension = L".wav";
};

// Leading blanks, an optional sign and digits up to the first other character; 0 without any.
int ParseKeyField(std::wstring_view field);

} // namespace hml::converter
