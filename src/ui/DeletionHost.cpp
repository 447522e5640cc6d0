#include "ui/DeletionHost.h"

#include <mutex>
#include <set>

namespace hml::ui {

namespace {

HWND deletionHost = nullptr;
std::mutex pendingLock;
std::set<CWindow*> pending;

} // namespace

void SetDeletionHost(HWND host) {
    deletionHost = host;
}

bool HandOverForDeletion(CWindow* object) {
    if (!deletionHost || !::IsWindow(deletionHost)) {
        return false;
    }
    std::lock_guard guard(pendingLock);
    if (!PostMessageW(deletionHost, WM_USER, reinterpret_cast<WPARAM>(object), 0)) {
        return false;
    }
    pending.insert(object);
    return true;
}

bool ClaimForDeletion(CWindow* object) {
    std::lock_guard guard(pendingLock);
    return pending.erase(object) != 0;
}

} // namespace hml::ui
