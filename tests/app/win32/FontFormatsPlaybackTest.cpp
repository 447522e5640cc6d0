// The font formats besides SF2 play through a port: a note goes into port 1 and the virtual sound
// card must hear the font's tone at the note's pitch, which also proves the samples were found and
// decoded. An SFZ instrument plays a WAV sine an octave above its key centre; an SF3 font plays an
// Ogg Vorbis stream at its root key.

#include "HarmolithProcess.h"
#include "compare/AudioCompare.h"
#include "support/CSf2Writer.h"
#include "support/TestPaths.h"
#include "support/WavFile.h"
#include "support/win32/AudioCapture.h"
#include "win32/ClientProcess.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

using harness::CHarmolith;
using namespace hml;

// Starts the synth with `font` as the only SoundFont, plays A4 on port 1 and returns the pitch
// the sound card heard; 0 when nothing was heard.
double PlayA4(CHarmolith& harmolith, const std::filesystem::path& font,
              const std::filesystem::path& capturePath) {
    CHarmolith::SetDriverInstalled(true);
    harmolith.WriteConfig("[Advanced]\r\nDevicesCount=1\r\nOutputDevice=1\r\n[SoundFonts]\r\nsf1=" +
                          font.string() + "\r\nsf1.enabled=3\r\nsf1.preload=0\r\n");
    harmolith.Start();
    EXPECT_NE(harmolith.Tray(), nullptr) << "the synth did not start";
    HANDLE ready = StartClient(L"wait-for-synth=30000");
    EXPECT_NE(ready, nullptr);
    if (!ready)
        return 0;
    WaitForSingleObject(ready, 60000);
    CloseHandle(ready);
    Sleep(500);

    const std::uintmax_t start = test::CaptureSize(capturePath);
    HANDLE player = StartClient(L"port=0 open note=69,110,2000 sleep=500 close");
    EXPECT_NE(player, nullptr);
    if (!player)
        return 0;
    EXPECT_EQ(WaitForSingleObject(player, 60000), WAIT_OBJECT_0);
    CloseHandle(player);
    // The recorder writes what the sound card played some time later, and under load that lag
    // grows: read until it holds the whole note (a second or more of sound followed by half a
    // second of quiet), for up to 20 seconds.
    std::vector<float> x;
    size_t firstLoud = 0, lastLoud = 0;
    for (int i = 0; i < 200; ++i) {
        const std::vector<char> bytes = test::RecordedBytes(capturePath, start);
        x = compare::FromRaw16(reinterpret_cast<const int16_t*>(bytes.data()), bytes.size() / 4,
                               48000)
                .left;
        firstLoud = lastLoud = 0;
        for (size_t k = 0; k < x.size(); ++k) {
            if (std::fabs(x[k]) > 0.01f) {
                firstLoud = firstLoud == 0 ? k : firstLoud;
                lastLoud = k;
            }
        }
        if (lastLoud > firstLoud + 48000 && x.size() > lastLoud + 24000)
            break;
        Sleep(100);
    }

    // Rising zero crossings while the note sounds.
    size_t first = 0, last = 0, crossings = 0;
    for (size_t i = firstLoud + 1; i <= lastLoud && i < x.size(); ++i) {
        if (x[i - 1] < 0 && x[i] >= 0) {
            if (crossings == 0)
                first = i;
            ++crossings;
            last = i;
        }
    }
    if (crossings <= 200)
        return 0;
    return (crossings - 1) * 48000.0 / static_cast<double>(last - first);
}

TEST(FontFormatsPlaybackTest, APortPlaysAnSfzInstrumentAtTheNotesPitch) {
    std::filesystem::path capturePath;
    if (!test::CaptureFile(capturePath))
        GTEST_SKIP() << "no audio capture in this environment";
    CHarmolith harmolith;
    const std::filesystem::path dir = harmolith.folder.path / "Sine Set";
    std::filesystem::create_directories(dir / "samples");
    test::WriteFile(dir / "samples" / "Sine A.wav",
                    test::MakeWav(test::SineWave(220.0, 44100, 44100 * 4, 0.37), 1, 44100,
                                  test::EWavFormat::Pcm16));
    {
        std::ofstream sfz(dir / "sine.sfz");
        sfz << "<control> default_path=samples\\\n<region> sample=Sine A.wav pitch_keycenter=57 "
               "loop_mode=loop_continuous ampeg_release=0.05\n";
    }
    EXPECT_NEAR(PlayA4(harmolith, dir / "sine.sfz", capturePath), 440.0, 4.0);
}

TEST(FontFormatsPlaybackTest, APortPlaysAnSf3FontAtTheNotesPitch) {
    std::filesystem::path capturePath;
    if (!test::CaptureFile(capturePath))
        GTEST_SKIP() << "no audio capture in this environment";
    std::ifstream oggFile(std::filesystem::path(hml::test::Source("tests/audio/data/tone440.ogg")),
                          std::ios::binary);
    const std::vector<uint8_t> ogg((std::istreambuf_iterator<char>(oggFile)), {});
    ASSERT_FALSE(ogg.empty()) << "test material missing";
    // A 440 Hz stream at 22050 Hz with its root at A4, looped over its middle.
    hml::test::CSf2Writer w;
    const int tone = w.AddOggSample("tone", ogg, 22050, 69, 2000, 8000);
    const int it = w.AddInstrument("it", {{hml::test::Gen(54, 1)}, {}, -1}, {{{}, {}, tone}});
    w.AddPreset("Tone", 0, 0, {}, {{{}, {}, it}});
    const std::vector<uint8_t> bytes = w.Build();

    CHarmolith harmolith;
    const std::filesystem::path font = harmolith.folder.path / "Tone.sf3";
    std::ofstream(font, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    EXPECT_NEAR(PlayA4(harmolith, font, capturePath), 440.0, 4.0);
}

} // namespace
