#pragma once
// The settings window: a resizable dialog whose tab control holds the six pages, with OK, Cancel
// and Apply. It runs beside the live ports, so applying acts on the running synthesizer.

#include "configurator/ConfiguratorHost.h"
#include "configurator/win32/ConfiguratorFrame.h"
#include "configurator/win32/ConfiguratorTabBase.h"
#include "ui/Dialog.h"
#include "ui/Resizer.h"
#include "ui/WindowSnapper.h"

#include <memory>
#include <vector>

namespace hml::configurator {

class CConfigurator : public ui::ModelessDialog, public IConfiguratorFrame {
public:
    static constexpr const wchar_t* kPlacementKey = L"Configurator";
    static constexpr const wchar_t* kActiveTabKey = L"Configurator.ActiveTab";

    explicit CConfigurator(IConfiguratorHost& host_);
    ~CConfigurator() override;

    // Selects the tab whose page has this index; with no such page, none.
    void ShowTab(int page);
    int ActiveTab() const;
    // Applies every page in tab order, then acts on what changed. False when a page refused.
    bool ApplyAll(int commandId);
    void BringToFront();

    void SetModified(bool flag) override;
    HWND FrameWindow() const override { return GetHwnd(); }
    bool IsModified() const { return modified; }

    CConfiguratorTabBase* Page(std::size_t index) const {
        return index < pages.size() ? pages[index].get() : nullptr;
    }
    std::size_t PageCount() const { return pages.size(); }

    bool PreTranslateMessage(MSG& msg) override;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    INT_PTR DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnFinalMessage() override;

private:
    // Ctrl+Tab and Ctrl+Shift+Tab, from the frame or any page; true when handled.
    bool OnKeyDown(const MSG& msg);
    void PlacePages();
    void ShowSelectedPage();
    void EraseBackground(HDC dc);

    IConfiguratorHost& host;
    RECT initialClient{};
    SIZE minimumWindow{};
    bool modified = false;
    ui::CResizer resizer;
    ui::CWindowSnapper snapper;
    HWND tabs = nullptr;
    std::vector<std::unique_ptr<CConfiguratorTabBase>> pages;
};

// The one open configurator; none while it is closed.
extern CConfigurator* configurator;

// Creates the configurator when there is none and brings it to the front on the given page
// (a page index from 0; -1 keeps the page it shows).
void OpenConfiguratorWindow(IConfiguratorHost& host, int page);
// Destroys the configurator's window (exit): unapplied changes are dropped.
void CloseConfiguratorWindow();

} // namespace hml::configurator
