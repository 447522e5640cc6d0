#pragma once
// What the Options page's lists and the output device selector offer, worked out without
// windows: the rate and language lists keep a stored value they do not list (so applying the page
// never replaces it with junk), and the device menu's command ids.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace hml::configurator {

// A list's items with the value each stands for, and the item to select.
struct SChoiceList {
    std::vector<std::wstring> texts;
    std::vector<std::uint32_t> values;
    int selected = -1;
};

// "48000", "44100", "22050", and the stored rate as one more item when it is none of them.
SChoiceList SampleRateChoices(std::uint32_t storedRate);

// The installed languages by name; a stored id that is not installed is added as "(1036)".
SChoiceList LanguageChoices(const std::map<std::uint32_t, std::wstring>& installed,
                            std::uint32_t storedId);

// One audio output device as the output layer reports it.
struct SAudioDevice {
    std::wstring name;
    bool enabled = true;
};

// The devices the selector offers, by number: 1 is the system's default under defaultName, then
// every enabled device of `devices` (which holds devices 2, 3, ... in order).
class COutputDeviceChoices {
public:
    static constexpr int kAllPortsBase = 1000;

    void Build(const std::wstring& defaultName, const std::vector<SAudioDevice>& devices);

    const std::map<int, std::wstring>& Devices() const { return devices; }
    int HighestDevice() const { return highest; }

    // The name on the button face for a port's stored device: a number above the highest device
    // shows as the default device, a missing or disabled one below it as nothing.
    std::wstring FaceName(std::uint32_t device) const;

    // Command id of a device in a port's submenu, or in the all-ports submenu for port < 0.
    static int MenuId(int port, int device) { return device + (port + 2) * kAllPortsBase; }

    // Applies a chosen command id to the ports' devices (the first portCount of them).
    static void Choose(int id, std::array<std::uint32_t, 4>& outputDevices,
                       std::uint32_t portCount);

private:
    std::map<int, std::wstring> devices;
    int highest = 1;
};

} // namespace hml::configurator
