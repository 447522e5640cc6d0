#pragma once
// The SoundFonts page: the one SoundFont list all ports share, edited as a working copy and
// handed to the running ports on apply. Its list draws one toggle box per port in every row.

#include "config/SoundFontEntry.h"
#include "configurator/ConfiguratorHost.h"
#include "configurator/win32/ConfiguratorTabBase.h"
#include "ui/Control.h"
#include "ui/ToolTip.h"

#include <shellapi.h>

#include <string>
#include <vector>

namespace hml::configurator {

class CSoundFontListBox : public ui::CControl {
public:
    static constexpr int kItemHeight = 36;
    static constexpr int kBoxSide = 24;

    explicit CSoundFontListBox(std::vector<config::SoundFontEntry>& list_) : list(list_) {}

    void Setup(std::wstring helpText_, std::uint32_t portCount_, HBITMAP on, HBITMAP off);
    // Items again from the working list, with the horizontal extent of the widest row.
    void Refresh();
    // The list's owner-draw request, passed on by the page.
    void DrawItem(const DRAWITEMSTRUCT& item);
    int Selected() const { return static_cast<int>(Send(LB_GETCURSEL)); }
    void Select(int index) { Send(LB_SETCURSEL, static_cast<WPARAM>(index)); }

protected:
    LRESULT ControlProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void TogglePort(int index, std::uint32_t port, bool ctrl);
    void PaintEmpty();

    std::vector<config::SoundFontEntry>& list;
    std::wstring helpText;
    std::uint32_t portCount = 1;
    HBITMAP portOn = nullptr;
    HBITMAP portOff = nullptr;
};

class CConfiguratorTabSoundFonts : public CConfiguratorTabBase {
public:
    CConfiguratorTabSoundFonts(IConfiguratorFrame& frame_, IConfiguratorHost& host_);
    ~CConfiguratorTabSoundFonts() override;

    bool Apply(int commandId) override;

    // Appends an entry for the file (any extension), selects it and marks the page modified.
    void AddSoundFont(const std::wstring& path);
    // The working list replaced by a ".hmlsf" file's; false when the file cannot be read.
    bool ImportList(const std::wstring& path);
    // The working list written to a ".hmlsf" file whole or not at all.
    bool ExportList(const std::wstring& path);

    const std::vector<config::SoundFontEntry>& Entries() const { return entries; }
    CSoundFontListBox& List() { return listBox; }

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    INT_PTR DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void UpdateButtons();
    void Remove();
    void Move(int delta);
    void Edit();
    void AddFromDialog();
    void ImportFromDialog();
    void ExportFromDialog();
    void Dropped(HDROP drop);

    IConfiguratorHost& host;
    ui::CBalloonToolTip toolTip;
    std::vector<config::SoundFontEntry> entries;
    CSoundFontListBox listBox{entries};
    std::uint32_t portCount = 1;
    HBITMAP portOn = nullptr;
    HBITMAP portOff = nullptr;
};

} // namespace hml::configurator
