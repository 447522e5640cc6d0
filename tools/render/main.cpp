// harmolith-render: renders MIDI files to WAV, FLAC or MP3 from the command line, with the
// converter's render core. One line per file; exit status 1 when any file failed.
#include "audio/sf2/CSoundFont.h"
#include "base/Utf8.h"
#include "base/Workers.h"
#include "converter/EncoderProfiles.h"
#include "converter/RenderCore.h"
#include "mixer/MixerOwner.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#define HML_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define HML_ISATTY(fd) isatty(fd)
#endif

using namespace hml;
using base::Utf8;
using namespace hml::mixer;
namespace fs = std::filesystem;

namespace {

std::atomic<bool> cancelFlag{false};

extern "C" void OnInterrupt(int) {
    cancelFlag.store(true);
}

const char* kUsage =
    "usage: harmolith-render [options] [FONT.sf2...] FILE.mid...\n"
    "Renders MIDI files (SMF formats 0, 1, 2 and RMID) to audio files. SoundFonts among the\n"
    "files count as --sf2.\n"
    "  -o, --output FILE    the one output file; its extension picks the format\n"
    "      --out DIR        folder of the outputs (default: beside each input)\n"
    "  -s, --sf2 FILE       SoundFont; repeat for more, earlier ones win (default: the system's\n"
    "                       GM font in /usr/share/sounds/sf2)\n"
    "  -T, --format F       wav16 (default), wav24, float, mp3-128, mp3 (192k), mp3-320, flac,\n"
    "                       flac-fast or flac-best (mp3 and flac need the lame or flac program:\n"
    "                       on the PATH, or under Windows also in the encoders folder beside\n"
    "                       harmolith-render)\n"
    "      --profile N      output format by converter table row 0-8 instead of --format\n"
    "      --encoder-options  extra encoder arguments (%CUSTOMPARAMS%)\n"
    "  -r, --rate HZ        sample rate, 8000-384000 (default 48000)\n"
    "  -K, --key N          key shift in semitones, -12..12; drum channels keep their keys\n"
    "      --skip-silence   start the output at the first note\n"
    "  -R, --reverb N       reverb level 0-127 (default 64)\n"
    "  -C, --chorus N       chorus level 0-127 (default 64)\n"
    "      --override       the file's SysEx is ignored and resets get our levels (default)\n"
    "      --no-override    the file's SysEx reaches the synthesizer\n"
    "  -p, --voices N       voice limit (default 500)\n"
    "      --sinc           windowed-sinc interpolation\n"
    "  -j, --jobs N         files rendered at once, 1-64 (default: one per processor); the\n"
    "                       lines and files come out as with one\n"
    "  -q, --quiet          no progress bar\n"
    "  -h, --help           this text\n"
    "  -V, --version        the version\n"
    "Exit status: 0 when every file rendered, 1 when one failed, 2 for a usage error.\n";

// The converter's own mixer: every channel at full level.
class CPlainMixer final : public IMixerOwner {
public:
    CPlainMixer() { SetChannelVolume(100, kAllChannels); }
    std::uint32_t GetLevel() override { return kNoLevel; }
    std::wstring GetInstrumentName(std::uint32_t) override { return {}; }
    std::wstring GetTitle() override { return L"harmolith-render"; }
    void ApplyChannel(std::uint32_t) override {}
};

class CProgress final : public converter::IRenderObserver {
public:
    CProgress(std::string n, bool quiet) : name(std::move(n)), tty(!quiet && HML_ISATTY(2) != 0) {}
    void OnProgress(uint32_t permille) override {
        if (!tty || permille / 20 == last)
            return;
        last = permille / 20;
        std::fprintf(stderr, "\r%-30.30s [%-50.*s] %3u%%", name.c_str(), static_cast<int>(last),
                     "##################################################", permille / 10);
        std::fflush(stderr);
    }
    void OnLog(const std::string&) override {}
    void Clear() {
        if (tty && last != ~0u)
            std::fprintf(stderr, "\r%90s\r", "");
    }

private:
    std::string name;
    bool tty;
    uint32_t last = ~0u;
};

bool ParseInt(const char* text, long lo, long hi, long& value) {
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && value >= lo && value <= hi;
}

// The encoder a profile names: under Windows from the "encoders" folder beside this program, as
// an installed Harmolith keeps them, else found on the PATH by its plain name.
std::string EncoderProgram(const converter::SEncoderProfile& row) {
#ifdef _WIN32
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        const fs::path beside = fs::path(self).parent_path() / L"encoders" / row.program;
        std::error_code ec;
        if (fs::exists(beside, ec))
            return Utf8(beside);
    }
#endif
    return converter::ProgramName(row);
}

// What the command line asks for.
struct SCommand {
    converter::SRenderOptions options;
    std::vector<fs::path> fonts, inputs;
    fs::path outDir, outFile;
    std::string format; // empty: from the output file's extension, else wav16
    long profile = -1;
    bool quiet = false;
    int jobs = 0; // 0: one per processor
};

// Exit statuses; parsing steps return kContinue when the run goes on.
constexpr int kContinue = -1;
constexpr int kUsageError = 2;

int UsageError(const std::string& message) {
    std::fprintf(stderr, "harmolith-render: %s\n(harmolith-render -h shows the options)\n",
                 message.c_str());
    return kUsageError;
}

bool IsSoundFont(const fs::path& p) {
    std::string ext = Utf8(p.extension());
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".sf2";
}

// The options by kind: a switch, one with a value, one with a number in a range.
struct SFlagOption {
    const char* shortName;
    const char* longName;
    void (*apply)(SCommand&);
};
struct SValueOption {
    const char* shortName;
    const char* longName;
    void (*apply)(SCommand&, const fs::path&);
};
struct SNumberOption {
    const char* shortName;
    const char* longName;
    long lo, hi;
    void (*apply)(SCommand&, long);
};

const SFlagOption kFlagOptions[] = {
    {"-q", "--quiet", [](SCommand& c) { c.quiet = true; }},
    {nullptr, "--skip-silence", [](SCommand& c) { c.options.skipInitialSilence = true; }},
    {nullptr, "--override", [](SCommand& c) { c.options.overrideEffects = true; }},
    {nullptr, "--no-override", [](SCommand& c) { c.options.overrideEffects = false; }},
    {nullptr, "--sinc", [](SCommand& c) { c.options.extraFlags |= audio::StreamFlags::Sinc; }},
};
const SValueOption kValueOptions[] = {
    {"-o", "--output", [](SCommand& c, const fs::path& v) { c.outFile = v; }},
    {nullptr, "--out", [](SCommand& c, const fs::path& v) { c.outDir = v; }},
    {"-s", "--sf2", [](SCommand& c, const fs::path& v) { c.fonts.push_back(v); }},
    {"-T", "--format", [](SCommand& c, const fs::path& v) { c.format = Utf8(v); }},
    {nullptr, "--encoder-options",
     [](SCommand& c, const fs::path& v) { c.options.encoderOptions = Utf8(v); }},
};
const SNumberOption kNumberOptions[] = {
    {nullptr, "--profile", 0, converter::kProfileCount - 1,
     [](SCommand& c, long n) { c.profile = n; }},
    {"-r", "--rate", 8000, 384000,
     [](SCommand& c, long n) { c.options.rate = static_cast<uint32_t>(n); }},
    {"-K", "--key", -12, 12, [](SCommand& c, long n) { c.options.keyShift = static_cast<int>(n); }},
    {"-R", "--reverb", 0, 127,
     [](SCommand& c, long n) { c.options.reverb = static_cast<uint32_t>(n); }},
    {"-C", "--chorus", 0, 127,
     [](SCommand& c, long n) { c.options.chorus = static_cast<uint32_t>(n); }},
    {"-p", "--voices", audio::kMinVoices, audio::kMaxVoices,
     [](SCommand& c, long n) { c.options.voices = static_cast<int>(n); }},
    {"-j", "--jobs", 1, 64, [](SCommand& c, long n) { c.jobs = static_cast<int>(n); }},
};

template <typename Option, size_t N>
const Option* FindOption(const Option (&options)[N], const std::string& arg) {
    for (const Option& o : options)
        if ((o.shortName && arg == o.shortName) || arg == o.longName)
            return &o;
    return nullptr;
}

// Reads the options into `cmd`; -h and --version answer at once with status 0.
int ParseArguments(const std::vector<fs::path>& args, SCommand& cmd) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string a = Utf8(args[i]);
        const bool hasValue = i + 1 < args.size();
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "-V" || a == "--version") {
            std::printf("harmolith-render %s\n", HML_VERSION);
            return 0;
        } else if (const SFlagOption* flag = FindOption(kFlagOptions, a)) {
            flag->apply(cmd);
        } else if (const SValueOption* option = FindOption(kValueOptions, a)) {
            if (!hasValue)
                return UsageError(a + " needs a value");
            option->apply(cmd, args[++i]);
        } else if (const SNumberOption* number = FindOption(kNumberOptions, a)) {
            long n = 0;
            if (!hasValue || !ParseInt(Utf8(args[++i]).c_str(), number->lo, number->hi, n))
                return UsageError(a + " needs a number from " + std::to_string(number->lo) +
                                  " to " + std::to_string(number->hi));
            number->apply(cmd, n);
        } else if (a.size() > 1 && a[0] == '-') {
            return UsageError("unknown option: " + a);
        } else {
            (IsSoundFont(args[i]) ? cmd.fonts : cmd.inputs).push_back(args[i]);
        }
    }
    if (cmd.inputs.empty())
        return UsageError("no MIDI file given");
    return kContinue;
}

// Settles the output format: --profile, else --format, else the output file's extension; an
// output file must have the extension of its format.
int ChooseProfile(SCommand& cmd) {
    const bool toFile = !cmd.outFile.empty();
    const size_t byPath = toFile ? converter::ProfileForPath(Utf8(cmd.outFile)) : 0;
    if (toFile && byPath == converter::kProfileCount)
        return UsageError("no output format has the extension of " + Utf8(cmd.outFile));
    size_t row = byPath;
    if (cmd.profile >= 0) {
        row = static_cast<size_t>(cmd.profile);
    } else if (!cmd.format.empty()) {
        row = converter::FindProfile(cmd.format);
        if (row == converter::kProfileCount)
            return UsageError("unknown format: " + cmd.format);
    }
    const converter::SEncoderProfile& profile = converter::EncoderProfiles()[row];
    if (toFile && std::string(profile.extension) != converter::EncoderProfiles()[byPath].extension)
        return UsageError(std::string("the output file needs the extension ") + profile.extension);
    cmd.options.profile = row;
    return kContinue;
}

int CheckOutputs(const SCommand& cmd) {
    if (!cmd.outFile.empty()) {
        if (!cmd.outDir.empty())
            return UsageError("--output and --out do not go together");
        if (cmd.inputs.size() != 1)
            return UsageError("--output takes one MIDI file; give --out DIR for more");
    }
    const fs::path folder = cmd.outFile.empty() ? cmd.outDir : cmd.outFile.parent_path();
    std::error_code ec;
    if (!folder.empty() && !fs::is_directory(folder, ec))
        return UsageError("the output folder does not exist: " + Utf8(folder));
    return kContinue;
}

// The given SoundFonts, else the system's General MIDI font.
int LoadFonts(SCommand& cmd) {
    std::error_code ec;
    if (cmd.fonts.empty()) {
        for (const char* p :
             {"/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf2/default-GM.sf2"}) {
            if (fs::exists(p, ec)) {
                cmd.fonts.emplace_back(p);
                break;
            }
        }
        if (cmd.fonts.empty())
            return UsageError("no SoundFont: give one with --sf2");
    }
    for (const fs::path& f : cmd.fonts) {
        audio::EError e = audio::EError::Ok;
        audio::PSoundFont font = audio::CSoundFont::Open(f, 0, e);
        if (!font) {
            std::fprintf(stderr, "harmolith-render: %s: cannot load the SoundFont (error %d)\n",
                         Utf8(f).c_str(), static_cast<int>(e));
            return kUsageError;
        }
        cmd.options.fonts.push_back({font, -1, 0});
    }
    return kContinue;
}

// What rendering one input came to: its line, printed in input order.
struct SOutcome {
    bool done = false;
    bool ok = false;
    std::string line;
};

// Renders every input, one line each, on up to cmd.jobs threads; the lines come out in the
// order of the inputs whatever order the files finish in. 1 when any failed or the run was
// canceled.
int RenderAll(SCommand& cmd) {
    CPlainMixer mixer;
    cmd.options.mixer = &mixer;
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    const converter::SEncoderProfile& row = converter::EncoderProfiles()[cmd.options.profile];
    if (row.program[0] != '\0')
        cmd.options.encoderProgram = EncoderProgram(row);

    const size_t count = cmd.inputs.size();
    const int processors = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const size_t workers =
        std::min(count, static_cast<size_t>(cmd.jobs > 0 ? cmd.jobs : processors));
    // One progress bar needs one file at a time.
    const bool showProgress = !cmd.quiet && workers == 1;
    std::vector<SOutcome> outcomes(count);
    std::mutex printLock;
    size_t printed = 0;
    std::atomic<size_t> next{0};
    const auto printReady = [&] {
        for (; printed < count && outcomes[printed].done; ++printed) {
            std::fputs(outcomes[printed].line.c_str(), outcomes[printed].ok ? stdout : stderr);
            std::fflush(outcomes[printed].ok ? stdout : stderr);
        }
    };
    const auto work = [&] {
        for (size_t i = next++; i < count && !cancelFlag.load(); i = next++) {
            const fs::path& input = cmd.inputs[i];
            const fs::path output = !cmd.outFile.empty()
                                        ? cmd.outFile
                                        : base::PathFromUtf8(converter::MakeOutputPath(
                                              Utf8(input), Utf8(cmd.outDir), row.extension));
            CProgress progress(Utf8(input.filename()), !showProgress);
            const auto t0 = std::chrono::steady_clock::now();
            const converter::SRenderResult r =
                converter::RenderFile(input, output, cmd.options, &progress, cancelFlag);
            const double took =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            progress.Clear();
            SOutcome o;
            o.done = true;
            o.ok = r.status == converter::ERenderStatus::Completed;
            char text[128];
            if (o.ok) {
                std::snprintf(text, sizeof text, " (%.1f s of audio, %.1fx real time)\n", r.seconds,
                              took > 0 ? r.seconds / took : 0.0);
                o.line = Utf8(input) + " -> " + Utf8(output) + text;
            } else {
                o.line = "harmolith-render: " + Utf8(input) + ": " + r.message + "\n";
            }
            std::lock_guard<std::mutex> guard(printLock);
            outcomes[i] = std::move(o);
            printReady();
        }
    };
    base::RunOnWorkers(workers, work);
    // After a cancel, files that finished behind one that never started.
    for (size_t i = printed; i < count; ++i) {
        if (outcomes[i].done)
            std::fputs(outcomes[i].line.c_str(), outcomes[i].ok ? stdout : stderr);
    }
    const auto failed = std::count_if(outcomes.begin(), outcomes.end(),
                                      [](const SOutcome& o) { return o.done && !o.ok; });
    std::fflush(stdout);
    if (cancelFlag.load())
        std::fputs("harmolith-render: canceled\n", stderr);
    return failed != 0 || cancelFlag.load() ? 1 : 0;
}

int Run(const std::vector<fs::path>& args) {
    SCommand cmd;
    int status = ParseArguments(args, cmd);
    if (status == kContinue)
        status = ChooseProfile(cmd);
    if (status == kContinue)
        status = CheckOutputs(cmd);
    if (status == kContinue)
        status = LoadFonts(cmd);
    return status == kContinue ? RenderAll(cmd) : status;
}

} // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    std::vector<fs::path> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    return Run(args);
}
#else
int main(int argc, char** argv) {
    std::vector<fs::path> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    return Run(args);
}
#endif
