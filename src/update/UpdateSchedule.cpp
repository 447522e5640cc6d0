#include "update/UpdateSchedule.h"

#include "config/ProfileText.h"
#include "config/Settings.h"

namespace hml::update {

using namespace hml::config;

namespace {

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

bool IsValid(const CLocalTime& t) {
    // The range SystemTimeToFileTime accepts.
    return t.year >= 1601 && t.year <= 30827 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
           t.day <= DaysInMonth(t.year, t.month) && t.hour >= 0 && t.hour <= 23 && t.minute >= 0 &&
           t.minute <= 59 && t.second >= 0 && t.second <= 59 && t.milliseconds >= 0 &&
           t.milliseconds <= 999;
}

bool ReadDigits(const std::wstring& text, std::size_t pos, std::size_t count, int& out) {
    out = 0;
    for (std::size_t i = pos; i < pos + count; ++i) {
        if (text[i] < L'0' || text[i] > L'9') {
            return false;
        }
        out = out * 10 + (text[i] - L'0');
    }
    return true;
}

} // namespace

std::optional<std::uint64_t> FileTimeOf(const CLocalTime& time) {
    if (!IsValid(time)) {
        return std::nullopt;
    }
    const std::int64_t days =
        DaysFromCivil(time.year, time.month, time.day) - DaysFromCivil(1601, 1, 1);
    const std::int64_t milliseconds =
        ((static_cast<std::int64_t>(time.hour) * 60 + time.minute) * 60 + time.second) * 1000 +
        time.milliseconds;
    return static_cast<std::uint64_t>(days) * kFileTimeDay +
           static_cast<std::uint64_t>(milliseconds) * 10000u;
}

std::wstring DateText(const CLocalTime& time) {
    return config::FormatDate(time.year, time.month, time.day);
}

CLocalTime ReadStoredDate(const std::wstring& text) {
    CLocalTime date;
    if (text.size() != 10 || text[4] != L'-' || text[7] != L'-') {
        return {};
    }
    if (!ReadDigits(text, 0, 4, date.year) || !ReadDigits(text, 5, 2, date.month) ||
        !ReadDigits(text, 8, 2, date.day) || !IsValid(date)) {
        return {};
    }
    return date;
}

std::uint32_t DaysSince(const std::wstring& storedDate, const CLocalTime& now) {
    // 1900-01-01 always converts; a "now" out of range is treated like the stored day itself.
    const std::uint64_t then = *FileTimeOf(ReadStoredDate(storedDate));
    const std::uint64_t current = FileTimeOf(now).value_or(then);
    // Unsigned on purpose: a future date wraps round to a huge number of days.
    return static_cast<std::uint32_t>((current - then) / kFileTimeDay);
}

CStartupDecision DecideAtStartup(config::CSettings& store, const ProductVersion& currentVersion,
                                 const CLocalTime& now) {
    CStartupDecision decision;
    const std::uint32_t frequency = store.checkFrequency.Get();
    if (frequency == 0) {
        return decision;
    }
    if (DaysSince(store.lastCheck.Get(), now) >= frequency) {
        decision.startCheck = true;
        return decision;
    }
    const std::wstring found = store.lastVersionFound.Get();
    if (!found.empty() && ProductVersion::Parse(found).IsNewerThan(currentVersion)) {
        decision.updateAvailable = true;
        decision.remind = DaysSince(store.lastNotify.Get(), now) >= 1;
    }
    return decision;
}

void MarkReminded(config::CSettings& store, const CLocalTime& now) {
    store.lastNotify.Set(DateText(now));
}

} // namespace hml::update
