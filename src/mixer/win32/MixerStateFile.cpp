#include "mixer/win32/MixerStateFile.h"

#include "config/Language.h"
#include "config/Settings.h"
#include "mixer/MixerOwner.h"
#include "ui/MessageBox.h"

#include <windows.h>

#include <commdlg.h>

#include <vector>

namespace hml::mixer {

using namespace hml::config;
using namespace hml::ui;

namespace {

constexpr DWORD kPathCapacity = 32768;

std::wstring Ask(HWND owner, bool save) {
    const std::wstring filter =
        save ? ToDialogFilter(FillPlaceholders(L"{0} (*.hmlms)|*.hmlms|",
                                               Translate(L"common.fileType.mixerState"),
                                               std::nullopt, std::nullopt))
             : ToDialogFilter(FillPlaceholders(L"{0} (*.hmlms)|*.hmlms|{1} (*.*)|*.*|",
                                               Translate(L"common.filter.mixerState"),
                                               Translate(L"common.filter.allFiles"), std::nullopt));
    const std::wstring title = Translate(save ? L"mixer.save" : L"mixer.load");
    std::vector<wchar_t> path(kPathCapacity, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = kPathCapacity;
    dialog.lpstrTitle = title.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY;
    BOOL chosen;
    if (save) {
        dialog.lpstrDefExt = L"hmlms";
        dialog.Flags |= OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
        chosen = GetSaveFileNameW(&dialog);
    } else {
        dialog.Flags |= OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
        chosen = GetOpenFileNameW(&dialog);
    }
    return chosen ? std::wstring(path.data()) : std::wstring();
}

std::wstring FolderOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

// The file and the system's own words for what went wrong.
bool Fail(const std::wstring& path, DWORD error) {
    ui::ShowError(path + L"\n\n" + ui::WindowsErrorText(error));
    return false;
}

} // namespace

std::wstring AskLoadPath(HWND owner) {
    return Ask(owner, false);
}

std::wstring AskSavePath(HWND owner) {
    return Ask(owner, true);
}

bool Save(IMixerOwner& owner, config::CSettings& settings, const std::wstring& path) {
    wchar_t temporary[MAX_PATH + 1] = {};
    if (!GetTempFileNameW(FolderOf(path).c_str(), L"hml", 0, temporary)) {
        return Fail(path, GetLastError());
    }
    bool written = owner.WriteMixerState(settings, temporary);
    // The profile functions may keep the file cached; this writes it out.
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, temporary);
    if (!written) {
        const DWORD error = GetLastError();
        DeleteFileW(temporary);
        return Fail(path, error ? error : ERROR_WRITE_FAULT);
    }
    if (!MoveFileExW(temporary, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        DeleteFileW(temporary);
        return Fail(path, error);
    }
    return true;
}

} // namespace hml::mixer
