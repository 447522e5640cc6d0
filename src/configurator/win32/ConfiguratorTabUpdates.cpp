#include "configurator/win32/ConfiguratorTabUpdates.h"

#include "config/Language.h"
#include "config/Settings.h"
#include "configurator/PagesIds.h"
#include "ui/MessageBox.h"
#include "update/UpdateSchedule.h"
#include "update/win32/UpdateChecker.h"

namespace hml::configurator {

using config::settings;

CColoredStatic::~CColoredStatic() {
    if (brush) {
        DeleteObject(brush);
    }
}

void CColoredStatic::SetColors(COLORREF text, COLORREF back) {
    textColor = text;
    background = back;
    if (brush) {
        DeleteObject(brush);
    }
    brush = CreateSolidBrush(back);
    if (GetHwnd()) {
        InvalidateRect(GetHwnd(), nullptr, TRUE);
    }
}

void CColoredStatic::ResetColors() {
    textColor.reset();
    background.reset();
    if (brush) {
        DeleteObject(brush);
        brush = nullptr;
    }
    if (GetHwnd()) {
        InvalidateRect(GetHwnd(), nullptr, TRUE);
    }
}

HBRUSH CColoredStatic::Paint(HDC dc) const {
    SetTextColor(dc, TextColor());
    SetBkColor(dc, BackgroundColor());
    return brush ? brush : GetSysColorBrush(COLOR_WINDOW);
}

LRESULT CColoredStatic::ControlProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_SETCURSOR && cursor) {
        ::SetCursor(cursor);
        return TRUE;
    }
    return Default(msg, wParam, lParam);
}

CConfiguratorTabUpdates::CConfiguratorTabUpdates(IConfiguratorFrame& frame_, IPageHost& host_)
    : CConfiguratorTabBase(IDD_CFG_UPDATES, frame_), host(host_) {}

BOOL CConfiguratorTabUpdates::OnInitDialog() {
    availableLabel.Attach(GetHwnd(), IDC_UPD_AVAIL_LABEL);
    availableValue.Attach(GetHwnd(), IDC_UPD_AVAIL_VALUE);
    HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);
    availableLabel.SetCursor(hand);
    availableValue.SetCursor(hand);
    frequency = GetDlgItem(GetHwnd(), IDC_UPD_FREQ);
    resizer.Initialize(GetHwnd());
    Refresh();
    Translate();
    return TRUE;
}

void CConfiguratorTabUpdates::Refresh() {
    if (!GetHwnd() || !::IsWindow(frequency) || !settings) {
        return;
    }
    if (SendMessageW(frequency, CB_GETCOUNT, 0, 0) == 0) {
        for (std::uint32_t days : kFrequencies) {
            const std::wstring text =
                days == 0 ? config::Translate(L"cfg.upd.days0")
                          : config::Translate(L"cfg.upd.daysx", std::to_wstring(days));
            const LRESULT index =
                SendMessageW(frequency, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
            SendMessageW(frequency, CB_SETITEMDATA, index, days);
        }
        SendMessageW(frequency, CB_SETCURSEL, 0, 0);
        const std::uint32_t stored = settings->checkFrequency.Get();
        for (std::size_t i = 0; i < std::size(kFrequencies); ++i) {
            if (kFrequencies[i] == stored) {
                SendMessageW(frequency, CB_SETCURSEL, i, 0);
            }
        }
    }
    SetDlgItemTextW(GetHwnd(), IDC_UPD_LAST_VALUE, settings->lastCheck.Get().c_str());
    update::CUpdateChecker* checker = host.UpdateChecker();
    const update::ProductVersion running =
        checker ? checker->CurrentVersion()
                : update::ProductVersion::Parse(update::CUpdateChecker::kProgramVersion);
    SetDlgItemTextW(GetHwnd(), IDC_UPD_CUR_VALUE, running.Format().c_str());

    const update::ProductVersion found =
        update::ProductVersion::Parse(settings->lastVersionFound.Get());
    if (found.IsZero()) {
        if (checker && !checker->LastErrorText().empty()) {
            SetWindowTextW(availableValue.GetHwnd(), L"ERROR");
            settings->lastNotify.Set(update::DateText(update::LocalNow()));
        }
        return;
    }
    SetWindowTextW(availableValue.GetHwnd(), found.Format().c_str());
    if (found.IsNewerThan(running)) {
        availableValue.SetColors(RGB(255, 255, 255), RGB(255, 0, 0));
    } else {
        availableValue.ResetColors();
    }
}

void CConfiguratorTabUpdates::StartCheck() {
    availableValue.ResetColors();
    SetWindowTextW(availableValue.GetHwnd(), L"checking...");
    if (settings) {
        for (config::CStringSetting* value :
             {&settings->lastCheck, &settings->lastNotify, &settings->lastVersionFound,
              &settings->lastVersionURL}) {
            value->Reread();
        }
    }
    update::CUpdateChecker* checker = host.UpdateChecker();
    // The page may be gone when the check ends: the worker only posts to its window.
    HWND page = GetHwnd();
    const bool started = checker && checker->StartCheck([page](update::CheckResult result) {
        PostMessageW(page, kCheckDoneMessage, static_cast<WPARAM>(result), 0);
    });
    if (!started) {
        ui::ShowMessageBox(L"Version check is already in progress, please try again later!",
                           L"Version check in progress...", MB_ICONINFORMATION, GetHwnd());
    }
}

void CConfiguratorTabUpdates::OnCheckDone(update::CheckResult result) {
    Refresh();
    switch (result) {
    case update::CheckResult::UpdateAvailable:
        ui::ShowMessageBox(config::Translate(L"cfg.upd.updateAvailable"), ui::kAppCaption,
                           MB_ICONINFORMATION, GetHwnd());
        if (settings) {
            settings->lastNotify.Set(update::DateText(update::LocalNow()));
        }
        break;
    case update::CheckResult::CheckFailed:
        SetWindowTextW(availableValue.GetHwnd(), L"Error!");
        break;
    case update::CheckResult::UpToDate:
        break;
    }
}

void CConfiguratorTabUpdates::OpenAvailable() {
    update::CUpdateChecker* checker = host.UpdateChecker();
    const std::wstring error = checker ? checker->LastErrorText() : std::wstring();
    if (!error.empty()) {
        ui::ShowMessageBox(error, L"Update check error", MB_ICONERROR, GetHwnd());
        return;
    }
    const std::wstring address = settings ? settings->lastVersionURL.Get() : std::wstring();
    host.Open(address.empty() ? kProductPage : address);
}

BOOL CConfiguratorTabUpdates::OnCommand(WPARAM wParam, LPARAM lParam) {
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    if (id == IDC_UPD_FREQ && code == CBN_SELCHANGE) {
        SetModified(true);
        return TRUE;
    }
    if (id == IDC_UPD_CHECK && code == BN_CLICKED) {
        StartCheck();
        return TRUE;
    }
    if ((id == IDC_UPD_AVAIL_LABEL || id == IDC_UPD_AVAIL_VALUE) && code == STN_CLICKED) {
        OpenAvailable();
        return TRUE;
    }
    return CConfiguratorTabBase::OnCommand(wParam, lParam);
}

INT_PTR CConfiguratorTabUpdates::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kCheckDoneMessage) {
        OnCheckDone(static_cast<update::CheckResult>(wParam));
        return TRUE;
    }
    if (msg == WM_CTLCOLORSTATIC) {
        HWND control = reinterpret_cast<HWND>(lParam);
        HDC dc = reinterpret_cast<HDC>(wParam);
        if (control == availableValue.GetHwnd()) {
            return reinterpret_cast<INT_PTR>(availableValue.Paint(dc));
        }
        if (control == availableLabel.GetHwnd()) {
            return reinterpret_cast<INT_PTR>(availableLabel.Paint(dc));
        }
    }
    return CConfiguratorTabBase::DialogProc(msg, wParam, lParam);
}

bool CConfiguratorTabUpdates::Apply(int) {
    if (IsModified() && settings) {
        const LRESULT index = SendMessageW(frequency, CB_GETCURSEL, 0, 0);
        if (index != CB_ERR) {
            const auto days =
                static_cast<std::uint32_t>(SendMessageW(frequency, CB_GETITEMDATA, index, 0));
            settings->checkFrequency.Set(days);
            if (days == 0) {
                for (config::CStringSetting* value :
                     {&settings->lastCheck, &settings->lastNotify, &settings->lastVersionFound,
                      &settings->lastVersionURL}) {
                    value->Reread();
                }
            }
        }
    }
    SetModified(false);
    return true;
}

} // namespace hml::configurator
