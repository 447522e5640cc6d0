#include "audio/sfz/SfzParser.h"

#include "base/Utf8.h"

#include <algorithm>
#include <cctype>

namespace hml::audio::sfz {
namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}
bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '$';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

// Comments become spaces, so line structure and positions stay.
std::string StripComments(std::string_view text) {
    std::string s(text);
    for (size_t i = 0; i + 1 < s.size(); ++i) {
        if (s[i] == '/' && s[i + 1] == '/') {
            while (i < s.size() && s[i] != '\n')
                s[i++] = ' ';
        } else if (s[i] == '/' && s[i + 1] == '*') {
            while (i < s.size() && !(s[i] == '*' && i + 1 < s.size() && s[i + 1] == '/')) {
                if (s[i] != '\n')
                    s[i] = ' ';
                ++i;
            }
            for (size_t k = 0; k < 2 && i < s.size(); ++k)
                s[i++] = ' ';
            --i;
        }
    }
    return s;
}

bool NoteOpcode(std::string_view n) {
    return n == "key" || n == "lokey" || n == "hikey" || n == "pitch_keycenter" ||
           n == "sw_lokey" || n == "sw_hikey" || n == "sw_last" || n == "sw_default" ||
           n == "sw_down" || n == "sw_up" || n == "sw_previous";
}

bool StartsWith(std::string_view s, std::string_view p) {
    return s.substr(0, p.size()) == p;
}

// "name" followed by digits, then optionally "suffix".
bool NumberedOpcode(std::string_view n, std::string_view prefix, std::string_view suffix = {}) {
    if (!StartsWith(n, prefix))
        return false;
    n.remove_prefix(prefix.size());
    size_t digits = 0;
    while (digits < n.size() && std::isdigit(static_cast<unsigned char>(n[digits])) != 0)
        ++digits;
    return digits > 0 && n.substr(digits) == suffix;
}

} // namespace

const std::string* SRegion::Find(std::string_view name) const {
    // The last setting wins: inherited opcodes come first.
    for (size_t i = opcodes.size(); i-- > 0;)
        if (opcodes[i].first == name)
            return &opcodes[i].second;
    return nullptr;
}

std::optional<int> ParseNote(std::string_view t) {
    t = Trim(t);
    if (t.empty())
        return std::nullopt;
    if (std::isdigit(static_cast<unsigned char>(t[0])) != 0 || t[0] == '-') {
        int v = 0;
        size_t i = t[0] == '-' ? 1 : 0;
        if (i == t.size())
            return std::nullopt;
        for (; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])) != 0; ++i)
            v = std::min(v * 10 + (t[i] - '0'), 100000);
        if (i != t.size())
            return std::nullopt;
        return t[0] == '-' ? -v : v;
    }
    static constexpr int kSteps[] = {9, 11, 0, 2, 4, 5, 7}; // a..g
    const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(t[0])));
    if (letter < 'a' || letter > 'g')
        return std::nullopt;
    int note = kSteps[letter - 'a'];
    size_t i = 1;
    if (i < t.size() && t[i] == '#') {
        ++note;
        ++i;
    } else if (i < t.size() && t[i] == 'b') {
        --note;
        ++i;
    }
    bool negative = false;
    if (i < t.size() && t[i] == '-') {
        negative = true;
        ++i;
    }
    if (i + 1 != t.size() || std::isdigit(static_cast<unsigned char>(t[i])) == 0)
        return std::nullopt;
    const int octave = (t[i] - '0') * (negative ? -1 : 1);
    return (octave + 1) * 12 + note;
}

bool IsKnownOpcode(std::string_view n) {
    static constexpr std::string_view kNames[] = {"sample",
                                                  "offset",
                                                  "end",
                                                  "loop_mode",
                                                  "loopmode",
                                                  "loop_start",
                                                  "loopstart",
                                                  "loop_end",
                                                  "loopend",
                                                  "count",
                                                  "key",
                                                  "lokey",
                                                  "hikey",
                                                  "lovel",
                                                  "hivel",
                                                  "lochan",
                                                  "hichan",
                                                  "pitch_keycenter",
                                                  "pitch_keytrack",
                                                  "transpose",
                                                  "tune",
                                                  "pitch",
                                                  "note_offset",
                                                  "octave_offset",
                                                  "volume",
                                                  "gain",
                                                  "pan",
                                                  "amp_veltrack",
                                                  "amp_keytrack",
                                                  "amp_keycenter",
                                                  "fil_type",
                                                  "filtype",
                                                  "cutoff",
                                                  "resonance",
                                                  "fil_keytrack",
                                                  "fil_keycenter",
                                                  "fil_veltrack",
                                                  "trigger",
                                                  "group",
                                                  "off_by",
                                                  "off_mode",
                                                  "seq_length",
                                                  "seq_position",
                                                  "lorand",
                                                  "hirand",
                                                  "sw_lokey",
                                                  "sw_hikey",
                                                  "sw_last",
                                                  "sw_default",
                                                  "polyphony",
                                                  "note_polyphony",
                                                  "effect1",
                                                  "effect2",
                                                  "default_path",
                                                  "fileg_depth",
                                                  "pitcheg_depth",
                                                  "amplfo_depth",
                                                  "amplfo_freq",
                                                  "amplfo_delay",
                                                  "fillfo_depth",
                                                  "fillfo_freq",
                                                  "fillfo_delay",
                                                  "pitchlfo_depth",
                                                  "pitchlfo_freq",
                                                  "pitchlfo_delay",
                                                  "sample_quality"};
    if (std::find(std::begin(kNames), std::end(kNames), n) != std::end(kNames))
        return true;
    for (std::string_view eg : {"ampeg_", "fileg_", "pitcheg_"}) {
        if (!StartsWith(n, eg))
            continue;
        std::string_view stage = n.substr(eg.size());
        for (std::string_view s :
             {"delay", "start", "attack", "hold", "decay", "sustain", "release"}) {
            const std::string_view after = stage.substr(std::min(s.size(), stage.size()));
            if (stage == s || (StartsWith(stage, s) &&
                               (NumberedOpcode(after, "_oncc") || NumberedOpcode(after, "_cc") ||
                                NumberedOpcode(after, "cc"))))
                return true;
            if (StartsWith(stage, "vel2") && stage.substr(4) == s)
                return true;
        }
    }
    for (std::string_view moved :
         {"cutoff", "resonance", "volume", "gain", "pan", "pitch", "tune"}) {
        if (StartsWith(n, moved) && (NumberedOpcode(n.substr(moved.size()), "_oncc") ||
                                     NumberedOpcode(n.substr(moved.size()), "_cc")))
            return true;
    }
    return NumberedOpcode(n, "amp_velcurve_") || NumberedOpcode(n, "locc") ||
           NumberedOpcode(n, "hicc");
}

CSfzParser::CSfzParser(FReadFile reader) : read(std::move(reader)) {}

bool CSfzParser::Parse(const std::filesystem::path& file, SParsed& result, std::string& error) {
    std::optional<std::string> text = read(file);
    if (!text) {
        error = "cannot read " + base::Utf8(file.filename());
        return false;
    }
    return ParseText(*text, file, result, error);
}

bool CSfzParser::ParseText(std::string_view text, const std::filesystem::path& file,
                           SParsed& result, std::string& error) {
    result = {};
    out = &result;
    root = file.parent_path();
    stack.clear();
    textBytes = 0;
    tooMany = false;
    noteOffset = octaveOffset = 0;
    level = ELevel::Control;
    inRegion = false;
    defines.clear();
    defaultPath.clear();
    for (auto& s : scope)
        s.clear();
    const bool ok = ParseFile(file, text, error);
    if (ok)
        FlushRegion();
    out = nullptr;
    if (ok && tooMany) {
        static_assert(kMaxRegions == 65536, "the message names the limit");
        error = "more than 65536 regions";
        return false;
    }
    return ok;
}

bool CSfzParser::ParseFile(const std::filesystem::path& file, std::string_view raw,
                           std::string& error) {
    textBytes += raw.size();
    if (textBytes > kMaxTextBytes) {
        error = "instrument text too large";
        return false;
    }
    stack.push_back(file.lexically_normal());
    const std::string text = StripComments(raw);
    size_t lineStart = 0;
    while (lineStart <= text.size() && !tooMany) {
        size_t lineEnd = text.find('\n', lineStart);
        if (lineEnd == std::string::npos)
            lineEnd = text.size();
        const std::string_view line =
            Trim(std::string_view(text).substr(lineStart, lineEnd - lineStart));
        lineStart = lineEnd + 1;
        if (line.empty())
            continue;
        if (line[0] == '#') {
            if (!Directive(line, file, error)) {
                stack.pop_back();
                return false;
            }
            continue;
        }
        const std::string expanded = Expand(line);
        std::string_view s = expanded;
        size_t i = 0;
        while (i < s.size()) {
            while (i < s.size() && IsSpace(s[i]))
                ++i;
            if (i >= s.size())
                break;
            if (s[i] == '<') {
                const size_t close = s.find('>', i);
                if (close == std::string_view::npos)
                    break; // an unclosed header ends the line
                Header(Trim(s.substr(i + 1, close - i - 1)));
                i = close + 1;
                continue;
            }
            size_t nameEnd = i;
            while (nameEnd < s.size() && IsNameChar(s[nameEnd]))
                ++nameEnd;
            if (nameEnd == i || nameEnd >= s.size() || s[nameEnd] != '=') {
                // Not an opcode: skip the word.
                while (i < s.size() && !IsSpace(s[i]) && s[i] != '<')
                    ++i;
                if (nameEnd == i && i < s.size() && !IsSpace(s[i]) && s[i] != '<')
                    ++i;
                continue;
            }
            // The value runs to the next "name=" or header, so file names may hold spaces.
            size_t v = nameEnd + 1, valueEnd = s.size();
            for (size_t k = v; k < s.size(); ++k) {
                if (s[k] == '<') {
                    valueEnd = k;
                    break;
                }
                if (IsSpace(s[k])) {
                    size_t w = k;
                    while (w < s.size() && IsSpace(s[w]))
                        ++w;
                    size_t e = w;
                    while (e < s.size() && IsNameChar(s[e]))
                        ++e;
                    if (e > w && e < s.size() && s[e] == '=') {
                        valueEnd = k;
                        break;
                    }
                }
            }
            Opcode(std::string(s.substr(i, nameEnd - i)),
                   std::string(Trim(s.substr(v, valueEnd - v))));
            i = valueEnd;
        }
    }
    stack.pop_back();
    return true;
}

bool CSfzParser::Directive(std::string_view line, const std::filesystem::path& file,
                           std::string& error) {
    (void)file;
    if (StartsWith(line, "#define")) {
        std::string_view rest = Trim(line.substr(7));
        size_t e = 0;
        while (e < rest.size() && !IsSpace(rest[e]))
            ++e;
        const std::string name(rest.substr(0, e));
        if (name.size() < 2 || name[0] != '$')
            return true; // malformed defines are ignored, as players do
        std::string value = Expand(Trim(rest.substr(e)));
        for (auto& d : defines)
            if (d.first == name) {
                d.second = std::move(value);
                return true;
            }
        defines.emplace_back(name, std::move(value));
        // Longest first, so "$AB" is not taken for "$A" followed by "B".
        std::stable_sort(defines.begin(), defines.end(), [](const auto& a, const auto& b) {
            return a.first.size() > b.first.size();
        });
        return true;
    }
    if (StartsWith(line, "#include")) {
        std::string_view rest = Trim(line.substr(8));
        if (rest.size() < 2 || rest.front() != '"' || rest.find('"', 1) == std::string_view::npos)
            return true;
        std::string name(rest.substr(1, rest.find('"', 1) - 1));
        name = Expand(name);
        std::replace(name.begin(), name.end(), '\\', '/');
        const std::filesystem::path target = (root / base::PathFromUtf8(name)).lexically_normal();
        if (std::find(stack.begin(), stack.end(), target) != stack.end()) {
            error = "#include cycle through " + base::Utf8(target.filename());
            return false;
        }
        if (stack.size() >= kMaxIncludeDepth) {
            error = "#include nested too deep";
            return false;
        }
        std::optional<std::string> text = read(target);
        if (!text) {
            error = "cannot read included file " + name;
            return false;
        }
        return ParseFile(target, *text, error);
    }
    return true;
}

std::string CSfzParser::Expand(std::string_view text) const {
    std::string s(text);
    if (defines.empty() || s.find('$') == std::string::npos)
        return s;
    std::string r;
    r.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        bool done = false;
        if (s[i] == '$') {
            for (const auto& d : defines) {
                if (s.compare(i, d.first.size(), d.first) == 0) {
                    r += d.second;
                    i += d.first.size();
                    done = true;
                    break;
                }
            }
        }
        if (!done)
            r += s[i++];
        // A define that expands to itself must not make the text grow without end.
        if (r.size() > kMaxLineBytes)
            break;
    }
    return r;
}

void CSfzParser::Header(std::string_view raw) {
    std::string name(raw);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    FlushRegion();
    if (name == "control") {
        level = ELevel::Control;
    } else if (name == "global") {
        level = ELevel::Global;
        for (auto& s : scope)
            s.clear();
    } else if (name == "master") {
        level = ELevel::Master;
        scope[1].clear();
        scope[2].clear();
    } else if (name == "group") {
        level = ELevel::Group;
        scope[2].clear();
    } else if (name == "region") {
        level = ELevel::Region;
        inRegion = true;
        scope[3].clear();
    } else {
        // <curve>, <effect>, <midi> and unknown headers: their opcodes go nowhere.
        level = ELevel::Ignored;
        inRegion = false;
        ++out->unknownOpcodes;
    }
}

void CSfzParser::Opcode(std::string name, std::string value) {
    if (level == ELevel::Ignored)
        return; // counted once, with its header
    if (level == ELevel::Control) {
        if (name == "default_path") {
            std::replace(value.begin(), value.end(), '\\', '/');
            if (!value.empty() && value.back() != '/')
                value += '/';
            defaultPath = value;
        } else if (name == "note_offset" || name == "octave_offset") {
            const std::optional<int> v = ParseNote(value);
            if (v && *v >= -127 && *v <= 127) {
                (name == "note_offset" ? noteOffset : octaveOffset) = *v;
                out->noteOffset = noteOffset + 12 * octaveOffset;
            }
        } else if (!IsKnownOpcode(name)) {
            ++out->unknownOpcodes;
        }
        return;
    }
    if (!IsKnownOpcode(name))
        ++out->unknownOpcodes;
    if (NoteOpcode(name) && out->noteOffset != 0) {
        if (const std::optional<int> n = ParseNote(value))
            value = std::to_string(*n + out->noteOffset);
    }
    if (name == "sample") {
        std::replace(value.begin(), value.end(), '\\', '/');
        value = defaultPath + value;
    }
    const int at = level == ELevel::Global   ? 0
                   : level == ELevel::Master ? 1
                   : level == ELevel::Group  ? 2
                                             : 3;
    scope[at].emplace_back(std::move(name), std::move(value));
}

void CSfzParser::FlushRegion() {
    if (!inRegion)
        return;
    inRegion = false;
    if (out->regions.size() >= kMaxRegions) {
        tooMany = true;
        return;
    }
    SRegion r;
    for (const auto& s : scope)
        r.opcodes.insert(r.opcodes.end(), s.begin(), s.end());
    if (const std::string* smp = r.Find("sample"))
        r.sample = *smp;
    out->regions.push_back(std::move(r));
}

} // namespace hml::audio::sfz
