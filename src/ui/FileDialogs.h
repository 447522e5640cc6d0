#pragma once
// The system's open, save and folder dialogs. Filters are "Description|pattern|...|" texts.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace hml::ui {

// The chosen files (several when multiSelect), or none when the user cancels.
std::vector<std::wstring> OpenFileDialog(HWND owner, const std::wstring& title,
                                         const std::wstring& filter, bool multiSelect);
// The chosen path, given the default extension (without dot) when the user typed none. The name
// field starts with initialName.
std::optional<std::wstring> SaveFileDialog(HWND owner, const std::wstring& title,
                                           const std::wstring& filter,
                                           const std::wstring& defaultExtension,
                                           const std::wstring& initialName = {});
// The shell's folder browser (file-system folders, an edit box, the new style), starting at
// `start` and keeping the selected folder in the middle of the tree.
std::optional<std::wstring> BrowseForFolder(HWND owner, const std::wstring& title,
                                            const std::wstring& start);

} // namespace hml::ui
