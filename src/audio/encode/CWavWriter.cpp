#include "audio/encode/CWavWriter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <system_error>

namespace hml::audio {

namespace {

void Put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}
void PutTag(std::vector<uint8_t>& v, const char* tag) {
    v.insert(v.end(), tag, tag + 4);
}
uint32_t Fit32(uint64_t x) {
    return x > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(x);
}

} // namespace

std::vector<uint8_t> MakeWavHeader(const SWavFormat& f, uint64_t dataBytes) {
    const bool isFloat = f.sample == ESampleFormat::Float32;
    const bool extensible = f.sample == ESampleFormat::Int24;
    const uint32_t fmtSize = extensible ? 40 : isFloat ? 18 : 16;
    const uint32_t block = f.BytesPerFrame();
    std::vector<uint8_t> h;
    h.reserve(80);
    PutTag(h, "RIFF");
    Put32(h, 0); // filled in below
    PutTag(h, "WAVE");
    PutTag(h, "fmt ");
    Put32(h, fmtSize);
    Put16(h, extensible ? 0xFFFE : isFloat ? 3 : 1);
    Put16(h, f.channels);
    Put32(h, f.rate);
    Put32(h, f.rate * block);
    Put16(h, block);
    Put16(h, f.BytesPerSample() * 8);
    if (extensible) {
        Put16(h, 22);
        Put16(h, f.BytesPerSample() * 8);
        Put32(h, f.channels == 1 ? 0x4 : f.channels == 2 ? 0x3 : 0);
        static const uint8_t pcm[16] = {1,    0, 0, 0,    0, 0,    0x10, 0,
                                        0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
        h.insert(h.end(), pcm, pcm + 16);
    } else if (isFloat) {
        Put16(h, 0);
        PutTag(h, "fact");
        Put32(h, 4);
        Put32(h, Fit32(block ? dataBytes / block : 0));
    }
    PutTag(h, "data");
    Put32(h, Fit32(dataBytes));
    const uint64_t riff = h.size() - 8 + dataBytes + (dataBytes & 1);
    const uint32_t r = Fit32(riff);
    std::memcpy(h.data() + 4, &r, 4); // little-endian hosts only, as everywhere here
    return h;
}

void ConvertSamples(const float* in, size_t samples, ESampleFormat format, uint8_t* out) {
    for (size_t i = 0; i < samples; ++i) {
        float v = in[i];
        if (!(v == v))
            v = 0; // NaN
        v = std::clamp(v, -1.0f, 1.0f);
        switch (format) {
        case ESampleFormat::Int16: {
            const int32_t x = static_cast<int32_t>(std::lrint(v * 32767.0f));
            *out++ = static_cast<uint8_t>(x);
            *out++ = static_cast<uint8_t>(x >> 8);
            break;
        }
        case ESampleFormat::Int24: {
            const int32_t x = static_cast<int32_t>(std::lrint(static_cast<double>(v) * 8388607.0));
            *out++ = static_cast<uint8_t>(x);
            *out++ = static_cast<uint8_t>(x >> 8);
            *out++ = static_cast<uint8_t>(x >> 16);
            break;
        }
        case ESampleFormat::Float32:
            std::memcpy(out, &v, 4);
            out += 4;
            break;
        }
    }
}

std::filesystem::path PartialPath(const std::filesystem::path& output) {
    std::filesystem::path p = output;
    p += ".part";
    return p;
}

bool CommitPartial(const std::filesystem::path& partial, const std::filesystem::path& output,
                   std::string* why) {
    std::error_code ec;
    std::filesystem::rename(partial, output, ec);
    if (ec) {
        // Some platforms refuse to rename over an existing file.
        std::error_code rm;
        std::filesystem::remove(output, rm);
        std::filesystem::rename(partial, output, ec);
    }
    if (ec) {
        if (why)
            *why = "cannot rename the finished output: " + ec.message();
        std::filesystem::remove(partial, ec);
        return false;
    }
    return true;
}

std::unique_ptr<CWavWriter> CWavWriter::Create(const std::filesystem::path& output,
                                               const SWavFormat& format, EError& error,
                                               std::string* why) {
    if (format.rate == 0 || format.channels == 0 || format.channels > 8) {
        error = EError::IllParam;
        if (why)
            *why = "bad WAV format";
        return nullptr;
    }
    std::unique_ptr<CWavWriter> w(new CWavWriter);
    w->output = output;
    w->partial = PartialPath(output);
    w->format = format;
    w->file.open(w->partial, std::ios::binary | std::ios::trunc);
    if (!w->file) {
        error = EError::Create;
        if (why)
            *why = "cannot create " + w->partial.string();
        return nullptr;
    }
    w->open = true;
    const std::vector<uint8_t> h = MakeWavHeader(format, 0);
    w->file.write(reinterpret_cast<const char*>(h.data()), static_cast<std::streamsize>(h.size()));
    w->ok = static_cast<bool>(w->file);
    if (!w->ok) {
        w->Abort();
        error = EError::Create;
        if (why)
            *why = "cannot write " + w->partial.string();
        return nullptr;
    }
    error = EError::Ok;
    return w;
}

CWavWriter::~CWavWriter() {
    Abort();
}

bool CWavWriter::Write(const float* frames, size_t count) {
    if (!ok)
        return false;
    const size_t samples = count * format.channels;
    buffer.resize(samples * format.BytesPerSample());
    ConvertSamples(frames, samples, format.sample, buffer.data());
    file.write(reinterpret_cast<const char*>(buffer.data()),
               static_cast<std::streamsize>(buffer.size()));
    dataBytes += buffer.size();
    ok = static_cast<bool>(file);
    return ok;
}

EError CWavWriter::Finish(std::string* why) {
    if (!open)
        return EError::Handle;
    if (ok && (dataBytes & 1))
        file.put(0); // chunks are padded to even sizes
    if (ok) {
        const std::vector<uint8_t> h = MakeWavHeader(format, dataBytes);
        file.seekp(0);
        file.write(reinterpret_cast<const char*>(h.data()), static_cast<std::streamsize>(h.size()));
        file.close();
        ok = !file.fail();
    }
    if (!ok) {
        if (why)
            *why = "cannot write " + partial.string();
        Abort();
        return EError::Create;
    }
    open = false;
    ok = false;
    return CommitPartial(partial, output, why) ? EError::Ok : EError::Create;
}

void CWavWriter::Abort() {
    if (!open)
        return;
    file.close();
    std::error_code ec;
    std::filesystem::remove(partial, ec);
    open = false;
    ok = false;
}

} // namespace hml::audio
