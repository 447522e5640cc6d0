#include "converter/RenderCore.h"

#include "audio/SysEx.h"
#include "audio/encode/CEncoderProcess.h"
#include "audio/encode/CWavWriter.h"
#include "audio/midifile/CMidiFile.h"
#include "audio/midifile/CMidiFilePlayer.h"
#include "base/Utf8.h"
#include "converter/EncoderProfiles.h"
#include "mixer/MixerOwner.h"

#include <algorithm>
#include <memory>

namespace hml::converter {

using namespace hml::base;
using namespace hml::mixer;

using namespace hml::audio;

std::array<std::vector<uint8_t>, 4> EffectLevelMessages(uint32_t reverb, uint32_t chorus) {
    namespace fx = sysex;
    const auto list = [](const auto& m) { return std::vector<uint8_t>(m.begin(), m.end()); };
    return {{list(fx::Gs(fx::kGsReverb, reverb)), list(fx::Gs(fx::kGsChorus, chorus)),
             list(fx::Xg(fx::kXgReverb, reverb)), list(fx::Xg(fx::kXgChorus, chorus))}};
}

namespace {

constexpr int8_t kNotPlaying = -1;
constexpr int8_t kDropped = -2;

// The per-event rules of the render loop.
class CDispatcher final : public IMidiEventSink {
public:
    explicit CDispatcher(const SRenderOptions& o) : options(o) { ResetDrums(); }

    void SendLevels(CMidiStream& s) const {
        for (int c = 0; c < 16; ++c) {
            s.SendEvent(c, EMidiEvent::ReverbLevel,
                        std::min<uint32_t>(options.reverb, 127) * 100 / 127);
            s.SendEvent(c, EMidiEvent::ChorusLevel,
                        std::min<uint32_t>(options.chorus, 127) * 100 / 127);
        }
        for (const std::vector<uint8_t>& m : EffectLevelMessages(options.reverb, options.chorus))
            s.SendMidi(m.data(), m.size());
    }

    bool Dispatch(const CMidiFile& file, const SMidiFileEvent& e, CMidiStream& s) override {
        const uint32_t c = e.channel & 15;
        switch (e.event) {
        case EMidiEvent::SystemEx:
            if (options.overrideEffects)
                return true;
            break;
        case EMidiEvent::Drums:
            if (!s.SendEvent(static_cast<int>(c), e.event, e.param))
                return false;
            drum[c] = e.param != 0;
            return true;
        case EMidiEvent::Note:
            return Note(e, s);
        case EMidiEvent::System:
            if (!s.SendEvent(0, e.event, e.param))
                return false;
            // The reset brings back the stream's drum channel and its own effect defaults.
            ResetDrums();
            if (options.overrideEffects)
                SendLevels(s);
            return true;
        default:
            break;
        }
        return CMidiFilePlayer::SendDefault(file, e, s);
    }

private:
    void ResetDrums() {
        drum.fill(false);
        drum[9] = true;
        for (auto& keys : playing)
            keys.fill(kNotPlaying);
    }

    // Shifted notes remember the key they play, so the note-off finds it even after the
    // channel's drum flag changed; a note shifted out of 0..127 is dropped with its note-off.
    bool Note(const SMidiFileEvent& e, CMidiStream& s) {
        const uint32_t c = e.channel & 15, key = e.param & 0x7F, velocity = (e.param >> 8) & 0xFF;
        int target = static_cast<int>(key);
        if (velocity == 0 && playing[c][key] != kNotPlaying) {
            target = playing[c][key];
        } else if (!drum[c]) {
            target += options.keyShift;
            if (target < 0 || target > 127)
                target = kDropped;
        }
        if (target == kDropped) {
            playing[c][key] = velocity != 0 ? kDropped : kNotPlaying;
            return true;
        }
        if (!s.SendEvent(static_cast<int>(c), EMidiEvent::Note,
                         static_cast<uint32_t>(target) | velocity << 8))
            return false;
        playing[c][key] = velocity != 0 ? static_cast<int8_t>(target) : kNotPlaying;
        return true;
    }

    const SRenderOptions& options;
    std::array<bool, 16> drum{};
    std::array<std::array<int8_t, 128>, 16> playing{};
};

SRenderResult Fail(EError error, std::string message) {
    SRenderResult r;
    r.status = ERenderStatus::Failed;
    r.error = error;
    r.message = std::move(message);
    return r;
}

} // namespace

SRenderResult RenderFile(const std::filesystem::path& input, const std::filesystem::path& output,
                         const SRenderOptions& options, IRenderObserver* observer,
                         std::atomic<bool>& cancel) {
    if (options.profile >= kProfileCount)
        return Fail(EError::IllParam, "unknown output format");
    const SEncoderProfile& profile = EncoderProfiles()[options.profile];
    // Always float: the sinks convert from float, whatever the live ports play.
    const uint32_t flags =
        (StreamFlags::Decode | StreamFlags::Float | StreamFlags::DecayEnd | options.extraFlags) &
        ~StreamFlags::Sample8Bits;

    EError error = EError::Ok;
    std::string why;
    std::unique_ptr<CMidiFile> file = CMidiFile::Load(input, flags, options.rate, error, &why);
    if (!file)
        return Fail(error, why);
    if (options.skipInitialSilence)
        file->SkipInitialSilence();
    if (file->Events().empty())
        return Fail(EError::FileForm, "the file holds no events");

    std::unique_ptr<CMidiStream> stream =
        CMidiStream::Create(flags, options.rate, options.voices, error);
    if (!stream)
        return Fail(error, "cannot create the render stream");
    if (options.fonts.empty())
        return Fail(EError::NotAvail, "no SoundFont");
    error = stream->SetFonts(options.fonts.data(), options.fonts.size());
    if (error != EError::Ok)
        return Fail(error, "cannot assign the SoundFonts");
    for (uint32_t c = 0; c < 16; ++c)
        stream->SendEvent(static_cast<int>(c), EMidiEvent::MixLevel,
                          options.mixer ? options.mixer->GetEffectiveVolume(c) : 100);

    // A mono stream (DisableStereo) gives one channel: the sink takes what the stream gives.
    const uint32_t channels = file->Layout().channels;
    std::unique_ptr<IAudioSink> sink;
    if (profile.program[0] == '\0') {
        const ESampleFormat sample = profile.encoderFlags == 0x44   ? ESampleFormat::Int16
                                     : profile.encoderFlags == 0x46 ? ESampleFormat::Int24
                                                                    : ESampleFormat::Float32;
        sink = CWavWriter::Create(output, {options.rate, channels, sample}, error, &why);
    } else {
        const std::filesystem::path partial = PartialPath(output);
        const std::string program =
            options.encoderProgram.empty() ? ProgramName(profile) : options.encoderProgram;
        const std::string line = MakeCommandLine(profile, program, options.encoderOptions,
                                                 base::Utf8(partial), base::Utf8(input));
        if (observer)
            observer->OnLog("Command line: " + line);
        sink = CEncoderWriter::Create(line, partial, output, options.rate, channels,
                                      profile.streamedLength, error, &why);
        if (!sink) {
            // An encoder that cannot start has stopped as surely as one that exits early.
            SRenderResult r = Fail(error, why);
            r.encoderStopped = true;
            cancel.store(true);
            return r;
        }
    }
    if (!sink)
        return Fail(error, why);

    CDispatcher dispatcher(options);
    dispatcher.SendLevels(*stream);
    CMidiFilePlayer player(*file, *stream, &dispatcher);
    const SPcmLayout layout = file->Layout();
    const size_t chunkBytes = static_cast<size_t>(layout.SecondsToBytes(0.01));
    std::vector<float> buffer(chunkBytes / sizeof(float));
    uint32_t shown = 0;
    if (observer)
        observer->OnProgress(0);

    SRenderResult result;
    bool writeFailed = false;
    while (!cancel.load()) {
        const int64_t n = player.GetData(buffer.data(), chunkBytes);
        if (n < 0)
            break;
        sink->Write(buffer.data(), static_cast<size_t>(n) / layout.BytesPerFrame());
        const uint32_t permille =
            static_cast<uint32_t>(player.Dispatched() * 1000 / std::max<size_t>(player.Total(), 1));
        if (observer && permille != shown)
            observer->OnProgress(shown = permille);
        if (!sink->IsActive()) {
            writeFailed = true;
            break;
        }
    }
    if (observer)
        observer->OnProgress(1000);
    result.seconds = layout.BytesToSeconds(player.Rendered());
    stream.reset();

    if (writeFailed) {
        sink->Abort();
        result.status = ERenderStatus::Failed;
        result.error = EError::Create;
        if (profile.program[0] == '\0') {
            result.message = "cannot write the output file";
        } else {
            // A stopped encoder ends the whole batch, as a cancel does.
            result.message = "the encoder process has stopped";
            result.encoderStopped = true;
            cancel.store(true);
        }
        return result;
    }
    if (cancel.load()) {
        sink->Abort();
        result.status = ERenderStatus::Canceled;
        result.message = "canceled";
        return result;
    }
    error = sink->Finish(&why);
    if (error != EError::Ok) {
        result.status = ERenderStatus::Failed;
        result.error = error;
        result.message = why;
        return result;
    }
    result.status = ERenderStatus::Completed;
    return result;
}

} // namespace hml::converter
