#pragma once
// The Windows version as this process sees it (the manifest decides how far up it reports).

#include <windows.h>

namespace hml::ui {

OSVERSIONINFOW WindowsVersion();

// A 64-bit Windows: this process is 64-bit, or a 32-bit one under WOW64.
bool Is64BitWindows();

} // namespace hml::ui
