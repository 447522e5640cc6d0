// harmolith-render: renders MIDI files to WAV, FLAC or MP3 from the command line, with the
// converter's render core. One line per file; exit status 1 when any file failed.
#include "audio/sf2/CSoundFont.h"
#include "converter/EncoderProfiles.h"
#include "converter/RenderCore.h"
#include "mixer/MixerOwner.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
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
using namespace hml::mixer;
namespace fs = std::filesystem;

namespace {

std::atomic<bool> cancelFlag{false};

extern "C" void OnInterrupt(int) {
    cancelFlag.store(true);
}

const char* kUsage =
    "usage: harmolith-render [options] FILE.mid...\n"
    "Renders MIDI files (SMF formats 0, 1, 2 and RMID) to audio files.\n"
    "  --sf2 FILE         SoundFont; repeat for more, earlier ones win (default: the system's\n"
    "                     GM font in /usr/share/sounds/sf2)\n"
    "  --format F         wav16 (default), wav24, float, flac or mp3 (flac and mp3 need the\n"
    "                     flac or lame program: on the PATH, or under Windows also in the\n"
    "                     encoders folder beside harmolith-render)\n"
    "  --profile N        output format by converter table row 0-8 instead of --format\n"
    "  --encoder-options  extra encoder arguments (%%CUSTOMPARAMS%%)\n"
    "  --rate HZ          sample rate, 8000-384000 (default 48000)\n"
    "  --key N            key shift in semitones, -12..12; drum channels keep their keys\n"
    "  --skip-silence     start the output at the first note\n"
    "  --reverb N         reverb level 0-127 (default 64)\n"
    "  --chorus N         chorus level 0-127 (default 64)\n"
    "  --override         the file's SysEx is ignored and resets get our levels (default)\n"
    "  --no-override      the file's SysEx reaches the synthesizer\n"
    "  --voices N         voice limit (default 500)\n"
    "  --sinc             windowed-sinc interpolation\n"
    "  --out DIR          folder of the outputs (default: beside each input)\n"
    "  --help             this text\n";

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
    explicit CProgress(std::string n) : name(std::move(n)), tty(HML_ISATTY(2) != 0) {}
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

std::string Utf8(const fs::path& p) {
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

fs::path FromUtf8(const std::string& s) {
    return fs::path(std::u8string(s.begin(), s.end()));
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

int Run(const std::vector<fs::path>& args) {
    converter::SRenderOptions options;
    std::vector<fs::path> fonts, inputs;
    fs::path outDir;
    std::string format = "wav16";
    long profile = -1;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string a = Utf8(args[i]);
        const bool hasValue = i + 1 < args.size();
        const auto value = [&]() { return Utf8(args[++i]); };
        long n = 0;
        const auto number = [&](long lo, long hi) {
            if (!hasValue || !ParseInt(value().c_str(), lo, hi, n)) {
                std::fprintf(stderr, "harmolith-render: %s needs a number from %ld to %ld\n",
                             a.c_str(), lo, hi);
                return false;
            }
            return true;
        };
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--sf2" && hasValue) {
            fonts.push_back(args[++i]);
        } else if (a == "--format" && hasValue) {
            format = value();
        } else if (a == "--encoder-options" && hasValue) {
            options.encoderOptions = value();
        } else if (a == "--out" && hasValue) {
            outDir = args[++i];
        } else if (a == "--profile") {
            if (!number(0, converter::kProfileCount - 1))
                return 2;
            profile = n;
        } else if (a == "--rate") {
            if (!number(8000, 384000))
                return 2;
            options.rate = static_cast<uint32_t>(n);
        } else if (a == "--key") {
            if (!number(-12, 12))
                return 2;
            options.keyShift = static_cast<int>(n);
        } else if (a == "--reverb" || a == "--chorus") {
            if (!number(0, 127))
                return 2;
            (a == "--reverb" ? options.reverb : options.chorus) = static_cast<uint32_t>(n);
        } else if (a == "--voices") {
            if (!number(audio::kMinVoices, audio::kMaxVoices))
                return 2;
            options.voices = static_cast<int>(n);
        } else if (a == "--skip-silence") {
            options.skipInitialSilence = true;
        } else if (a == "--override") {
            options.overrideEffects = true;
        } else if (a == "--no-override") {
            options.overrideEffects = false;
        } else if (a == "--sinc") {
            options.extraFlags |= audio::StreamFlags::Sinc;
        } else if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "harmolith-render: unknown option or missing value: %s\n%s",
                         a.c_str(), kUsage);
            return 2;
        } else {
            inputs.push_back(args[i]);
        }
    }
    if (inputs.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (profile < 0) {
        static const char* names[] = {"wav16", "wav24", "float", "", "mp3", "", "flac"};
        for (long r = 0; r < 7; ++r)
            if (names[r][0] != '\0' && format == names[r])
                profile = r;
        if (profile < 0) {
            std::fprintf(stderr, "harmolith-render: unknown format: %s\n", format.c_str());
            return 2;
        }
    }
    options.profile = static_cast<size_t>(profile);
    std::error_code ec;
    if (!outDir.empty() && !fs::is_directory(outDir, ec)) {
        std::fprintf(stderr, "harmolith-render: the output folder does not exist: %s\n",
                     Utf8(outDir).c_str());
        return 2;
    }
    if (fonts.empty()) {
        for (const char* p :
             {"/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf2/default-GM.sf2"}) {
            if (fs::exists(p, ec)) {
                fonts.emplace_back(p);
                break;
            }
        }
        if (fonts.empty()) {
            std::fputs("harmolith-render: no SoundFont: give one with --sf2\n", stderr);
            return 2;
        }
    }
    for (const fs::path& f : fonts) {
        audio::EError e = audio::EError::Ok;
        audio::PSoundFont font = audio::CSoundFont::Open(f, 0, e);
        if (!font) {
            std::fprintf(stderr, "harmolith-render: %s: cannot load the SoundFont (error %d)\n",
                         Utf8(f).c_str(), static_cast<int>(e));
            return 2;
        }
        options.fonts.push_back({font, -1, 0});
    }
    CPlainMixer mixer;
    options.mixer = &mixer;

    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    const converter::SEncoderProfile& row = converter::EncoderProfiles()[options.profile];
    if (row.program[0] != '\0')
        options.encoderProgram = EncoderProgram(row);
    int failed = 0;
    for (const fs::path& input : inputs) {
        if (cancelFlag.load())
            break;
        const fs::path output =
            FromUtf8(converter::MakeOutputPath(Utf8(input), Utf8(outDir), row.extension));
        CProgress progress(Utf8(input.filename()));
        const auto t0 = std::chrono::steady_clock::now();
        const converter::SRenderResult r =
            converter::RenderFile(input, output, options, &progress, cancelFlag);
        const double took =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        progress.Clear();
        if (r.status == converter::ERenderStatus::Completed) {
            std::printf("%s -> %s (%.1f s of audio, %.1fx real time)\n", Utf8(input).c_str(),
                        Utf8(output).c_str(), r.seconds, took > 0 ? r.seconds / took : 0.0);
        } else {
            ++failed;
            std::fprintf(stderr, "harmolith-render: %s: %s\n", Utf8(input).c_str(),
                         r.message.c_str());
        }
        std::fflush(stdout);
    }
    if (cancelFlag.load())
        std::fputs("harmolith-render: canceled\n", stderr);
    return failed != 0 || cancelFlag.load() ? 1 : 0;
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
