#pragma once
// A control made by a dialog template (or anyone else) that a C++ object takes over: the object
// sees the control's messages first through a comctl32 subclass, and the subclass goes with the
// object or the window, whichever ends first.

#include <windows.h>

namespace hml::ui {

class CControl {
public:
    CControl() = default;
    virtual ~CControl();
    CControl(const CControl&) = delete;
    CControl& operator=(const CControl&) = delete;

    // Takes over the dialog's child with this id; false when there is none.
    bool Attach(HWND dialog, int id);
    void Detach();
    HWND GetHwnd() const { return hwnd; }
    LRESULT Send(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return SendMessageW(hwnd, msg, wParam, lParam);
    }

protected:
    virtual void OnAttach() {}
    virtual LRESULT ControlProc(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Default(UINT msg, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR self);

    HWND hwnd = nullptr;
};

} // namespace hml::ui
