#pragma once
// The base of every configurator page: a modeless child dialog placed in the frame's tab control.
// The frame drives it through three calls: mark as modified, apply and translate.

#include "configurator/win32/ConfiguratorFrame.h"
#include "ui/Dialog.h"
#include "ui/Resizer.h"

namespace hml::configurator {

class CConfiguratorTabBase : public ui::CDialog {
public:
    CConfiguratorTabBase(UINT dialogId, IConfiguratorFrame& frame_)
        : ui::CDialog(dialogId), frame(frame_) {}

    // Stores the flag here and in the frame, which enables Apply while it is set.
    virtual void SetModified(bool flag);
    // Writes the page's controls into the settings. `commandId` is IDOK or the Apply button's id.
    // False stops the whole apply; the page has then told the user why.
    virtual bool Apply(int commandId) = 0;
    // Replaces the texts of the page and its children by their translations.
    virtual void Translate();

    bool IsModified() const { return modified; }

    // A page leaves keys to the frame, its parent: the frame's dialog navigation spans every
    // page, and Ctrl+Tab must switch pages whichever control has the focus.
    bool PreTranslateMessage(MSG&) override { return false; }

protected:
    // Page colours, wheel scrolling of scrollable pages, and the resizer.
    INT_PTR DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    IConfiguratorFrame& frame;
    ui::CResizer resizer;

private:
    bool modified = false;
};

} // namespace hml::configurator
