#include "configurator/win32/BlacklistEditor.h"

#include "config/Language.h"
#include "configurator/Blacklist.h"
#include "configurator/OptionsIds.h"

#include <windows.h>

#include <tlhelp32.h>

#include <vector>

namespace hml::configurator {

CBlacklistEditor::CBlacklistEditor(const std::wstring& stored, IRunningClients& clients_)
    : ui::CDialog(IDD_BLACKLIST_EDITOR), text(stored), clients(clients_) {}

bool CBlacklistEditor::Edit(config::CStringSetting& setting, HWND parent,
                            IRunningClients& clients) {
    const std::wstring stored = setting.Get();
    CBlacklistEditor editor(stored, clients);
    editor.DoModal(parent);
    if (editor.Text() == stored) {
        return false;
    }
    setting.Set(editor.Text());
    return true;
}

BOOL CBlacklistEditor::OnInitDialog() {
    if (config::language) {
        config::language->TranslateWindow(GetHwnd());
    }
    HWND edit = GetDlgItem(GetHwnd(), IDC_BE_LIST);
    SetWindowTextW(edit, BlacklistToEdited(text).c_str());
    // The caret on the empty last line, ready for a new name, not the whole list selected.
    SetFocus(edit);
    const int end = GetWindowTextLengthW(edit);
    SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(end), end);
    return FALSE;
}

std::wstring CBlacklistEditor::EditText() const {
    HWND edit = GetDlgItem(GetHwnd(), IDC_BE_LIST);
    std::wstring value(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
    value.resize(static_cast<std::size_t>(
        GetWindowTextW(edit, value.data(), static_cast<int>(value.size()))));
    return value;
}

void CBlacklistEditor::OnOK() {
    text = BlacklistToStored(EditText());
    EndDialog(IDOK);
}

BOOL CBlacklistEditor::OnCommand(WPARAM wParam, LPARAM) {
    if (LOWORD(wParam) == IDC_BE_RUNNING && HIWORD(wParam) == BN_CLICKED) {
        AddRunningClient();
        return TRUE;
    }
    return FALSE;
}

HMENU CBlacklistEditor::BuildClientMenu(const std::vector<std::wstring>& names) {
    HMENU menu = CreatePopupMenu();
    if (names.empty()) {
        AppendMenuW(menu, MF_STRING | MF_GRAYED, 1, config::Translate(L"be.noprocess").c_str());
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        AppendMenuW(menu, MF_STRING, i + 1, names[i].c_str());
    }
    return menu;
}

void CBlacklistEditor::AddRunningClient() {
    auto names = clients.RunningClients();
    if (!names) {
        return;
    }
    SortUnique(*names);
    HMENU menu = BuildClientMenu(*names);
    RECT button{};
    GetWindowRect(GetDlgItem(GetHwnd(), IDC_BE_RUNNING), &button);
    const UINT chosen =
        static_cast<UINT>(TrackPopupMenu(menu, TPM_NONOTIFY | TPM_RETURNCMD | TPM_BOTTOMALIGN,
                                         button.left, button.top, 0, GetHwnd(), nullptr));
    DestroyMenu(menu);
    if (chosen == 0 || chosen > names->size()) {
        return;
    }
    const std::wstring edited =
        NormaliseBlacklist(EditText() + L"\r\n" + (*names)[chosen - 1] + L"\r\n");
    HWND edit = GetDlgItem(GetHwnd(), IDC_BE_LIST);
    SetWindowTextW(edit, edited.c_str());
    const int end = GetWindowTextLengthW(edit);
    SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(end), end);
    SendMessageW(edit, EM_SCROLLCARET, 0, 0);
}

std::optional<std::vector<std::wstring>> ProcessesWithDriverLoaded() {
    HANDLE processes = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (processes == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::vector<std::wstring> names;
    const DWORD self = GetCurrentProcessId();
    PROCESSENTRY32W process{};
    process.dwSize = sizeof process;
    for (BOOL more = Process32FirstW(processes, &process); more;
         more = Process32NextW(processes, &process)) {
        if (process.th32ProcessID == 0 || process.th32ProcessID == self) {
            continue;
        }
        HANDLE modules = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32,
                                                  process.th32ProcessID);
        if (modules == INVALID_HANDLE_VALUE) {
            continue; // protected or gone: counts as not having the driver
        }
        MODULEENTRY32W module{};
        module.dwSize = sizeof module;
        for (BOOL next = Module32FirstW(modules, &module); next;
             next = Module32NextW(modules, &module)) {
            if (lstrcmpiW(module.szModule, L"Harmolith.dll") == 0) {
                names.emplace_back(process.szExeFile);
                break;
            }
        }
        CloseHandle(modules);
    }
    CloseHandle(processes);
    SortUnique(names);
    return names;
}

} // namespace hml::configurator
