#include "configurator/win32/Configurator.h"

#include "Resource.h"
#include "config/Language.h"
#include "config/Settings.h"
#include "configurator/FrameIds.h"
#include "configurator/SoundFontRules.h"
#include "configurator/win32/ConfiguratorPages.h"
#include "ui/MessageBox.h"

#include <commctrl.h>

#include <string>

namespace hml::configurator {

using namespace hml::config;

CConfigurator* configurator = nullptr;

namespace {

constexpr const wchar_t* kDonatePage = L"https://www.tarnwick.com/harmolith/donate";
constexpr const wchar_t* kProductPage = L"https://www.tarnwick.com/harmolith";
constexpr const wchar_t* kVersionText = L"2.9.1";
constexpr COLORREF kColourKey = RGB(255, 0, 255);
// Posted to itself: the language changed and the window opens again in it.
constexpr UINT kReopenMessage = WM_APP + 1;

} // namespace

CConfigurator::CConfigurator(IConfiguratorHost& host_)
    : ui::ModelessDialog(IDD_CONFIGURATOR), host(host_) {}

CConfigurator::~CConfigurator() {
    if (configurator == this) {
        configurator = nullptr;
    }
}

BOOL CConfigurator::OnInitDialog() {
    GetClientRect(GetHwnd(), &initialClient);
    RECT outer{};
    GetWindowRect(GetHwnd(), &outer);
    minimumWindow = {outer.right - outer.left, outer.bottom - outer.top};

    using R = ui::CResizer;
    resizer.Initialize(GetHwnd());
    resizer.Add(IDC_CFG_TABS, R::kTopLeft, true, true);
    resizer.Add(IDC_CFG_DONATE, R::kBottomLeft);
    resizer.Add(IDC_CFG_WEBSITE, R::kBottomLeft);
    resizer.Add(IDC_CFG_APPLY, R::kBottomRight);
    resizer.Add(IDOK, R::kBottomRight);
    resizer.Add(IDCANCEL, R::kBottomRight);

    tabs = GetDlgItem(GetHwnd(), IDC_CFG_TABS);
    for (ConfiguratorPageSlot& slot : CreateConfiguratorPages(*this, host)) {
        if (!slot.page->Create(GetHwnd())) {
            continue;
        }
        std::wstring title = Translate(slot.titleKey);
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = title.data();
        SendMessageW(tabs, TCM_INSERTITEMW, pages.size(), reinterpret_cast<LPARAM>(&item));
        pages.push_back(std::move(slot.page));
    }
    SetModified(false);

    const std::wstring caption = std::wstring(ui::kAppCaption) + L" - " + kVersionText;
    SetWindowTextW(GetHwnd(), caption.c_str());
    HINSTANCE instance = GetModuleHandleW(nullptr);
    for (auto [which, size] :
         {std::pair{ICON_SMALL, SM_CXSMICON}, std::pair{ICON_BIG, SM_CXICON}}) {
        const int pixels = GetSystemMetrics(size);
        SendMessageW(GetHwnd(), WM_SETICON, which,
                     reinterpret_cast<LPARAM>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_HARMOLITH),
                                                         IMAGE_ICON, pixels, pixels, LR_SHARED)));
    }
    if (language) {
        // The caption is no key: it translates to itself.
        language->TranslateWindow(GetHwnd());
    }

    if (!settings || !settings->RestoreWindowPosition(kPlacementKey, GetHwnd(), 0)) {
        RECT work{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        GetWindowRect(GetHwnd(), &outer);
        const int width = outer.right - outer.left;
        const int height = outer.bottom - outer.top;
        SetWindowPos(GetHwnd(), nullptr, work.left + (work.right - work.left - width) / 2,
                     work.top + (work.bottom - work.top - height) / 2, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER);
    }
    const int stored =
        settings ? static_cast<std::int32_t>(settings->ReadInt(L"Windows", kActiveTabKey, 0)) : 0;
    if (stored >= 0 && stored < static_cast<int>(pages.size())) {
        SendMessageW(tabs, TCM_SETCURSEL, stored, 0);
    }
    PlacePages();
    ShowSelectedPage();
    SetLayeredWindowAttributes(GetHwnd(), kColourKey, 255, LWA_COLORKEY | LWA_ALPHA);
    return TRUE;
}

void CConfigurator::SetModified(bool flag) {
    modified = flag;
    if (HWND apply = GetDlgItem(GetHwnd(), IDC_CFG_APPLY)) {
        EnableWindow(apply, flag ? TRUE : FALSE);
    }
}

int CConfigurator::ActiveTab() const {
    return tabs ? static_cast<int>(SendMessageW(tabs, TCM_GETCURSEL, 0, 0)) : -1;
}

void CConfigurator::ShowTab(int page) {
    // An index that is no page selects none, as the tab control does.
    SendMessageW(tabs, TCM_SETCURSEL, page, 0);
    ShowSelectedPage();
}

void CConfigurator::BringToFront() {
    if (IsIconic(GetHwnd())) {
        ShowWindow(GetHwnd(), SW_RESTORE);
    }
    SetForegroundWindow(GetHwnd());
    SetWindowPos(GetHwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW);
}

void CConfigurator::PlacePages() {
    RECT area{};
    GetWindowRect(tabs, &area);
    MapWindowPoints(nullptr, GetHwnd(), reinterpret_cast<POINT*>(&area), 2);
    SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    for (auto& page : pages) {
        SetWindowPos(page->GetHwnd(), HWND_TOP, area.left, area.top, area.right - area.left,
                     area.bottom - area.top, SWP_NOACTIVATE);
    }
}

void CConfigurator::ShowSelectedPage() {
    const int active = ActiveTab();
    for (std::size_t i = 0; i < pages.size(); ++i) {
        ShowWindow(pages[i]->GetHwnd(), static_cast<int>(i) == active ? SW_SHOW : SW_HIDE);
    }
}

bool CConfigurator::OnKeyDown(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_TAB || !(GetKeyState(VK_CONTROL) & 0x8000)) {
        return false;
    }
    const bool backwards = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    ShowTab(CyclePage(ActiveTab(), static_cast<int>(pages.size()), backwards));
    return true;
}

bool CConfigurator::PreTranslateMessage(MSG& msg) {
    if (OnKeyDown(msg)) {
        return true;
    }
    return ModelessDialog::PreTranslateMessage(msg);
}

bool CConfigurator::ApplyAll(int commandId) {
    for (auto& page : pages) {
        if (!page->Apply(commandId)) {
            return false;
        }
    }
    if (settings && settings->portCountChanged && host.RestartProcess()) {
        return true;
    }
    host.CheckSoundFonts();
    SetModified(false);
    bool reopen = false;
    if (settings) {
        if (settings->audioChanged) {
            host.RestartAudio();
        }
        if (settings->hotkeysChanged) {
            host.RegisterHotkeys();
        }
        if (settings->vuMeterChanged) {
            host.ApplyMeters();
        }
        if (settings->languageChanged) {
            host.ReloadLanguage();
            reopen = commandId == IDC_CFG_APPLY;
        }
        settings->audioChanged = settings->hotkeysChanged = settings->vuMeterChanged =
            settings->languageChanged = settings->portCountChanged = false;
    }
    if (reopen) {
        PostMessageW(GetHwnd(), kReopenMessage, 0, 0);
    }
    if (commandId == IDOK) {
        Destroy();
    }
    return true;
}

void CConfigurator::OnOK() {
    ApplyAll(IDOK);
}

BOOL CConfigurator::OnCommand(WPARAM wParam, LPARAM lParam) {
    switch (LOWORD(wParam)) {
    case IDC_CFG_DONATE:
        host.OpenWebPage(kDonatePage);
        return TRUE;
    case IDC_CFG_WEBSITE:
        host.OpenWebPage(kProductPage);
        return TRUE;
    case IDC_CFG_APPLY:
        ApplyAll(IDC_CFG_APPLY);
        return TRUE;
    default:
        return ModelessDialog::OnCommand(wParam, lParam);
    }
}

void CConfigurator::EraseBackground(HDC dc) {
    RECT client{};
    GetClientRect(GetHwnd(), &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    const LONG minWidth = initialClient.right - initialClient.left;
    const LONG minHeight = initialClient.bottom - initialClient.top;
    if (client.right > minWidth && client.bottom > minHeight) {
        const int side = GetSystemMetrics(SM_CXVSCROLL);
        RECT grip{client.right - side, client.bottom - side, client.right, client.bottom};
        DrawFrameControl(dc, &grip, DFC_SCROLL, DFCS_SCROLLSIZEGRIP);
    }
}

INT_PTR CConfigurator::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom == IDC_CFG_TABS && header->code == TCN_SELCHANGE) {
            ShowSelectedPage();
            return TRUE;
        }
        break;
    }
    case WM_ERASEBKGND:
        EraseBackground(reinterpret_cast<HDC>(wParam));
        SetWindowLongPtrW(GetHwnd(), DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_GETMINMAXINFO:
        if (minimumWindow.cx > 0) {
            reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {minimumWindow.cx,
                                                                     minimumWindow.cy};
        }
        return TRUE;
    case WM_SIZE:
        resizer.Resize();
        if (tabs) {
            PlacePages();
        }
        InvalidateRect(GetHwnd(), nullptr, TRUE);
        return TRUE;
    case WM_ENTERSIZEMOVE:
        if (settings && settings->snapWindows.Get() == 1) {
            snapper.BeginMove(GetHwnd());
        }
        return FALSE;
    case WM_MOVING:
        if (settings && settings->snapWindows.Get() == 1 &&
            snapper.Moving(*reinterpret_cast<RECT*>(lParam))) {
            SetWindowLongPtrW(GetHwnd(), DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        if (settings) {
            settings->SaveWindowPosition(kPlacementKey, GetHwnd());
            const std::wstring active = std::to_wstring(ActiveTab());
            settings->WriteString(L"Windows", kActiveTabKey, &active);
        }
        break;
    case kReopenMessage: {
        IConfiguratorHost& keep = host;
        Destroy();
        OpenConfiguratorWindow(keep, -1);
        return TRUE;
    }
    default:
        break;
    }
    return ModelessDialog::DialogProc(msg, wParam, lParam);
}

void CConfigurator::OnFinalMessage() {
    if (configurator == this) {
        configurator = nullptr;
    }
    ModelessDialog::OnFinalMessage();
}

void OpenConfiguratorWindow(IConfiguratorHost& host, int page) {
    if (!configurator) {
        auto* window = new CConfigurator(host);
        configurator = window;
        if (!window->Create()) {
            configurator = nullptr;
            delete window;
            return;
        }
    }
    if (page >= 0) {
        configurator->ShowTab(page);
    }
    configurator->BringToFront();
}

void CloseConfiguratorWindow() {
    if (configurator) {
        configurator->Destroy();
    }
}

} // namespace hml::configurator
