#pragma once
// The Updates page: running and newest known version, the day of the last check, how often the
// automatic check runs, and a check at once.

#include "configurator/win32/ConfiguratorTabBase.h"
#include "configurator/win32/PageHost.h"
#include "ui/Control.h"
#include "update/UpdateAnswer.h"

#include <optional>

namespace hml::configurator {

// A static text with optional own colours and cursor; without colours it follows the system's
// window colours.
class CColoredStatic : public ui::CControl {
public:
    ~CColoredStatic() override;
    void SetColors(COLORREF text, COLORREF background);
    void ResetColors();
    void SetCursor(HCURSOR cursor_) { cursor = cursor_; }
    // WM_CTLCOLORSTATIC of the parent for this control.
    HBRUSH Paint(HDC dc) const;
    bool HasColors() const { return background.has_value(); }
    COLORREF TextColor() const { return textColor.value_or(GetSysColor(COLOR_WINDOWTEXT)); }
    COLORREF BackgroundColor() const { return background.value_or(GetSysColor(COLOR_WINDOW)); }

protected:
    LRESULT ControlProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    std::optional<COLORREF> textColor;
    std::optional<COLORREF> background;
    HBRUSH brush = nullptr;
    HCURSOR cursor = nullptr;
};

class CConfiguratorTabUpdates : public CConfiguratorTabBase {
public:
    // The check's result, posted from the checker's thread to the page (wParam: CheckResult).
    static constexpr UINT kCheckDoneMessage = WM_APP + 14;
    static constexpr const wchar_t* kProductPage = L"https://www.tarnwick.com/harmolith";
    // The frequency box's items, in days.
    static constexpr std::uint32_t kFrequencies[] = {0, 7, 14, 30, 60};

    CConfiguratorTabUpdates(IConfiguratorFrame& frame, IPageHost& host);

    bool Apply(int commandId) override;

    const CColoredStatic& AvailableVersion() const { return availableValue; }

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    INT_PTR DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void Refresh();
    void StartCheck();
    void OnCheckDone(update::CheckResult result);
    void OpenAvailable();

    IPageHost& host;
    CColoredStatic availableLabel;
    CColoredStatic availableValue;
    HWND frequency = nullptr;
};

} // namespace hml::configurator
