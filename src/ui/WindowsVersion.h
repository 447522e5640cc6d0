#pragma once
// The Windows version as this process sees it (the manifest decides how far up it reports).

#include <windows.h>

namespace ui {

OSVERSIONINFOW WindowsVersion();

} // namespace ui
