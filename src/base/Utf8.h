// UTF-8 and the platform's wide text (UTF-16 on Windows, UTF-32 elsewhere), independent of the
// locale, and paths to and from UTF-8.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace hml::base {

// Invalid sequences (overlong forms, surrogates, values beyond Unicode) become U+FFFD.
std::wstring WideFromUtf8(std::string_view bytes);
// Unpaired surrogates become U+FFFD.
std::string Utf8FromWide(std::wstring_view text);

std::string Utf8(const std::filesystem::path& path);
std::filesystem::path PathFromUtf8(std::string_view utf8);

} // namespace hml::base
