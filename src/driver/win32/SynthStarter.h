#pragma once
// Brings the synth up for a program that opens a port while no synth runs.

#include "driver/win32/ShmChannel.h"

#include <string>

namespace hml::driver {

// How long an open waits for a synth it started: long enough for a loaded machine to start a
// process and load its SoundFonts, short enough that the program calling us stays responsive.
constexpr unsigned long kSynthStartWaitMs = 10000;

enum class EStart {
    Ready,         // the channel is connected and the synth reads it
    NotInstalled,  // no installation folder is registered
    CouldNotStart, // Harmolith.exe is missing, or ended with an error
    NoAnswer,      // the synth did not listen within the wait
};

// Connects the channel to a listening synth, starting Harmolith.exe from installFolder when no
// synth process exists, and waits at most waitMs.
EStart ConnectToSynth(CShmChannel& channel, const std::wstring& installFolder,
                      unsigned long waitMs = kSynthStartWaitMs);

} // namespace hml::driver
