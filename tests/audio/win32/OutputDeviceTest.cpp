// Output devices: numbering, errors, and what a device really plays (Wine hands it to ALSA,
// whose file plugin the test run points at a capture file).

#include "audio/win32/COutputDevice.h"
#include "support/win32/AudioCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <vector>

namespace hml::audio {
namespace {

// A sine at a fixed frequency and amplitude, counting the frames it handed out.
class CSineSource : public IOutputSource {
public:
    CSineSource(double frequency_, double rate_)
        : step(2 * 3.14159265358979 * frequency_ / rate_) {}
    size_t MixInto(float* out, size_t frames) override {
        for (size_t i = 0; i < frames; ++i) {
            const float v = static_cast<float>(0.3 * std::sin(phase));
            out[2 * i] += v;
            out[2 * i + 1] += v;
            phase += step;
        }
        played += frames;
        return frames;
    }
    std::atomic<size_t> played{0};

private:
    double step;
    double phase = 0;
};

TEST(OutputDeviceTest, NumbersAndErrors) {
    const auto devices = EnumerateOutputDevices();
    ASSERT_GE(devices.size(), 2u);
    EXPECT_EQ(devices[0].name, L"No sound");
    EXPECT_TRUE(devices[1].isDefault);

    EError error = EError::Ok;
    EXPECT_EQ(COutputDevice::Open(static_cast<int>(devices.size()) + 5, 48000, error), nullptr);
    EXPECT_EQ(error, EError::Device);
    EXPECT_EQ(COutputDevice::Open(-2, 48000, error), nullptr);
    EXPECT_EQ(error, EError::Device);

    auto byDefault = COutputDevice::Open(-1, 44100, error);
    ASSERT_NE(byDefault, nullptr) << static_cast<int>(error);
    EXPECT_EQ(byDefault->Number(), 1) << "-1 is the default device";
    byDefault->SetExtraRoomMs(5000);
    EXPECT_EQ(byDefault->ExtraRoomMs(), COutputDevice::kMaxExtraRoomMs);
    EXPECT_GT(byDefault->PeriodFrames(), 0u);
}

// Both interfaces keep only about a period queued, and the sources are asked for every frame
// the device plays, whatever the mixing thread's timing.
TEST(OutputDeviceTest, QueueStaysShortAndSourcesFillEveryFrame) {
    for (EOutputApi api : {EOutputApi::Wasapi, EOutputApi::WaveOut}) {
        EError error = EError::Ok;
        auto device = COutputDevice::Open(1, 48000, error, api);
        ASSERT_NE(device, nullptr) << static_cast<int>(error);
        EXPECT_EQ(device->Api(), api);
        device->SetExtraRoomMs(250);
        CSineSource sine(440, 48000);
        device->Add(&sine);
        Sleep(300); // settle: Wine's buffers fill first
        const size_t before = sine.played;
        uint32_t mostQueued = 0;
        for (int i = 0; i < 100; ++i) {
            mostQueued = std::max(mostQueued, device->QueuedFrames());
            Sleep(7);
        }
        const size_t during = sine.played - before;
        device->Remove(&sine);
        const uint32_t period = device->PeriodFrames();
        EXPECT_LE(mostQueued, device->TargetFrames() + period) << "api " << static_cast<int>(api);
        EXPECT_LE(device->TargetFrames(), period + 48000 * 253 / 1000);
        // About 0.7 s of audio was taken in about 0.7 s.
        EXPECT_GT(during, 48000u * 5 / 10);
        EXPECT_LT(during, 48000u * 11 / 10);
    }
}

TEST(OutputDeviceTest, NoSoundDeviceConsumesInRealTime) {
    EError error = EError::Ok;
    auto silent = COutputDevice::Open(0, 48000, error);
    ASSERT_NE(silent, nullptr);
    CSineSource sine(440, 48000);
    silent->Add(&sine);
    Sleep(500);
    silent->Remove(&sine);
    const size_t played = sine.played;
    // Half a second at 48 kHz, give or take the scheduler.
    EXPECT_GT(played, 48000u * 3 / 10);
    EXPECT_LT(played, 48000u * 8 / 10);
    Sleep(50);
    EXPECT_EQ(sine.played, played) << "a removed source is left alone";
}

TEST(OutputDeviceTest, DefaultDevicePlaysTheSourcesMixed) {
    std::filesystem::path path;
    if (!test::CaptureFile(path)) {
        GTEST_SKIP() << "no audio capture in this environment";
    }
    const std::uintmax_t start = test::CaptureSize(path);
    EError error = EError::Ok;
    {
        auto device = COutputDevice::Open(1, 48000, error);
        ASSERT_NE(device, nullptr);
        CSineSource low(440, 48000), high(1000, 48000);
        device->Add(&low);
        device->Add(&high);
        Sleep(1500);
        device->Remove(&low);
        device->Remove(&high);
    }
    Sleep(300); // the capture runs a little behind the device
    const std::vector<char> bytes = test::RecordedBytes(path, start);
    ASSERT_GT(bytes.size(), 48000u * 4u / 2) << "at least half a second was played";
    // The capture holds what Wine gave ALSA: 16-bit stereo at the device's rate. Both tones are
    // there at their level, and nothing between them.
    const auto* samples = reinterpret_cast<const int16_t*>(bytes.data());
    const size_t frames = bytes.size() / 4;
    auto level = [&](double frequency) {
        const size_t first = frames / 2, count = 4800;
        const double w = 2 * 3.14159265358979 * frequency / 48000;
        double re = 0, im = 0;
        for (size_t i = 0; i < count; ++i) {
            const double v = samples[2 * (first + i)] / 32768.0;
            re += v * std::cos(w * static_cast<double>(i));
            im += v * std::sin(w * static_cast<double>(i));
        }
        return 2 * std::sqrt(re * re + im * im) / static_cast<double>(count);
    };
    EXPECT_NEAR(level(440), 0.3, 0.05);
    EXPECT_NEAR(level(1000), 0.3, 0.05);
    EXPECT_LT(level(700), 0.01);
}

} // namespace
} // namespace hml::audio
