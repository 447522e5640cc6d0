#pragma once
// What the MIDI device, Updates and About pages need from the running program. The program gives
// its engine, driver registration and update checker; page tests give a stand-in.

#include <string>
#include <vector>

namespace hml::update {
class CUpdateChecker;
} // namespace hml::update

namespace hml::configurator {

class IPageHost {
public:
    virtual ~IPageHost() = default;
    // One name per Windows MIDI output device index (MidiOutputNames() in the program).
    virtual std::vector<std::wstring> MidiOutputNames() = 0;
    // Whether this Windows lets the user choose the MIDI Mapper's device.
    virtual bool DefaultDeviceChoosable() = 0;
    // The synth server's status with free ports and statistics; empty when no server runs.
    virtual std::wstring ServerStatusText() = 0;
    // The process's update checker; null when there is none.
    virtual update::CUpdateChecker* UpdateChecker() = 0;
    // Opens a web address or file with the shell ("open", shown normally).
    virtual void Open(const std::wstring& target) = 0;
};

// The system's MIDI output device names by device index; empty for a device whose capabilities
// cannot be read.
std::vector<std::wstring> MidiOutputNames();

} // namespace hml::configurator
