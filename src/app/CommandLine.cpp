#include "app/CommandLine.h"

#include <algorithm>

namespace hml::app {

namespace {
bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}
} // namespace

std::vector<std::wstring> SplitCommandLine(const std::wstring& line) {
    std::vector<std::wstring> args;
    const std::size_t n = line.size();
    std::size_t pos = 0;
    for (;;) {
        while (pos < n && IsBlank(line[pos])) {
            ++pos;
        }
        if (pos >= n) {
            return args;
        }
        if (line[pos] == L'"') {
            std::size_t close = pos + 1;
            while (close < n &&
                   !(line[close] == L'"' && close + 1 < n && IsBlank(line[close + 1]))) {
                ++close;
            }
            std::size_t end = close < n ? close + 1 : n;
            std::wstring token = line.substr(pos, end - pos);
            if (token == L"\"\"") {
                args.push_back(token);
            } else {
                // Without a closing quote before a blank, the last character stands in for it.
                std::size_t textEnd = close < n ? close : n - 1;
                args.push_back(textEnd > pos + 1 ? line.substr(pos + 1, textEnd - pos - 1)
                                                 : std::wstring());
            }
            pos = end;
        } else {
            std::size_t end = pos;
            while (end < n && !IsBlank(line[end])) {
                ++end;
            }
            args.push_back(line.substr(pos, end - pos));
            pos = end;
        }
    }
}

bool HasArgument(const std::vector<std::wstring>& args, const wchar_t* argument) {
    return std::find(args.begin(), args.end(), argument) != args.end();
}

Mode SelectMode(const std::vector<std::wstring>& args) {
    if (HasArgument(args, L"--install")) {
        return Mode::kInstall;
    }
    if (HasArgument(args, L"--uninstall")) {
        return Mode::kUninstall;
    }
    return Mode::kSynth;
}

WindowRequest SelectWindow(const std::vector<std::wstring>& args, bool emptyMeansConfigurator) {
    if ((emptyMeansConfigurator && args.empty()) || HasArgument(args, L"--configurator")) {
        return WindowRequest::kConfigurator;
    }
    if (HasArgument(args, L"--converter")) {
        return WindowRequest::kConverter;
    }
    return WindowRequest::kNone;
}

HotkeyKeys DecodeHotkey(std::uint32_t value) {
    const std::uint32_t m = (value >> 8) & 0xFF;
    std::uint32_t modifiers = 0;
    if (m & 4) {
        modifiers |= 1;
    }
    if (m & 2) {
        modifiers |= 2;
    }
    if (m & 1) {
        modifiers |= 4;
    }
    return {value & 0xFF, modifiers};
}

std::wstring StripMnemonics(std::wstring text) {
    std::erase(text, L'&');
    return text;
}

} // namespace hml::app
