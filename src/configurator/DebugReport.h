#pragma once
// The debug report of the About page: a text file for support with the live status, the SoundFont
// list, the MIDI and audio devices, the configuration file and the driver-related registry values.

#include "config/SoundFontEntry.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace hml::configurator {

struct DebugReportInput {
    std::wstring status; // as the status view shows it, "\r\n" between lines
    std::vector<config::SoundFontEntry> soundFonts;
    std::wstring architecture; // of this build: "x64" or "x86"
    std::vector<std::wstring> midiDevices;
    std::vector<std::wstring> audioDevices; // from device 1 on
    std::wstring configPath;
    std::optional<std::wstring> configText; // none when the file could not be read
    std::wstring registry;                  // the value dumps, "\n" after each line
};

// The report with "\n" line ends.
std::wstring FormatDebugReport(const DebugReportInput& input);

// The lines of a configuration file worth reporting: neither empty nor comments (";").
std::vector<std::wstring> ReportedConfigLines(const std::wstring& text);

// Text of a file as read from disk: UTF-16 LE or UTF-8 when it starts with their byte-order
// mark; otherwise decoded by fallback (the system's 8-bit code page on Windows).
std::wstring DecodeTextFile(const std::string& bytes,
                            std::wstring (*fallback)(const std::string&) = nullptr);

// Writes text as UTF-8 with a byte-order mark and CR LF line ends, through a temporary file that
// replaces path only when complete. False when it could not be written; path is then untouched.
bool WriteUtf8TextFile(const std::filesystem::path& path, const std::wstring& text);

} // namespace hml::configurator
