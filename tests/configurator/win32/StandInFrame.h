#pragma once
// A small window in place of the configurator: holds one page as a child the size of the real tab
// body, counts what the page tells it, and gives the page a host whose devices, status and update
// checker the test chooses. Settings come from the config fixture (a real file under Wine).

#include "config/Language.h"
#include "configurator/win32/ConfiguratorFrame.h"
#include "configurator/win32/PageHost.h"
#include "support/ConfigFixture.h"
#include "support/TestPaths.h"

#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace page_test {

using namespace hml;
using namespace hml::configurator;

class CStandInHost final : public IPageHost {
public:
    std::vector<std::wstring> MidiOutputNames() override { return devices; }
    bool DefaultDeviceChoosable() override { return choosable; }
    std::wstring ServerStatusText() override { return status; }
    update::CUpdateChecker* UpdateChecker() override { return checker; }
    void Open(const std::wstring& target) override { opened.push_back(target); }

    std::vector<std::wstring> devices;
    bool choosable = true;
    std::wstring status;
    update::CUpdateChecker* checker = nullptr;
    std::vector<std::wstring> opened;
};

class CStandInFrame final : public IConfiguratorFrame {
public:
    CStandInFrame() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        windowClass.lpszClassName = L"HmlPageStandInFrame";
        RegisterClassW(&windowClass);
        // The real frame's tab body: 370 x 220 dialog units less the tab's borders.
        window = CreateWindowExW(0, L"HmlPageStandInFrame", L"Page", WS_OVERLAPPEDWINDOW, 0, 0, 620,
                                 440, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    ~CStandInFrame() override { DestroyWindow(window); }

    void SetModified(bool flag) override {
        modified = flag;
        ++modifiedCalls;
    }
    HWND FrameWindow() const override { return window; }

    HWND window = nullptr;
    bool modified = false;
    int modifiedCalls = 0;
};

// Runs this thread's messages for a while.
inline void Pump(DWORD forMs = 0) {
    const ULONGLONG end = GetTickCount64() + forMs;
    do {
        MSG msg{};
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (forMs) {
            Sleep(5);
        }
    } while (GetTickCount64() < end);
}

// Pumps until done() holds or the time is up.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() > end) {
            return false;
        }
        Pump(10);
    }
    return true;
}

inline std::wstring TextOf(HWND window) {
    wchar_t text[4096] = {};
    GetWindowTextW(window, text, 4096);
    return text;
}

// Selects an item of a (ComboBoxEx) list the way a user does: the selection, then the
// notification its parent gets.
inline void Choose(HWND page, int id, int index) {
    HWND combo = GetDlgItem(page, id);
    SendMessageW(combo, CB_SETCURSEL, index, 0);
    SendMessageW(page, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

// Settings on a fixture file and, when asked, the language of the source tree.
class PageFixture : public ConfigFixture {
protected:
    PageFixture() : configuration(Open()) { config::settings = configuration.get(); }
    ~PageFixture() override {
        config::settings = nullptr;
        config::FreeLanguage();
    }

    void UseLanguage(std::uint32_t id) {
        config::FreeLanguage();
        config::language = new config::CLanguage(test::Source(""), id);
        config::language->LoadSection(L"common");
        config::language->LoadSection(L"synth");
    }

    // The settings as a new start reads them from the file.
    std::unique_ptr<config::CSettings> Reopened() { return Open(); }

    std::unique_ptr<config::CSettings> configuration;
    CStandInFrame frame;
    CStandInHost host;
};

} // namespace page_test
