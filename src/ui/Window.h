#pragma once
// The window layer: one C++ object per window, found through its handle, and one static window
// procedure that forwards every message to the object's virtual WndProc. Exceptions never leave a
// window procedure; they end as an error message box.

#include <windows.h>

namespace hml::ui {

class CWindow {
public:
    CWindow() = default;
    virtual ~CWindow();
    CWindow(const CWindow&) = delete;
    CWindow& operator=(const CWindow&) = delete;

    // Registers the class on first use (PreRegisterClass may change it) and creates the window.
    bool CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, int x,
                  int y, int width, int height, HWND parent, HMENU menu = nullptr);
    void Destroy();

    HWND GetHwnd() const { return hwnd; }
    bool IsWindow() const { return hwnd && ::IsWindow(hwnd); }

    // The object of a window created through this layer, or none.
    static CWindow* FromHandle(HWND window);

    // Called by the message loop for messages to this window or its children before dispatch;
    // true when the message was handled here.
    virtual bool PreTranslateMessage(MSG& msg);

protected:
    virtual void PreRegisterClass(WNDCLASSEXW& wc);
    // WM_CREATE; -1 refuses the window.
    virtual int OnCreate(CREATESTRUCTW& cs);
    virtual void OnDestroy();
    virtual LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT WndProcDefault(UINT msg, WPARAM wParam, LPARAM lParam);
    // The window is gone (after WM_NCDESTROY); the object may be deleted from here on.
    virtual void OnFinalMessage();

    // Links a handle to this object (windows created by the system, such as dialogs).
    void Attach(HWND window);
    void Detach();
    // After WM_NCDESTROY: unlinks the handle, then OnFinalMessage.
    void WindowGone() noexcept;

private:
    static LRESULT CALLBACK StaticWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

    HWND hwnd = nullptr;
};

// Shows an exception that reached a window procedure; callbacks end here instead of unwinding
// through system code.
void ReportCallbackException() noexcept;

} // namespace hml::ui
