#pragma once
// The client blacklist's two forms: stored ("a.exe;b.exe", what the driver reads) and edited (one
// program per line). Both go through Normalise, so whatever the user types ends up as lower-case
// ".exe" names, sorted, each once.

#include <string>
#include <vector>

namespace hml::configurator {

// Lines of the edited form trimmed, lower-cased, given ".exe" when they lack it, sorted and made
// unique, joined with "\r\n" (none after the last).
std::wstring NormaliseBlacklist(const std::wstring& edited);

// The edit's text for a stored value: normalised, one name per line and a trailing line break so
// the caret can start a new name.
std::wstring BlacklistToEdited(const std::wstring& stored);

// The stored value for the edit's text.
std::wstring BlacklistToStored(const std::wstring& edited);

// Lower case without a locale: the case pairs of Latin-1, Latin Extended-A and Cyrillic, where
// program names live, and ASCII.
wchar_t LowerCase(wchar_t c);

// Sorts and removes duplicates in the order the pop-up of running clients shows them.
void SortUnique(std::vector<std::wstring>& names);

} // namespace hml::configurator
