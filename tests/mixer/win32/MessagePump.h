#pragma once
// The test thread's share of a window's life: runs this thread's posted messages the way the
// program's message loop does (a window or one of its ancestors may claim a message first), and
// finds the pop-up menu a window opened.

#include "support/Eventually.h"
#include "ui/Window.h"

#include <windows.h>

using namespace hml::ui;

namespace test_pump {

// Runs the waiting messages, then goes on for forMs milliseconds.
inline void Pump(DWORD forMs = 0) {
    const ULONGLONG end = GetTickCount64() + forMs;
    do {
        MSG msg{};
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            bool handled = false;
            for (HWND w = msg.hwnd; w && !handled; w = GetParent(w)) {
                if (hml::ui::CWindow* object = hml::ui::CWindow::FromHandle(w)) {
                    handled = object->PreTranslateMessage(msg);
                }
            }
            if (!handled) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        if (forMs) {
            Sleep(5);
        }
    } while (GetTickCount64() < end);
}

// The visible pop-up menu once there is one (for another thread that answers it), or null.
inline HWND WaitForMenu() {
    return Eventually<HWND>([]() -> std::optional<HWND> {
               HWND menu = FindWindowW(L"#32768", nullptr);
               return menu && IsWindowVisible(menu) ? std::optional(menu) : std::nullopt;
           })
        .value_or(nullptr);
}

} // namespace test_pump
