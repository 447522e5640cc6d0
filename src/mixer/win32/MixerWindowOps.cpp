// The owner's side of its mixer window: one window per owner, found through mixerWindow.

#include "mixer/MixerOwner.h"
#include "mixer/win32/MixerDialog.h"

namespace hml::mixer {

void IMixerOwner::OpenMixerWindow() {
    if (!mixerWindow) {
        auto* dialog = new CMixerDialog(*this);
        mixerWindow = dialog;
        if (!dialog->Create()) {
            mixerWindow = nullptr;
            delete dialog;
            return;
        }
    }
    mixerWindow->Show();
}

void IMixerOwner::ToggleMixerWindow() {
    if (mixerWindow) {
        PostMessageW(mixerWindow->GetHwnd(), WM_CLOSE, 0, 0);
    } else {
        OpenMixerWindow();
    }
}

} // namespace hml::mixer
