// The outputs: WAV headers and sizes (also beyond 4 GiB), sample conversion, the partial file
// that only a finished output renames, command-line splitting, and encoder processes.
#include "audio/encode/CEncoderProcess.h"
#include "audio/encode/CWavWriter.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

using namespace hml::audio;

namespace {

uint32_t Le32(const std::vector<uint8_t>& v, size_t at) {
    uint32_t x;
    std::memcpy(&x, v.data() + at, 4);
    return x;
}
uint16_t Le16(const std::vector<uint8_t>& v, size_t at) {
    uint16_t x;
    std::memcpy(&x, v.data() + at, 2);
    return x;
}

std::vector<uint8_t> ReadAll(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

class EncodeTest : public ::testing::Test {
protected:
    static std::string Shell(const std::string& script) {
#ifdef _WIN32
        return "cmd /c " + script;
#else
        return "sh -c '" + script + "'";
#endif
    }
    hml::test::CTempFolder folder{"hml encode test "};
    const std::filesystem::path& dir = folder.path;
};

TEST_F(EncodeTest, HeadersCarryTheFormatAndTheirSizes) {
    const auto h16 = MakeWavHeader({44100, 2, ESampleFormat::Int16}, 1000);
    ASSERT_EQ(h16.size(), 44u);
    EXPECT_EQ(Le32(h16, 4), 36u + 1000);
    EXPECT_EQ(Le16(h16, 20), 1); // PCM
    EXPECT_EQ(Le32(h16, 28), 44100u * 4);
    EXPECT_EQ(Le32(h16, 40), 1000u);

    const auto h24 = MakeWavHeader({48000, 2, ESampleFormat::Int24}, 3001);
    EXPECT_EQ(Le16(h24, 20), 0xFFFE); // extensible, as 24-bit wants
    EXPECT_EQ(Le16(h24, 34), 24);
    EXPECT_EQ(Le32(h24, h24.size() - 4), 3001u);
    EXPECT_EQ(Le32(h24, 4), h24.size() - 8 + 3002); // with the pad byte

    const auto hf = MakeWavHeader({48000, 2, ESampleFormat::Float32}, 8000);
    EXPECT_EQ(Le16(hf, 20), 3);
    EXPECT_EQ(std::string(hf.begin() + 38, hf.begin() + 42), "fact");
    EXPECT_EQ(Le32(hf, 46), 1000u); // frames

    // Just below the limit the sizes are exact; beyond it they say "to the end of the file".
    const uint64_t fits = 0xFFFFFFFFull - 36 - 1;
    EXPECT_EQ(Le32(MakeWavHeader({48000, 2, ESampleFormat::Int16}, fits), 4), 0xFFFFFFFEu);
    const auto big = MakeWavHeader({48000, 2, ESampleFormat::Int16}, 5ull << 30);
    EXPECT_EQ(Le32(big, 4), 0xFFFFFFFFu);
    EXPECT_EQ(Le32(big, 40), 0xFFFFFFFFu);
    const auto bigf = MakeWavHeader({48000, 2, ESampleFormat::Float32}, 64ull << 30);
    EXPECT_EQ(Le32(bigf, 46), 0xFFFFFFFFu);

    const float in[] = {0.0f, 0.5f, -1.0f, 2.0f, std::nanf("")};
    uint8_t out[5 * 3];
    ConvertSamples(in, 5, ESampleFormat::Int16, out);
    EXPECT_EQ(int16_t(out[2] | out[3] << 8), 16384);
    EXPECT_EQ(int16_t(out[4] | out[5] << 8), -32767);
    EXPECT_EQ(int16_t(out[6] | out[7] << 8), 32767); // clamped
    EXPECT_EQ(int16_t(out[8] | out[9] << 8), 0);     // NaN
    ConvertSamples(in, 5, ESampleFormat::Int24, out);
    EXPECT_EQ(out[3] | out[4] << 8 | out[5] << 16, 0x400000);
    EXPECT_EQ(out[9] | out[10] << 8 | out[11] << 16, 0x7FFFFF);
}

TEST_F(EncodeTest, WavFilesAppearOnlyWhenFinished) {
    std::vector<float> ramp(2 * 999);
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = static_cast<float>(i) / ramp.size() - 0.5f;
    for (ESampleFormat sample :
         {ESampleFormat::Int16, ESampleFormat::Int24, ESampleFormat::Float32}) {
        const auto out = dir / "out put.wav";
        std::filesystem::remove(out);
        EError e = EError::Unknown;
        auto w = CWavWriter::Create(out, {22050, 2, sample}, e);
        ASSERT_TRUE(w);
        EXPECT_TRUE(w->Write(ramp.data(), 999));
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"out put.wav.part"});
        std::string why;
        EXPECT_EQ(w->Finish(&why), EError::Ok) << why;
        const std::vector<uint8_t> bytes = ReadAll(out);
        const SWavFormat f{22050, 2, sample};
        const size_t header = MakeWavHeader(f, 0).size();
        const size_t data = 999 * f.BytesPerFrame();
        ASSERT_EQ(bytes.size(), header + data + (data & 1));
        EXPECT_EQ(Le32(bytes, 4), bytes.size() - 8);
        EXPECT_EQ(Le32(bytes, header - 4), data);
        std::vector<uint8_t> expect(data);
        ConvertSamples(ramp.data(), ramp.size(), sample, expect.data());
        EXPECT_TRUE(std::equal(expect.begin(), expect.end(), bytes.begin() + header));
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"out put.wav"});
    }
    // A second output replaces the first; a dropped one leaves the first alone.
    EError e;
    auto again = CWavWriter::Create(dir / "out put.wav", {8000, 1, ESampleFormat::Int16}, e);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->Finish(nullptr), EError::Ok);
    EXPECT_EQ(ReadAll(dir / "out put.wav").size(), 44u);
    {
        auto dropped = CWavWriter::Create(dir / "gone.wav", {8000, 1, ESampleFormat::Int16}, e);
        ASSERT_TRUE(dropped);
        dropped->Write(ramp.data(), 10);
    } // destroyed unfinished
    auto aborted = CWavWriter::Create(dir / "gone.wav", {8000, 1, ESampleFormat::Int16}, e);
    aborted->Abort();
    EXPECT_FALSE(aborted->Write(ramp.data(), 10));
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"out put.wav"});
    EXPECT_FALSE(
        CWavWriter::Create(dir / "no folder" / "x.wav", {8000, 1, ESampleFormat::Int16}, e));
    EXPECT_EQ(e, EError::Create);
    EXPECT_FALSE(CWavWriter::Create(dir / "x.wav", {0, 1, ESampleFormat::Int16}, e));
}

TEST_F(EncodeTest, CommandLinesSplitAsAShellWould) {
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitCommandLine("  lame  -b 128 - \"out put.mp3\"  "),
              (V{"lame", "-b", "128", "-", "out put.mp3"}));
    EXPECT_EQ(SplitCommandLine("a\"b c\"d 'x \"y\" \\z' e\\ f \"q\\\"\\\\\\n\" \"\""),
              (V{"ab cd", "x \"y\" \\z", "e f", "q\"\\\\n", ""}));
    EXPECT_EQ(SplitCommandLine("\t\n"), V{});
    EXPECT_EQ(SplitCommandLine("unterminated \"quote"), (V{"unterminated", "quote"}));
}

TEST_F(EncodeTest, EncoderProcessesGetAWavStreamAndTheirExitDecides) {
    EError e = EError::Ok;
    std::string why;
    EXPECT_FALSE(CEncoderProcess::Start("hml-no-such-encoder -x", e, &why));
    EXPECT_EQ(e, EError::Create);
    EXPECT_FALSE(why.empty());

    // A process that reads its input to the end and copies it into the output file.
    std::vector<float> tone(2 * 4800);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = 0.25f * std::sin(static_cast<float>(i) * 0.05f);
#ifndef _WIN32
    const auto out = dir / "copy.wav", partial = PartialPath(out);
    const std::string copy = "sh -c 'cat > \"$0\"' \"" + partial.string() + "\"";
    auto w =
        CEncoderWriter::Create(copy, partial, out, 48000, 2, EStreamedLength::Maximal, e, &why);
    ASSERT_TRUE(w) << why;
    EXPECT_TRUE(w->Write(tone.data(), 4800));
    EXPECT_TRUE(w->IsActive());
    EXPECT_EQ(w->Finish(&why), EError::Ok) << why;
    const std::vector<uint8_t> wav = ReadAll(out);
    ASSERT_EQ(wav.size(), 68u + 4800 * 6);
    EXPECT_EQ(Le16(wav, 34), 24);
    EXPECT_EQ(Le32(wav, 64), 0xFFFFFFFFu); // streamed: length unknown
    std::filesystem::remove(out);
#endif

    // One that exits at once with an error: writing fails, nothing is left.
    auto quits = CEncoderWriter::Create(Shell("exit 3"), dir / "q.part", dir / "q.mp3", 48000, 2,
                                        EStreamedLength::Maximal, e, &why);
    ASSERT_TRUE(quits);
    bool active = true;
    for (int i = 0; i < 500 && active; ++i) {
        quits->Write(tone.data(), 4800);
        active = quits->IsActive();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_FALSE(active);
    EXPECT_EQ(quits->Finish(&why), EError::Create);
    EXPECT_NE(why.find("3"), std::string::npos) << why;

    // A process still busy when the output is dropped is ended; its partial file goes too.
#ifdef _WIN32
    const std::string wait = "cmd /c pause";
#else
    const std::string wait = "sleep 30";
#endif
    auto slow = CEncoderWriter::Create(wait, dir / "s.part", dir / "s.mp3", 48000, 2,
                                       EStreamedLength::Maximal, e, &why);
    ASSERT_TRUE(slow);
    std::ofstream(dir / "s.part") << "partial";
    const auto t0 = std::chrono::steady_clock::now();
    slow->Abort();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10));
    EXPECT_EQ(folder.Names(), std::vector<std::string>{});
}

#ifndef _WIN32
// The real encoders with the converter's argument templates, when installed.
TEST_F(EncodeTest, FlacAndLameEncodeTheStream) {
    std::vector<float> tone(2 * 48000);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = 0.25f * std::sin(static_cast<float>(i / 2) * 0.0576f);
    struct SCase {
        const char* program;
        std::string args;
        const char* name;
        EStreamedLength length;
    };
    for (const SCase& c :
         {SCase{"/usr/bin/flac", "--tag \"TITLE=t\" -5 - -o", "a.flac", EStreamedLength::Maximal},
          SCase{"/usr/bin/lame", "--tt \"t\" -b 128 -", "a.mp3", EStreamedLength::Zero}}) {
        if (!std::filesystem::exists(c.program))
            continue;
        const auto out = dir / c.name, partial = PartialPath(out);
        EError e;
        std::string why;
        auto w = CEncoderWriter::Create(std::string(c.program) + " " + c.args + " \"" +
                                            partial.string() + "\"",
                                        partial, out, 48000, 2, c.length, e, &why);
        ASSERT_TRUE(w) << why;
        for (int i = 0; i < 10; ++i)
            EXPECT_TRUE(w->Write(tone.data() + i * 9600, 4800));
        EXPECT_EQ(w->Finish(&why), EError::Ok) << why;
        const std::vector<uint8_t> bytes = ReadAll(out);
        ASSERT_GT(bytes.size(), 1000u) << c.name;
        if (std::string(c.name) == "a.flac")
            EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "fLaC");
        // LAME tags the length it read in the header: 0 means unknown to players, the maximal
        // size would claim 49 days.
        const std::string text(bytes.begin(), bytes.end());
        const size_t tlen = text.find("TLEN");
        if (tlen != std::string::npos)
            EXPECT_LE(std::atof(text.c_str() + tlen + 11), 2000.0) << c.name;
        EXPECT_FALSE(std::filesystem::exists(partial));
    }
}
#endif

} // namespace
