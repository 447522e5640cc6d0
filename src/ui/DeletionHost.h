#pragma once
// The window that deletes the objects of finished modeless windows (the tray window). An object is
// handed over with WM_USER and its pointer in wParam; the host deletes only pointers that were
// handed over this way, because any program can post WM_USER to a window it finds.

#include <windows.h>

namespace hml::ui {

class CWindow;

void SetDeletionHost(HWND host);

// Posts the object to the host for deletion; false (nothing posted) when there is no host.
bool HandOverForDeletion(CWindow* object);
// The host's side: true, once, for an object that was handed over and not yet claimed.
bool ClaimForDeletion(CWindow* object);

} // namespace hml::ui
