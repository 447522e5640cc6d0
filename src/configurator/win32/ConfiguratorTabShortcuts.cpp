#include "configurator/win32/ConfiguratorTabShortcuts.h"

#include "config/Language.h"
#include "config/Settings.h"
#include "configurator/PagesIds.h"

#include <commctrl.h>

#include <cwchar>

namespace hml::configurator {

std::wstring MixerShortcutReference() {
    const struct {
        std::wstring keys;
        const wchar_t* description;
    } lines[] = {
        {L"\u25C4 / \u25BA", L"cfg.key.1"},
        {L"0", L"cfg.key.2"},
        {L"1\u20139", L"cfg.key.3"},
        {config::Translate(L"cfg.key.4.name") + L"+0\u20136", L"cfg.key.4"},
        {L"\u25B2 / \u25BC", L"cfg.key.5"},
        {config::Translate(L"cfg.key.6.name"), L"cfg.key.6"},
        {L"M", L"cfg.key.7"},
        {L"S", L"cfg.key.s"},
        {L"R", L"cfg.key.8"},
    };
    std::wstring text;
    for (const auto& line : lines) {
        std::wstring keys = line.keys;
        if (keys.size() < 12) {
            keys.append(12 - keys.size(), L' ');
        }
        text += keys + L" => " + config::Translate(line.description) + L"\n";
    }
    return text;
}

CConfiguratorTabShortcuts::CConfiguratorTabShortcuts(IConfiguratorFrame& frame_)
    : CConfiguratorTabBase(IDD_CFG_SHORTCUTS, frame_) {}

CConfiguratorTabShortcuts::~CConfiguratorTabShortcuts() {
    if (referenceFont) {
        DeleteObject(referenceFont);
    }
}

BOOL CConfiguratorTabShortcuts::OnInitDialog() {
    mixerKey.Attach(GetHwnd(), IDC_KEY_MIXER);
    panicKey.Attach(GetHwnd(), IDC_KEY_PANIC);
    resizer.Initialize(GetHwnd());
    for (CHotKeyEx* key : {&mixerKey, &panicKey}) {
        key->Send(HKM_SETRULES, HKCOMB_NONE | HKCOMB_S, MAKELPARAM(HOTKEYF_CONTROL, 0));
    }
    if (config::settings) {
        mixerKey.SetValue(config::settings->showMixer.Get());
        panicKey.SetValue(config::settings->midiPanic.Get());
    }

    HWND reference = GetDlgItem(GetHwnd(), IDC_KEY_REFERENCE);
    LOGFONTW face{};
    HFONT current = reinterpret_cast<HFONT>(SendMessageW(reference, WM_GETFONT, 0, 0));
    GetObjectW(current ? static_cast<HGDIOBJ>(current) : GetStockObject(DEFAULT_GUI_FONT),
               sizeof face, &face);
    wcsncpy(face.lfFaceName, L"Courier New", LF_FACESIZE - 1);
    referenceFont = CreateFontIndirectW(&face);
    SendMessageW(reference, WM_SETFONT, reinterpret_cast<WPARAM>(referenceFont), FALSE);
    Translate();
    // After Translate: the reference is built text, not a key.
    std::wstring text = MixerShortcutReference();
    for (std::size_t at = 0; (at = text.find(L'\n', at)) != std::wstring::npos; at += 2) {
        text.insert(at, 1, L'\r');
    }
    SetWindowTextW(reference, text.c_str());
    return TRUE;
}

BOOL CConfiguratorTabShortcuts::OnCommand(WPARAM wParam, LPARAM) {
    if (LOWORD(wParam) == IDC_KEY_RESET && HIWORD(wParam) == BN_CLICKED && config::settings) {
        mixerKey.SetValue(config::settings->showMixer.Default());
        panicKey.SetValue(config::settings->midiPanic.Default());
    }
    SetModified(true);
    return TRUE;
}

bool CConfiguratorTabShortcuts::Apply(int) {
    if (IsModified()) {
        if (config::settings) {
            config::settings->showMixer.Set(mixerKey.Value());
            config::settings->midiPanic.Set(panicKey.Value());
        }
        SetModified(false);
    }
    return true;
}

} // namespace hml::configurator
