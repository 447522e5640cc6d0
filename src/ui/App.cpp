#include "ui/App.h"

#include "ui/Window.h"

namespace hml::ui {

CWinApp::CWinApp() {
    current = this;
}

CWinApp::~CWinApp() {
    if (current == this) {
        current = nullptr;
    }
}

bool CWinApp::InitInstance() {
    return true;
}

int CWinApp::Run() {
    MSG msg{};
    for (;;) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            break;
        }
        // The window or any of its ancestors may claim the message (dialog navigation, shortcuts).
        bool handled = false;
        for (HWND window = msg.hwnd; window && !handled; window = GetParent(window)) {
            if (CWindow* object = CWindow::FromHandle(window)) {
                handled = object->PreTranslateMessage(msg);
            }
        }
        if (!handled) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}

} // namespace hml::ui
