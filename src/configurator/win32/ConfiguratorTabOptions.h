#pragma once
// The configurator's Options page: four groups of labelled rows built when the page opens, each
// editing one setting (or, for autostart, the user's Run value in the registry). The settings are
// written only when the frame applies.

#include "configurator/OptionsHost.h"
#include "configurator/win32/ConfiguratorTabBase.h"
#include "configurator/win32/OutputDeviceSelector.h"
#include "ui/Gdi.h"

#include <memory>
#include <vector>

namespace hml::configurator {

class CConfiguratorTabOptions : public CConfiguratorTabBase {
public:
    // Works on config::settings, which must outlive the page.
    CConfiguratorTabOptions(IConfiguratorFrame& frame, IOptionsPageHost& host);
    ~CConfiguratorTabOptions() override;

    bool Apply(int commandId) override;

    COutputDeviceSelector* DeviceSelector() { return selector.get(); }
    // Bottom of the last group plus the margin below it, unscrolled, in pixels.
    int ContentHeight() const { return contentHeight; }

    // The autostart value the page writes for this program: its path in quotes.
    static std::wstring AutostartCommand();
    // Whether the user's Run key starts this program (the quoted path, in any letter case).
    static bool AutostartIsOn();
    static void SetAutostart(bool on);

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    INT_PTR DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    enum class EKind { Check, List, Button, Selector, Number };
    struct SRow {
        int id = 0;
        EKind kind = EKind::Check;
        HWND control = nullptr;
        HWND label = nullptr;
        int width = 0;
        bool wideLabel = false;
        HWND upDown = nullptr;
        config::CIntSetting* setting = nullptr; // check boxes and numbers
    };
    struct SGroup {
        HWND box = nullptr;
        std::vector<SRow> rows;
    };

    void BuildGroups();
    SRow& AddRow(SGroup& group, int id, EKind kind, const std::wstring& label, int width,
                 bool wideLabel, config::CIntSetting* setting = nullptr, int maximum = 0);
    void FillLists();
    void LoadControls();
    void ResetToDefaults();
    void Layout();
    void Scroll(int request);
    int TextHeight(HWND control, int width) const;
    std::uint32_t NumberOf(const SRow& row) const;
    std::uint32_t SelectedValue(int id, const std::vector<std::uint32_t>& values) const;
    SRow* FindRow(int id);

    IOptionsPageHost& host;
    config::CSettings& settings;
    ui::CGdiObject<HFONT> boldFont;
    HFONT pageFont = nullptr;
    std::vector<SGroup> groups;
    std::unique_ptr<COutputDeviceSelector> selector;
    std::vector<std::uint32_t> rateValues;
    std::vector<std::uint32_t> languageValues;
    int contentHeight = 0;
    bool loading = false; // control notifications while filling do not count as edits
};

} // namespace hml::configurator
