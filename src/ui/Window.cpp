#include "ui/Window.h"

#include "ui/Gdi.h"
#include "ui/MessageBox.h"

#include <map>
#include <mutex>
#include <stdexcept>
#include <string>

namespace hml::ui {

namespace {

std::mutex mapLock;
std::map<HWND, CWindow*>& WindowMap() {
    static std::map<HWND, CWindow*> map;
    return map;
}

// The object whose window is being created on this thread; messages before WM_NCCREATE have no
// other way to find it.
thread_local CWindow* creating = nullptr;

} // namespace

CWindow::~CWindow() {
    if (hwnd) {
        HWND window = hwnd;
        Detach();
        if (::IsWindow(window)) {
            DestroyWindow(window);
        }
    }
}

CWindow* CWindow::FromHandle(HWND window) {
    std::lock_guard lock(mapLock);
    auto it = WindowMap().find(window);
    return it == WindowMap().end() ? nullptr : it->second;
}

void CWindow::Attach(HWND window) {
    hwnd = window;
    std::lock_guard lock(mapLock);
    WindowMap()[window] = this;
}

void CWindow::Detach() {
    std::lock_guard lock(mapLock);
    WindowMap().erase(hwnd);
    hwnd = nullptr;
}

bool CWindow::CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style,
                       int x, int y, int width, int height, HWND parent, HMENU menu) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{sizeof(existing)};
    if (!GetClassInfoExW(instance, className, &existing)) {
        WNDCLASSEXW wc{sizeof(wc)};
        wc.lpfnWndProc = &CWindow::StaticWndProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = className;
        PreRegisterClass(wc);
        if (!RegisterClassExW(&wc)) {
            return false;
        }
    }
    creating = this;
    HWND window = CreateWindowExW(exStyle, className, title, style, x, y, width, height, parent,
                                  menu, instance, this);
    creating = nullptr;
    return window != nullptr;
}

void CWindow::Destroy() {
    if (IsWindow()) {
        DestroyWindow(hwnd);
    }
}

bool CWindow::PreTranslateMessage(MSG&) {
    return false;
}

void CWindow::PreRegisterClass(WNDCLASSEXW&) {}

int CWindow::OnCreate(CREATESTRUCTW&) {
    return 0;
}

void CWindow::OnDestroy() {}

void CWindow::OnFinalMessage() {}

LRESULT CWindow::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    return WndProcDefault(msg, wParam, lParam);
}

LRESULT CWindow::WndProcDefault(UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK CWindow::StaticWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    CWindow* self = FromHandle(window);
    if (!self && creating) {
        self = creating;
        creating = nullptr;
        self->Attach(window);
    }
    if (!self) {
        return DefWindowProcW(window, msg, wParam, lParam);
    }
    LRESULT result = 0;
    try {
        if (msg == WM_DESTROY) {
            self->OnDestroy();
            result = self->WndProc(msg, wParam, lParam);
        } else if (msg == WM_CREATE) {
            if (self->OnCreate(*reinterpret_cast<CREATESTRUCTW*>(lParam)) < 0) {
                return -1;
            }
            result = self->WndProc(msg, wParam, lParam);
        } else {
            result = self->WndProc(msg, wParam, lParam);
        }
    } catch (...) {
        ReportCallbackException();
    }
    if (msg == WM_NCDESTROY) {
        self->WindowGone();
    }
    return result;
}

void ReportCallbackException() noexcept {
    try {
        throw;
    } catch (const CWinException& e) {
        ShowError(e.Text());
    } catch (const std::exception& e) {
        std::string what = e.what();
        ShowError(std::wstring(what.begin(), what.end()));
    } catch (...) {
        ShowError(L"Unexpected error");
    }
}

void CWindow::WindowGone() noexcept {
    Detach();
    try {
        OnFinalMessage();
    } catch (...) {
        ReportCallbackException();
    }
}

} // namespace hml::ui
