#pragma once
// The Windows version as this process sees it (the manifest decides how far up it reports).

#include <windows.h>

namespace hml::ui {

OSVERSIONINFOW WindowsVersion();

} // namespace hml::ui
