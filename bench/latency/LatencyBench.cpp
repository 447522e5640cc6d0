// hml_latency_bench: how long after a note-on is written to the ring its first sample reaches the
// sound server, against the floor of the set-up itself.
//
//   hml_latency_bench probe COUNT CAPTURE TIMES   the floor: a click written straight to the
//                                                 device the moment it is asked for
//   hml_latency_bench synth COUNT CAPTURE TIMES [busy]
//                                                 note-ons into port 1 of a running Harmolith;
//                                                 busy: a burst of records before each, so the
//                                                 port works in its fast mode
//
// CAPTURE is the recording of everything the sound server played, TIMES the recorder's log of
// when each piece of it arrived (one "seconds bytes" line per piece, on the clock of
// QueryPerformanceCounter). Prints the latencies' median, 90th and 99th percentile in ms.
#include "audio/win32/AudioEndpoint.h"
#include "midiclient/ShmClient.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr double kRate = 48000;
constexpr double kBytesPerSecond = kRate * 4;

double Now() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The floor: a WASAPI client that keeps one period and a little queued, and writes a click the
// moment it is asked.
std::vector<double> Probe(int count) {
    std::vector<double> sent;
    hml::audio::EError error = hml::audio::EError::Ok;
    auto endpoint = hml::audio::OpenWasapiEndpoint(-1, 48000, 48000, error);
    if (!endpoint) {
        std::fprintf(stderr, "hml_latency_bench: no device (%d)\n", static_cast<int>(error));
        return sent;
    }
    const uint32_t keep = endpoint->PeriodFrames() + 144;
    std::vector<int16_t> silence(2 * 4800, 0), click(2 * 96, 16000);
    const double start = Now();
    double written = 0; // frames written, against the time since start
    double next = start + 1.0;
    while (static_cast<int>(sent.size()) < count) {
        const double now = Now();
        const double ahead = written - (now - start) * kRate;
        if (now >= next) {
            endpoint->Write(click.data(), 96);
            sent.push_back(now);
            written = std::max(written, (now - start) * kRate) + 96;
            next = now + 0.3 + 0.1 * (sent.size() % 3);
        } else if (ahead < keep) {
            const uint32_t frames = static_cast<uint32_t>(keep - std::max(0.0, ahead));
            endpoint->Write(silence.data(), std::min<uint32_t>(frames, 4800));
            written = std::max(written, (now - start) * kRate) + frames;
        }
        Sleep(1);
    }
    Sleep(500);
    return sent;
}

// Note-ons of a short percussive sound into port 1, one every 300-500 ms.
std::vector<double> Synth(int count, bool busy) {
    std::vector<double> sent;
    CShmClient client;
    if (!client.Connect()) {
        std::fprintf(stderr, "hml_latency_bench: no synth is running\n");
        return sent;
    }
    client.Open(0);
    client.ShortMsg(0, 0x0020C9); // drums on channel 10, standard kit
    client.Flush();
    Sleep(1000);
    for (int i = 0; i < count; ++i) {
        if (busy) {
            for (int n = 0; n < 12; ++n) {
                client.ShortMsg(0, 0x0000B0u | static_cast<uint32_t>(n) << 16); // mod wheel
            }
            client.Flush();
        }
        client.ShortMsg(0, 0x7F2599); // side stick, full velocity
        client.Flush();
        sent.push_back(Now());
        Sleep(static_cast<DWORD>(300 + 100 * (i % 3)));
        client.ShortMsg(0, 0x002589);
        client.Flush();
    }
    Sleep(500);
    client.Close(0);
    client.Flush();
    return sent;
}

struct SArrival {
    double seconds;
    double bytes;
};

std::vector<SArrival> ReadTimes(const wchar_t* path) {
    std::vector<SArrival> times;
    FILE* f = _wfopen(path, L"r");
    if (!f) {
        return times;
    }
    double s = 0, b = 0;
    while (std::fscanf(f, "%lf %lf", &s, &b) == 2) {
        times.push_back({s, b});
    }
    std::fclose(f);
    return times;
}

// The byte of the capture that arrived at `seconds`, and the time a byte arrived, counting the
// audio of each piece as having arrived at the pace of playback up to the piece's arrival.
double ByteAt(const std::vector<SArrival>& times, double seconds) {
    auto it = std::lower_bound(times.begin(), times.end(), seconds,
                               [](const SArrival& a, double t) { return a.seconds < t; });
    if (it == times.end()) {
        return -1;
    }
    return it->bytes - (it->seconds - seconds) * kBytesPerSecond;
}

double TimeOf(const std::vector<SArrival>& times, double byte) {
    auto it = std::lower_bound(times.begin(), times.end(), byte,
                               [](const SArrival& a, double b) { return a.bytes < b; });
    if (it == times.end()) {
        return -1;
    }
    return it->seconds - (it->bytes - byte) / kBytesPerSecond;
}

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const size_t at =
        std::min(values.size() - 1, static_cast<size_t>(p * (values.size() - 1) + 0.5));
    return values[at];
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 5) {
        std::fputs("usage: hml_latency_bench probe|synth COUNT CAPTURE TIMES [busy]\n", stderr);
        return 2;
    }
    const std::wstring mode = argv[1];
    const int count = _wtoi(argv[2]);
    const bool busy = argc > 5 && std::wstring(argv[5]) == L"busy";
    const std::vector<double> sent = mode == L"probe" ? Probe(count) : Synth(count, busy);
    if (sent.empty()) {
        return 1;
    }
    Sleep(300);
    const std::vector<SArrival> times = ReadTimes(argv[4]);
    std::ifstream in(argv[3], std::ios::binary);
    const std::vector<char> raw{std::istreambuf_iterator<char>(in), {}};
    const auto* samples = reinterpret_cast<const int16_t*>(raw.data());
    const size_t frames = raw.size() / 4;
    std::vector<double> latencies;
    for (double t : sent) {
        const double from = ByteAt(times, t - 0.005);
        if (from < 0) {
            continue;
        }
        // The first frame that is loud, within half a second.
        for (size_t f = static_cast<size_t>(std::max(0.0, from) / 4); f < frames; ++f) {
            if (std::abs(samples[2 * f]) > 600 || std::abs(samples[2 * f + 1]) > 600) {
                const double arrival = TimeOf(times, static_cast<double>(f) * 4);
                if (arrival >= 0 && arrival - t < 0.5) {
                    latencies.push_back((arrival - t) * 1000);
                }
                break;
            }
        }
    }
    if (latencies.empty()) {
        std::fputs("hml_latency_bench: no onset found in the recording\n", stderr);
        return 1;
    }
    std::printf("%zu of %zu onsets: median %.1f ms, p90 %.1f ms, p99 %.1f ms\n", latencies.size(),
                sent.size(), Percentile(latencies, 0.5), Percentile(latencies, 0.9),
                Percentile(latencies, 0.99));
    return 0;
}
