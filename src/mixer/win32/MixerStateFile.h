#pragma once
// Mixer state files (".hmlms"): asking for a file name and saving so that a failure never leaves
// a half-written file in place of the old one.

#include <string>

struct HWND__;

namespace hml::config {
class CSettings;
} // namespace hml::config

namespace hml::mixer {

class IMixerOwner;

// The file the user picked, or empty when the dialog was cancelled.
std::wstring AskLoadPath(HWND__* owner);
std::wstring AskSavePath(HWND__* owner);

// Writes the owner's state into a new file beside path and then puts it in path's place. On
// failure the old file stays as it was, the user is told, and false is returned.
bool Save(IMixerOwner& owner, config::CSettings& settings, const std::wstring& path);

} // namespace hml::mixer
