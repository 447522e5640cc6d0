#pragma once
// The MIDI device page: the Windows-wide default MIDI device (the MIDI Mapper's, per user) and the
// MIDI output device of Windows Media Player and other DirectShow programs.

#include "configurator/win32/ConfiguratorTabBase.h"
#include "configurator/win32/PageHost.h"

#include <string>
#include <vector>

namespace hml::configurator {

class CConfiguratorTabMidiDevice : public CConfiguratorTabBase {
public:
    static constexpr const wchar_t* kMidiMapKey =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Multimedia\\MIDIMap";
    static constexpr const wchar_t* kMidiOutKey =
        L"Software\\Microsoft\\ActiveMovie\\devenum\\{4EFE2452-168A-11D1-BC76-00C04FB9453B}\\"
        L"Default MidiOut Device";
    // The sibling mapper product's own device, never offered.
    static constexpr const wchar_t* kMapperDevice = L"Tarnwick Lindenport";
    static constexpr const wchar_t* kMapperPage = L"https://www.tarnwick.com/lindenport";

    CConfiguratorTabMidiDevice(IConfiguratorFrame& frame, IPageHost& host);

    bool Apply(int commandId) override;

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    INT_PTR DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void Fill(HWND combo) const;
    static std::wstring SelectedText(HWND combo);
    static void SelectText(HWND combo, const std::wstring& text);

    IPageHost& host;
    std::vector<std::wstring> devices;
    bool choosable = false;
    HWND defaultCombo = nullptr;
    HWND wmpCombo = nullptr;
    HWND notice = nullptr;
};

} // namespace hml::configurator
