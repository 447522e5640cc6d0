#pragma once
// The SoundFonts page's rules, apart from its windows: new entries, port toggles, the duplicate
// check, the text of a list row and of the editor's information box, and the editor's limits.

#include "config/SoundFontEntry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hml::configurator {

// Port bits 0 .. portCount - 1.
std::uint32_t AllPortsMask(std::uint32_t portCount);

// A new entry for a file: every port, preset -1, preload on; XG drums when the font has the kits.
config::SoundFontEntry NewSoundFontEntry(const std::wstring& path, std::uint32_t portCount);

// XG drum kits: bank 127 presets 0 and 8 exist, named like "Standard" and "Room", and not GS.
bool LooksLikeXgDrums(const char* standardName, const char* roomName);
// Opens the file through the audio library to apply LooksLikeXgDrums; false when it cannot.
bool DetectXgDrums(const std::wstring& path);

// A plain click on a port box toggles that port; with Ctrl, a set port clears every port and a
// clear one sets them all.
std::uint32_t ClickPort(std::uint32_t mask, std::uint32_t port, bool ctrl, std::uint32_t portCount);

// The later entry of the first pair in use for ports with equal file, bank and preset.
std::optional<std::size_t> FindDuplicate(const std::vector<config::SoundFontEntry>& list);

// The two lines a list row shows after its port boxes (texts through the language).
std::wstring EntryText(const config::SoundFontEntry& entry);

// The editor's information box for a font file; empty when it cannot be read as a font.
std::wstring FontDetailsText(const std::wstring& path);

// The editor's number fields: text that is no number reads as 0, values are clamped.
struct EditorValues {
    std::int32_t preset;
    std::int32_t bank;
    std::int32_t volume;
};
std::int32_t ParseNumber(const std::wstring& text);
EditorValues NormaliseEditorValues(std::int32_t preset, std::int32_t bank, std::int32_t volume);

// Next or previous page for Ctrl+(Shift+)Tab, wrapping around; none when there are no pages.
int CyclePage(int current, int count, bool backwards);

} // namespace hml::configurator
