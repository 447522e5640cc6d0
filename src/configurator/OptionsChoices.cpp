#include "configurator/OptionsChoices.h"

#include <algorithm>

namespace hml::configurator {

SChoiceList SampleRateChoices(std::uint32_t storedRate) {
    SChoiceList list;
    for (std::uint32_t rate : {48000u, 44100u, 22050u}) {
        list.texts.push_back(std::to_wstring(rate));
        list.values.push_back(rate);
    }
    auto at = std::find(list.values.begin(), list.values.end(), storedRate);
    if (at == list.values.end()) {
        list.texts.push_back(std::to_wstring(storedRate));
        list.values.push_back(storedRate);
        at = list.values.end() - 1;
    }
    list.selected = static_cast<int>(at - list.values.begin());
    return list;
}

SChoiceList LanguageChoices(const std::map<std::uint32_t, std::wstring>& installed,
                            std::uint32_t storedId) {
    SChoiceList list;
    for (const auto& [id, name] : installed) {
        if (id == storedId) {
            list.selected = static_cast<int>(list.values.size());
        }
        list.texts.push_back(name);
        list.values.push_back(id);
    }
    if (list.selected < 0) {
        list.selected = static_cast<int>(list.values.size());
        list.texts.push_back(L"(" + std::to_wstring(storedId) + L")");
        list.values.push_back(storedId);
    }
    return list;
}

void COutputDeviceChoices::Build(const std::wstring& defaultName,
                                 const std::vector<SAudioDevice>& source) {
    devices.clear();
    devices[1] = defaultName;
    highest = 1;
    for (std::size_t i = 0; i < source.size(); ++i) {
        if (source[i].enabled) {
            const int number = static_cast<int>(i) + 2;
            devices[number] = source[i].name;
            highest = number;
        }
    }
}

std::wstring COutputDeviceChoices::FaceName(std::uint32_t device) const {
    if (device > static_cast<std::uint32_t>(highest)) {
        device = 1;
    }
    const auto found = devices.find(static_cast<int>(device));
    return found == devices.end() ? std::wstring() : found->second;
}

void COutputDeviceChoices::Choose(int id, std::array<std::uint32_t, 4>& outputDevices,
                                  std::uint32_t portCount) {
    const int port = id / kAllPortsBase - 2;
    int device = id % kAllPortsBase;
    if (device == 0) {
        device = 1;
    }
    if (port < 0) {
        for (std::uint32_t p = 0; p < portCount && p < outputDevices.size(); ++p) {
            outputDevices[p] = static_cast<std::uint32_t>(device);
        }
    } else if (static_cast<std::size_t>(port) < outputDevices.size()) {
        outputDevices[static_cast<std::size_t>(port)] = static_cast<std::uint32_t>(device);
    }
}

} // namespace hml::configurator
