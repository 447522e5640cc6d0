#pragma once
// What a configurator page needs from the window that holds it. The configurator implements it;
// page tests give a small stand-in so a page can be driven on its own.

#include <windows.h>

namespace hml::configurator {

class IConfiguratorFrame {
public:
    virtual ~IConfiguratorFrame() = default;
    // Stores the flag and enables Apply while it is set.
    virtual void SetModified(bool modified) = 0;
    // The frame's window: owner of the pages' message boxes and menus.
    virtual HWND FrameWindow() const = 0;
};

} // namespace hml::configurator
