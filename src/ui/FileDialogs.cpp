#include "ui/FileDialogs.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include <algorithm>

namespace hml::ui {

namespace {

std::wstring ZeroSeparated(std::wstring filter) {
    for (wchar_t& c : filter) {
        if (c == L'|') {
            c = L'\0';
        }
    }
    return filter + L'\0';
}

// Room for many file names with a multi-selection.
constexpr DWORD kNamesBuffer = 64 * 1024;

int CALLBACK FolderCallback(HWND window, UINT msg, LPARAM, LPARAM data) {
    if (msg == BFFM_INITIALIZED && data) {
        SendMessageW(window, BFFM_SETSELECTIONW, TRUE, data);
    } else if (msg == BFFM_SELCHANGED) {
        HWND tree =
            FindWindowExW(window, nullptr, L"SHBrowseForFolder ShellNameSpace Control", nullptr);
        tree = tree ? FindWindowExW(tree, nullptr, WC_TREEVIEWW, nullptr)
                    : FindWindowExW(window, nullptr, WC_TREEVIEWW, nullptr);
        if (tree) {
            if (HTREEITEM item = TreeView_GetSelection(tree)) {
                // Centre it: scroll it to the top, then back by half a page.
                TreeView_EnsureVisible(tree, item);
                const int half = static_cast<int>(TreeView_GetVisibleCount(tree)) / 2;
                for (int i = 0; i < half; ++i) {
                    SendMessageW(tree, WM_VSCROLL, SB_LINEDOWN, 0);
                }
                TreeView_EnsureVisible(tree, item);
            }
        }
    }
    return 0;
}

} // namespace

std::vector<std::wstring> OpenFileDialog(HWND owner, const std::wstring& title,
                                         const std::wstring& filter, bool multiSelect) {
    const std::wstring filters = ZeroSeparated(filter);
    std::wstring names(kNamesBuffer, L'\0');
    OPENFILENAMEW ofn{sizeof(ofn)};
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filters.c_str();
    ofn.lpstrFile = names.data();
    ofn.nMaxFile = kNamesBuffer;
    ofn.lpstrTitle = title.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                (multiSelect ? OFN_ALLOWMULTISELECT : 0);
    std::vector<std::wstring> chosen;
    if (!GetOpenFileNameW(&ofn)) {
        return chosen;
    }
    // One name: the full path. Several: the folder, then each name, zero-separated.
    const std::wstring first = names.c_str();
    const wchar_t* next = names.c_str() + first.size() + 1;
    if (!multiSelect || *next == L'\0') {
        chosen.push_back(first);
        return chosen;
    }
    const std::wstring folder = first.back() == L'\\' ? first : first + L'\\';
    for (; *next; next += wcslen(next) + 1) {
        chosen.push_back(folder + next);
    }
    return chosen;
}

std::optional<std::wstring> SaveFileDialog(HWND owner, const std::wstring& title,
                                           const std::wstring& filter,
                                           const std::wstring& defaultExtension,
                                           const std::wstring& initialName) {
    const std::wstring filters = ZeroSeparated(filter);
    std::wstring name(MAX_PATH * 4, L'\0');
    name.replace(0, std::min(initialName.size(), name.size() - 1), initialName);
    OPENFILENAMEW ofn{sizeof(ofn)};
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filters.c_str();
    ofn.lpstrFile = name.data();
    ofn.nMaxFile = static_cast<DWORD>(name.size());
    ofn.lpstrTitle = title.c_str();
    ofn.lpstrDefExt = defaultExtension.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetSaveFileNameW(&ofn)) {
        return std::nullopt;
    }
    return std::wstring(name.c_str());
}

std::optional<std::wstring> BrowseForFolder(HWND owner, const std::wstring& title,
                                            const std::wstring& start) {
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
    info.lpfn = &FolderCallback;
    info.lParam = reinterpret_cast<LPARAM>(start.c_str());
    PIDLIST_ABSOLUTE folder = SHBrowseForFolderW(&info);
    if (!folder) {
        return std::nullopt;
    }
    wchar_t path[MAX_PATH] = {};
    const bool ok = SHGetPathFromIDListW(folder, path);
    CoTaskMemFree(folder);
    if (!ok) {
        return std::nullopt;
    }
    return std::wstring(path);
}

} // namespace hml::ui
