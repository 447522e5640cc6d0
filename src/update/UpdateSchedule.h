#pragma once
// When the synth checks for updates by itself and when it reminds the user of a known newer
// version: the dates of section "Update" and the decision the tray window makes at start-up.

#include "update/ProductVersion.h"

#include <cstdint>
#include <optional>
#include <string>

namespace hml::config {
class CSettings;
} // namespace hml::config

namespace hml::update {

// 100 ns units in one day, the unit of Windows file times.
constexpr std::uint64_t kFileTimeDay = 864000000000ull;

// A local date and time, as GetLocalTime gives it.
struct CLocalTime {
    int year = 1900;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int milliseconds = 0;
};

// 100 ns units since 1601-01-01 00:00, or nothing for a time Windows file times cannot hold.
std::optional<std::uint64_t> FileTimeOf(const CLocalTime& time);

// "2026-12-06", the form of "LastCheck" and "LastNotify".
std::wstring DateText(const CLocalTime& time);

// A stored date at 00:00. Anything but ten characters "yyyy-mm-dd" naming a real day counts as
// 1900-01-01, so a damaged value makes the next check or reminder due.
CLocalTime ReadStoredDate(const std::wstring& text);

// Whole days from a stored date to now. The difference is taken unsigned, so a date in the
// future counts as long past: a clock set back never silences checks and reminders for good.
std::uint32_t DaysSince(const std::wstring& storedDate, const CLocalTime& now);

// What the tray window does about updates when it starts.
struct CStartupDecision {
    bool startCheck = false;      // start a check with the tray's callback, nothing else now
    bool updateAvailable = false; // offer the known newer version in the tray menu
    bool remind = false;          // show the update balloon; MarkReminded records it
};

// "CheckFrequency" 0 turns everything off. A check is due when that many days have passed since
// "LastCheck". Otherwise a stored "LastVersionFound" newer than the running version flags the
// menu, with a reminder at most once per calendar day ("LastNotify").
CStartupDecision DecideAtStartup(config::CSettings& store, const ProductVersion& currentVersion,
                                 const CLocalTime& now);

// Records that the update reminder was given today ("LastNotify").
void MarkReminded(config::CSettings& store, const CLocalTime& now);

#ifdef _WIN32
// The local date and time now.
CLocalTime LocalNow();
#endif

} // namespace hml::update
