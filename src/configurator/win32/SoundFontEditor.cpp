#include "configurator/win32/SoundFontEditor.h"

#include "config/Language.h"
#include "configurator/FrameIds.h"
#include "configurator/SoundFontRules.h"

#include <commctrl.h>

#include <cwctype>
#include <filesystem>
#include <string>

namespace hml::configurator {

using namespace hml::config;

namespace {

// Guards normalising against the change notifications its own writes cause.
bool normalising = false;

bool SameEntry(const SoundFontEntry& a, const SoundFontEntry& b) {
    return a.enabled == b.enabled && a.bank == b.bank && a.preset == b.preset &&
           a.volume == b.volume && a.preload == b.preload && a.xgdrums == b.xgdrums &&
           CompareStringOrdinal(a.filename.c_str(), -1, b.filename.c_str(), -1, TRUE) == CSTR_EQUAL;
}

} // namespace

LRESULT CNumericEdit::ControlProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CHAR) {
        const wchar_t c = static_cast<wchar_t>(wParam);
        const bool accepted = (c >= L'0' && c <= L'9') || c == L'\b' ||
                              (allowDecimal && c == L'.') || (allowMinus && c == L'-');
        if (!accepted) {
            return 0;
        }
    } else if (msg == WM_PASTE && !allowPaste) {
        return 0;
    }
    return Default(msg, wParam, lParam);
}

CSoundFontEditor::CSoundFontEditor(const SoundFontEntry& entry)
    : ui::CDialog(IDD_SF_EDITOR), copy(entry) {}

std::int32_t CSoundFontEditor::Number(int id) const {
    wchar_t text[32] = {};
    GetDlgItemTextW(GetHwnd(), id, text, 32);
    return ParseNumber(text);
}

void CSoundFontEditor::SetNumber(int id, std::int32_t value) {
    HWND edit = GetDlgItem(GetHwnd(), id);
    const std::wstring text = std::to_wstring(value);
    wchar_t current[32] = {};
    GetWindowTextW(edit, current, 32);
    if (text == current) {
        return;
    }
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    SetWindowTextW(edit, text.c_str());
    if (start == 0 && end == 0) {
        start = end = static_cast<DWORD>(text.size());
    }
    SendMessageW(edit, EM_SETSEL, start, end);
    SendMessageW(edit, EM_SCROLLCARET, 0, 0);
}

void CSoundFontEditor::Normalise() {
    if (normalising) {
        return;
    }
    normalising = true;
    const EditorValues v =
        NormaliseEditorValues(Number(IDC_SFE_PRESET), Number(IDC_SFE_BANK), Number(IDC_SFE_VOLUME));
    SetNumber(IDC_SFE_PRESET, v.preset);
    SetNumber(IDC_SFE_BANK, v.bank);
    SetNumber(IDC_SFE_VOLUME, v.volume);
    normalising = false;
}

void CSoundFontEditor::BankMode() {
    const bool offset = Number(IDC_SFE_PRESET) == -1;
    SendDlgItemMessageW(GetHwnd(), IDC_SFE_BANK_SPIN, UDM_SETRANGE32, offset ? -128 : 0, 127);
    const std::wstring label = offset ? Translate(L"cfg.sf.bankOffsetLabel", L"-128", L"127", L"-1")
                                      : Translate(L"cfg.sf.bankLabel", L"0", L"127", L"-1");
    SetDlgItemTextW(GetHwnd(), IDC_SFE_BANK_LABEL, label.c_str());
    Normalise();
}

BOOL CSoundFontEditor::OnInitDialog() {
    preset.Attach(GetHwnd(), IDC_SFE_PRESET);
    bank.Attach(GetHwnd(), IDC_SFE_BANK);
    volume.Attach(GetHwnd(), IDC_SFE_VOLUME);
    const struct {
        int spin, edit, low, high;
    } spins[] = {{IDC_SFE_PRESET_SPIN, IDC_SFE_PRESET, -1, 127},
                 {IDC_SFE_BANK_SPIN, IDC_SFE_BANK, 0, 127},
                 {IDC_SFE_VOLUME_SPIN, IDC_SFE_VOLUME, 0, 500}};
    normalising = true; // the fields are filled below; normalised once they all are
    for (const auto& s : spins) {
        SendDlgItemMessageW(GetHwnd(), s.spin, UDM_SETBUDDY,
                            reinterpret_cast<WPARAM>(GetDlgItem(GetHwnd(), s.edit)), 0);
        SendDlgItemMessageW(GetHwnd(), s.spin, UDM_SETRANGE32, static_cast<WPARAM>(s.low), s.high);
    }
    SetDlgItemTextW(GetHwnd(), IDC_SFE_FILENAME, copy.filename.c_str());
    SetDlgItemTextW(GetHwnd(), IDC_SFE_PRESET, std::to_wstring(copy.preset).c_str());
    SetDlgItemTextW(GetHwnd(), IDC_SFE_BANK,
                    std::to_wstring(static_cast<std::int32_t>(copy.bank)).c_str());
    SetDlgItemTextW(GetHwnd(), IDC_SFE_VOLUME, std::to_wstring(copy.volume).c_str());
    CheckDlgButton(GetHwnd(), IDC_SFE_PRELOAD, copy.preload ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(GetHwnd(), IDC_SFE_XGDRUMS, copy.xgdrums ? BST_CHECKED : BST_UNCHECKED);
    normalising = false;
    BankMode();

    SetDlgItemTextW(GetHwnd(), IDC_SFE_DETAILS, FontDetailsText(copy.filename).c_str());
    SetDlgItemTextW(GetHwnd(), IDC_SFE_PRESET_LABEL,
                    Translate(L"cfg.sf.presetLabel", L"-1", L"127").c_str());
    SetDlgItemTextW(GetHwnd(), IDC_SFE_VOLUME_LABEL,
                    Translate(L"cfg.sf.volumeLabel", L"0", L"500").c_str());
    if (language) {
        language->TranslateWindow(GetHwnd());
    }
    // The information box comes first in tab order; the preset is what the user came to change.
    SetFocus(GetDlgItem(GetHwnd(), IDC_SFE_PRESET));
    return FALSE;
}

BOOL CSoundFontEditor::OnCommand(WPARAM wParam, LPARAM lParam) {
    switch (LOWORD(wParam)) {
    case IDC_SFE_RESET:
        SetDlgItemTextW(GetHwnd(), IDC_SFE_BANK, L"0");
        SetDlgItemTextW(GetHwnd(), IDC_SFE_PRESET, L"-1");
        CheckDlgButton(GetHwnd(), IDC_SFE_PRELOAD, BST_CHECKED);
        CheckDlgButton(GetHwnd(), IDC_SFE_XGDRUMS, BST_UNCHECKED);
        SetDlgItemTextW(GetHwnd(), IDC_SFE_VOLUME, L"100");
        return TRUE;
    case IDC_SFE_PRESET:
        if (HIWORD(wParam) == EN_CHANGE && !normalising) {
            BankMode();
        }
        return TRUE;
    default:
        return ui::CDialog::OnCommand(wParam, lParam);
    }
}

void CSoundFontEditor::OnOK() {
    wchar_t name[MAX_PATH] = {};
    GetDlgItemTextW(GetHwnd(), IDC_SFE_FILENAME, name, MAX_PATH);
    copy.filename = name;
    std::error_code error;
    const auto size = std::filesystem::file_size(std::filesystem::path(copy.filename), error);
    if (!error) {
        copy.fileSize = size;
    }
    Normalise();
    copy.preset = Number(IDC_SFE_PRESET);
    copy.bank = static_cast<std::uint32_t>(Number(IDC_SFE_BANK));
    copy.volume = static_cast<std::uint32_t>(Number(IDC_SFE_VOLUME));
    copy.preload = IsDlgButtonChecked(GetHwnd(), IDC_SFE_PRELOAD) == BST_CHECKED ? 1 : 0;
    copy.xgdrums = IsDlgButtonChecked(GetHwnd(), IDC_SFE_XGDRUMS) == BST_CHECKED ? 1 : 0;
    EndDialog(IDOK);
}

INT_PTR CSoundFontEditor::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CTLCOLORSTATIC &&
        reinterpret_cast<HWND>(lParam) == GetDlgItem(GetHwnd(), IDC_SFE_DETAILS)) {
        // A read-only edit is drawn like a static; the information box stays white.
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkColor(dc, RGB(255, 255, 255));
        return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
    }
    if (msg == WM_CTLCOLORSTATIC &&
        reinterpret_cast<HWND>(lParam) == GetDlgItem(GetHwnd(), IDC_SFE_FILENAME)) {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
    }
    return ui::CDialog::DialogProc(msg, wParam, lParam);
}

bool EditSoundFont(SoundFontEntry& entry, HWND parent) {
    CSoundFontEditor editor(entry);
    if (editor.DoModal(parent) != IDOK || SameEntry(editor.Result(), entry)) {
        return false;
    }
    const std::uintptr_t handle = entry.fontHandle;
    entry = editor.Result();
    entry.fontHandle = handle;
    return true;
}

} // namespace hml::configurator
