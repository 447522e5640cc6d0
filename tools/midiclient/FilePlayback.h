#pragma once
// Plays a Standard MIDI File's events at their times into any MIDI output: the test client's
// shared-memory writer, or a winmm device. Drum-part messages of GS files are left out (the file
// reader keeps them only as drum switches).

#include "audio/midifile/CMidiFile.h"

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

struct SMidiSink {
    std::function<void(std::uint32_t)> shortMsg; // packed, status in the low byte
    std::function<void(const std::vector<std::uint8_t>&)> sysEx;
    std::function<void()> pause; // called before waiting for the next event; may be empty
};

// False, with the reader's reason, when the file cannot be read.
inline bool PlayMidiFile(const std::wstring& path, const SMidiSink& sink, std::string& why) {
    using namespace hml::audio;
    EError error = EError::Ok;
    auto file = CMidiFile::Load(std::filesystem::path(path), 0, 48000, error, &why);
    if (!file) {
        return false;
    }
    static const std::vector<std::uint8_t> kResets[] = {
        {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7},                               // GM
        {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7},                               // GM
        {0xF0, 0x7E, 0x7F, 0x09, 0x03, 0xF7},                               // GM2
        {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7},             // XG
        {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}, // GS
    };
    const double bytesPerSecond = 48000.0 * file->Layout().BytesPerFrame();
    const ULONGLONG start = GetTickCount64();
    for (const SMidiFileEvent& e : file->Events()) {
        const ULONGLONG due = start + static_cast<ULONGLONG>(e.pos / bytesPerSecond * 1000.0);
        const ULONGLONG now = GetTickCount64();
        if (due > now) {
            if (sink.pause) {
                sink.pause();
            }
            Sleep(static_cast<DWORD>(due - now));
        }
        const std::uint32_t ch = e.channel & 15;
        switch (e.event) {
        case EMidiEvent::Note:
            sink.shortMsg(0x90u | ch | (e.param & 0x7F) << 8 | (e.param >> 8 & 0x7F) << 16);
            break;
        case EMidiEvent::Program:
            sink.shortMsg(0xC0u | ch | (e.param & 0x7F) << 8);
            break;
        case EMidiEvent::Controller:
            sink.shortMsg(0xB0u | ch | (e.param & 0x7F) << 8 | (e.param >> 8 & 0x7F) << 16);
            break;
        case EMidiEvent::PitchBend:
            sink.shortMsg(0xE0u | ch | (e.param & 0x7F) << 8 | (e.param >> 7 & 0x7F) << 16);
            break;
        case EMidiEvent::ChannelPressure:
            sink.shortMsg(0xD0u | ch | (e.param & 0x7F) << 8);
            break;
        case EMidiEvent::KeyPressure:
            sink.shortMsg(0xA0u | ch | (e.param & 0x7F) << 8 | (e.param >> 8 & 0x7F) << 16);
            break;
        case EMidiEvent::System:
            if (e.param < std::size(kResets)) {
                sink.sysEx(kResets[e.param]);
            }
            break;
        case EMidiEvent::SystemEx: {
            const std::uint8_t* bytes = file->Data(e);
            sink.sysEx(std::vector<std::uint8_t>(bytes, bytes + e.dataSize));
            break;
        }
        default:
            break;
        }
    }
    if (sink.pause) {
        sink.pause();
    }
    return true;
}
