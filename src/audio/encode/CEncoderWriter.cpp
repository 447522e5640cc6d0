#include "audio/encode/CEncoderProcess.h"

#include <system_error>

namespace hml::audio {

std::vector<std::string> SplitCommandLine(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '\'') {
            const size_t end = line.find('\'', i + 1);
            const size_t stop = end == std::string::npos ? line.size() : end;
            word.append(line, i + 1, stop - i - 1);
            i = stop;
        } else if (c == '"') {
            for (++i; i < line.size() && line[i] != '"'; ++i) {
                if (line[i] == '\\' && i + 1 < line.size() &&
                    std::string_view("\"\\$`").find(line[i + 1]) != std::string_view::npos)
                    ++i;
                word += line[i];
            }
        } else if (c == '\\' && i + 1 < line.size()) {
            word += line[++i];
        } else {
            word += c;
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

std::unique_ptr<CEncoderWriter>
CEncoderWriter::Create(const std::string& commandLine, const std::filesystem::path& partial,
                       const std::filesystem::path& output, uint32_t rate, uint32_t channels,
                       EStreamedLength length, EError& error, std::string* why) {
    std::unique_ptr<CEncoderWriter> w(new CEncoderWriter);
    w->partial = partial;
    w->output = output;
    w->format = {rate, channels, ESampleFormat::Int24};
    w->process = CEncoderProcess::Start(commandLine, error, why);
    if (!w->process)
        return nullptr;
    const std::vector<uint8_t> header =
        MakeWavHeader(w->format, length == EStreamedLength::Zero ? 0 : UINT64_MAX);
    w->active = w->process->Write(header.data(), header.size());
    error = EError::Ok;
    return w;
}

CEncoderWriter::~CEncoderWriter() {
    if (process)
        Abort();
}

bool CEncoderWriter::Write(const float* frames, size_t count) {
    if (!active)
        return false;
    const size_t samples = count * format.channels;
    buffer.resize(samples * 3);
    ConvertSamples(frames, samples, ESampleFormat::Int24, buffer.data());
    active = process->Write(buffer.data(), buffer.size());
    return active;
}

bool CEncoderWriter::IsActive() {
    if (active && !process->IsRunning())
        active = false;
    return active;
}

EError CEncoderWriter::Finish(std::string* why) {
    if (!process)
        return EError::Handle;
    const int code = process->Stop();
    process.reset();
    std::error_code ec;
    if (code != 0) {
        std::filesystem::remove(partial, ec);
        if (why)
            *why = code < 0 ? "the encoder was killed"
                            : "the encoder failed with exit code " + std::to_string(code);
        return EError::Create;
    }
    if (!std::filesystem::exists(partial, ec)) {
        if (why)
            *why = "the encoder wrote no output file";
        return EError::Create;
    }
    return CommitPartial(partial, output, why) ? EError::Ok : EError::Create;
}

void CEncoderWriter::Abort() {
    if (process) {
        process->Kill();
        process.reset();
    }
    active = false;
    std::error_code ec;
    std::filesystem::remove(partial, ec);
}

} // namespace hml::audio
