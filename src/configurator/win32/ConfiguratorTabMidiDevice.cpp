#include "configurator/win32/ConfiguratorTabMidiDevice.h"

#include "config/Language.h"
#include "configurator/PagesIds.h"
#include "ui/MessageBox.h"

#include <commctrl.h>
#include <mmsystem.h>

namespace hml::configurator {

std::vector<std::wstring> MidiOutputNames() {
    std::vector<std::wstring> names;
    const UINT count = midiOutGetNumDevs();
    for (UINT i = 0; i < count; ++i) {
        MIDIOUTCAPSW caps{};
        names.push_back(midiOutGetDevCapsW(i, &caps, sizeof caps) == MMSYSERR_NOERROR
                            ? std::wstring(caps.szPname)
                            : std::wstring());
    }
    return names;
}

CConfiguratorTabMidiDevice::CConfiguratorTabMidiDevice(IConfiguratorFrame& frame_, IPageHost& host_)
    : CConfiguratorTabBase(IDD_CFG_MIDI, frame_), host(host_) {}

void CConfiguratorTabMidiDevice::Fill(HWND combo) const {
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (devices[i] == kMapperDevice) {
            continue;
        }
        COMBOBOXEXITEMW item{};
        item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE;
        // Skipping the mapper's device leaves a gap: later items go to the end.
        const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
        item.iItem = static_cast<INT_PTR>(i) < count ? static_cast<INT_PTR>(i) : count;
        item.pszText = const_cast<wchar_t*>(devices[i].c_str());
        item.iImage = 2;
        item.iSelectedImage = 2;
        SendMessageW(combo, CBEM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
}

std::wstring CConfiguratorTabMidiDevice::SelectedText(HWND combo) {
    const LRESULT index = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) {
        return {};
    }
    wchar_t text[MAXPNAMELEN + 1] = {};
    COMBOBOXEXITEMW item{};
    item.mask = CBEIF_TEXT;
    item.iItem = index;
    item.pszText = text;
    item.cchTextMax = MAXPNAMELEN + 1;
    SendMessageW(combo, CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return text;
}

void CConfiguratorTabMidiDevice::SelectText(HWND combo, const std::wstring& text) {
    const LRESULT index = SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageW(combo, CB_SETCURSEL, index == CB_ERR ? static_cast<WPARAM>(-1) : index, 0);
}

BOOL CConfiguratorTabMidiDevice::OnInitDialog() {
    defaultCombo = GetDlgItem(GetHwnd(), IDC_MIDI_DEFAULT);
    wmpCombo = GetDlgItem(GetHwnd(), IDC_MIDI_WMP);
    notice = GetDlgItem(GetHwnd(), IDC_MIDI_NOTICE);
    resizer.Initialize(GetHwnd());
    devices = host.MidiOutputNames();
    choosable = host.DefaultDeviceChoosable();

    if (!choosable) {
        EnableWindow(defaultCombo, FALSE);
    } else {
        Fill(defaultCombo);
        SendMessageW(defaultCombo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kMidiMapKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
            wchar_t name[MAX_PATH] = {};
            DWORD size = sizeof name - sizeof name[0];
            DWORD type = 0;
            if (RegQueryValueExW(key, L"szPname", nullptr, &type, reinterpret_cast<BYTE*>(name),
                                 &size) == ERROR_SUCCESS &&
                type == REG_SZ) {
                SelectText(defaultCombo, name);
            }
            RegCloseKey(key);
        }
    }

    Fill(wmpCombo);
    SendMessageW(wmpCombo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kMidiOutKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        DWORD id = 0, size = sizeof id, type = 0;
        if (RegQueryValueExW(key, L"MidiOutId", nullptr, &type, reinterpret_cast<BYTE*>(&id),
                             &size) == ERROR_SUCCESS &&
            type == REG_DWORD && id < devices.size()) {
            SelectText(wmpCombo, devices[id]);
        }
        RegCloseKey(key);
    }
    Translate();
    // After Translate, which would read the link back as plain text.
    if (!choosable) {
        const std::wstring link =
            std::wstring(L"<a href=\"") + kMapperPage + L"\">" + kMapperDevice + L"</a>";
        SetWindowTextW(notice, config::Translate(L"cfg.midi.win8warning", link).c_str());
    } else {
        SetWindowTextW(notice, config::Translate(L"cfg.midi.warning").c_str());
    }
    return TRUE;
}

BOOL CConfiguratorTabMidiDevice::OnCommand(WPARAM wParam, LPARAM lParam) {
    const int id = LOWORD(wParam);
    if (HIWORD(wParam) == CBN_SELCHANGE && (id == IDC_MIDI_DEFAULT || id == IDC_MIDI_WMP)) {
        SetModified(true);
        return TRUE;
    }
    return CConfiguratorTabBase::OnCommand(wParam, lParam);
}

INT_PTR CConfiguratorTabMidiDevice::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom == IDC_MIDI_NOTICE &&
            (header->code == NM_CLICK || header->code == NM_RETURN)) {
            host.Open(reinterpret_cast<const NMLINK*>(lParam)->item.szUrl);
            return TRUE;
        }
    }
    return CConfiguratorTabBase::DialogProc(msg, wParam, lParam);
}

bool CConfiguratorTabMidiDevice::Apply(int) {
    if (!IsModified()) {
        return true;
    }
    SetModified(false);
    const std::wstring mapperDevice = choosable ? SelectedText(defaultCombo) : std::wstring();
    if (!mapperDevice.empty()) {
        HKEY key = nullptr;
        const LONG status = RegCreateKeyExW(HKEY_CURRENT_USER, kMidiMapKey, 0, nullptr, 0,
                                            KEY_ALL_ACCESS, nullptr, &key, nullptr);
        if (status == ERROR_SUCCESS) {
            RegSetValueExW(key, L"szPname", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(mapperDevice.c_str()),
                           static_cast<DWORD>((mapperDevice.size() + 1) * sizeof(wchar_t)));
            RegSetValueExW(key, L"DeviceInterface", 0, REG_SZ, reinterpret_cast<const BYTE*>(L""),
                           sizeof(wchar_t));
            RegCloseKey(key);
        } else {
            wchar_t text[1024];
            swprintf(text, 1024, L"Error setting MIDI device to MIDI Mapper.\n\nError: %lu: %ls",
                     static_cast<unsigned long>(status),
                     ui::SystemMessage(static_cast<unsigned long>(status)).c_str());
            ui::ShowMessageBox(text, ui::kAppCaption, MB_ICONERROR, GetHwnd());
            ui::ShowMessageBox(L"Error setting default MIDI device", ui::kAppCaption, MB_ICONERROR,
                               GetHwnd());
        }
    }
    if (SendMessageW(wmpCombo, CB_GETCURSEL, 0, 0) != CB_ERR) {
        const std::wstring name = SelectedText(wmpCombo);
        DWORD index = 0;
        for (std::size_t i = 0; i < devices.size(); ++i) {
            if (devices[i] == name) {
                index = static_cast<DWORD>(i);
                break;
            }
        }
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, kMidiOutKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr) == ERROR_SUCCESS) {
            RegSetValueExW(key, L"MidiOutId", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&index),
                           sizeof index);
            RegCloseKey(key);
        } else {
            ui::ShowMessageBox(L"Error setting default Windows Media Player device",
                               ui::kAppCaption, MB_ICONERROR, GetHwnd());
        }
    }
    return true;
}

} // namespace hml::configurator
