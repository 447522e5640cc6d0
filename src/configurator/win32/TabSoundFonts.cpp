#include "configurator/win32/TabSoundFonts.h"

#include "config/Language.h"
#include "config/Settings.h"
#include "configurator/FrameIds.h"
#include "configurator/SoundFontRules.h"
#include "configurator/win32/SoundFontEditor.h"
#include "ui/FileDialogs.h"
#include "ui/IconButtons.h"
#include "ui/MessageBox.h"

#include <shellapi.h>

#include <algorithm>

namespace hml::configurator {

using namespace hml::config;

namespace {

constexpr COLORREF kTransparent = RGB(255, 0, 255);
// The list's notification that the user changed an entry's ports.
constexpr WORD kPortsChanged = 0;

using ui::SIconButton;
constexpr SIconButton kButtons[] = {
    {IDC_SF_ADD, IDI_SF_ADD, L"cfg.sf.tt.add"},
    {IDC_SF_REMOVE, IDI_SF_REMOVE, L"cfg.sf.tt.remove"},
    {IDC_SF_EDIT, IDI_SF_EDIT, L"cfg.sf.tt.edit"},
    {IDC_SF_UP, IDI_SF_UP, L"cfg.sf.tt.up"},
    {IDC_SF_DOWN, IDI_SF_DOWN, L"cfg.sf.tt.down"},
    {IDC_SF_IMPORT, IDI_SF_IMPORT, L"cfg.sf.tt.import"},
    {IDC_SF_EXPORT, IDI_SF_EXPORT, L"cfg.sf.tt.export"},
};

} // namespace

// ---- the list ---------------------------------------------------------------------------------

void CSoundFontListBox::Setup(std::wstring helpText_, std::uint32_t portCount_, HBITMAP on,
                              HBITMAP off) {
    helpText = std::move(helpText_);
    portCount = portCount_;
    portOn = on;
    portOff = off;
}

void CSoundFontListBox::Refresh() {
    Send(WM_SETREDRAW, FALSE);
    Send(LB_RESETCONTENT);
    HDC dc = GetDC(GetHwnd());
    HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(Send(WM_GETFONT)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    LONG widest = 0;
    for (const SoundFontEntry& entry : list) {
        Send(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.filename.c_str()));
        SIZE size{};
        GetTextExtentPoint32W(dc, entry.filename.c_str(), static_cast<int>(entry.filename.size()),
                              &size);
        widest = std::max(widest, size.cx);
    }
    SelectObject(dc, oldFont);
    ReleaseDC(GetHwnd(), dc);
    Send(LB_SETHORIZONTALEXTENT,
         static_cast<WPARAM>(metrics.tmAveCharWidth + portCount * kBoxSide + widest + 4));
    Send(LB_SETITEMHEIGHT, 0, kItemHeight);
    Send(WM_SETREDRAW, TRUE);
    InvalidateRect(GetHwnd(), nullptr, TRUE);
}

void CSoundFontListBox::DrawItem(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    if (item.itemID == static_cast<UINT>(-1) || item.itemID >= list.size()) {
        if (item.itemState & ODS_FOCUS) {
            DrawFocusRect(dc, &item.rcItem);
        }
        return;
    }
    const SoundFontEntry& entry = list[item.itemID];
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    FillRect(dc, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    SetBkMode(dc, TRANSPARENT);

    HDC memory = CreateCompatibleDC(dc);
    for (std::uint32_t p = 0; p < portCount; ++p) {
        const bool on = (entry.enabled >> p & 1u) != 0;
        HGDIOBJ old = SelectObject(memory, on ? portOn : portOff);
        const int x = item.rcItem.left + kBoxSide * static_cast<int>(p);
        const int y = item.rcItem.top + 6;
        GdiTransparentBlt(dc, x, y, kBoxSide, kBoxSide, memory, 0, 0, kBoxSide, kBoxSide,
                          kTransparent);
        SelectObject(memory, old);
        if (portCount > 1) {
            RECT box{x, y, x + kBoxSide, y + kBoxSide};
            const std::wstring number = std::to_wstring(p + 1);
            COLORREF textColour = SetTextColor(dc, RGB(0, 0, 0));
            DrawTextW(dc, number.c_str(), -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
            SetTextColor(dc, textColour);
        }
    }
    DeleteDC(memory);

    const std::wstring text = EntryText(entry);
    RECT area = item.rcItem;
    area.left += kBoxSide * static_cast<int>(portCount) + 4;
    RECT measure = area;
    DrawTextW(dc, text.c_str(), -1, &measure, DT_CALCRECT | DT_NOPREFIX);
    const LONG height = measure.bottom - measure.top;
    if (height < kItemHeight) {
        area.top += (kItemHeight - height) / 2;
    }
    DrawTextW(dc, text.c_str(), -1, &area, DT_NOPREFIX);
    if (item.itemState & ODS_FOCUS) {
        DrawFocusRect(dc, &item.rcItem);
    }
}

void CSoundFontListBox::TogglePort(int index, std::uint32_t port, bool ctrl) {
    if (index < 0 || static_cast<std::size_t>(index) >= list.size() || port >= portCount) {
        return;
    }
    SoundFontEntry& entry = list[static_cast<std::size_t>(index)];
    entry.enabled = ClickPort(entry.enabled, port, ctrl, portCount);
    InvalidateRect(GetHwnd(), nullptr, TRUE);
    SendMessageW(GetParent(GetHwnd()), WM_COMMAND,
                 MAKEWPARAM(GetDlgCtrlID(GetHwnd()), kPortsChanged),
                 reinterpret_cast<LPARAM>(GetHwnd()));
}

void CSoundFontListBox::PaintEmpty() {
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(GetHwnd(), &paint);
    RECT client{};
    GetClientRect(GetHwnd(), &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
    if (GetFocus() == GetHwnd()) {
        DrawFocusRect(dc, &client);
    }
    HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(Send(WM_GETFONT)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    RECT text = client;
    InflateRect(&text, -12, 0);
    RECT measure = text;
    DrawTextW(dc, helpText.c_str(), -1, &measure, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    text.top += (client.bottom - (measure.bottom - measure.top)) / 2;
    DrawTextW(dc, helpText.c_str(), -1, &text, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, oldFont);
    EndPaint(GetHwnd(), &paint);
}

LRESULT CSoundFontListBox::ControlProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_ERASEBKGND:
        if (list.empty()) {
            return TRUE;
        }
        break;
    case WM_PAINT:
        if (list.empty()) {
            PaintEmpty();
            return 0;
        }
        break;
    case WM_LBUTTONDOWN: {
        const int x = static_cast<short>(LOWORD(lParam));
        const LRESULT hit = Send(LB_ITEMFROMPOINT, 0, lParam);
        const int index = LOWORD(hit);
        if (HIWORD(hit) == 0 && x >= 0 && x / kBoxSide < static_cast<int>(portCount)) {
            TogglePort(index, static_cast<std::uint32_t>(x / kBoxSide), (wParam & MK_CONTROL) != 0);
        }
        break;
    }
    case WM_KEYDOWN: {
        int digit = 0;
        if (wParam >= '1' && wParam <= '9') {
            digit = static_cast<int>(wParam - '0');
        } else if (wParam >= VK_NUMPAD1 && wParam <= VK_NUMPAD9) {
            digit = static_cast<int>(wParam - VK_NUMPAD0);
        }
        if (digit > 0) {
            TogglePort(Selected(), static_cast<std::uint32_t>(digit - 1), false);
            return 0;
        }
        break;
    }
    case WM_LBUTTONDBLCLK:
        SendMessageW(GetDlgItem(GetParent(GetHwnd()), IDC_SF_EDIT), BM_CLICK, 0, 0);
        return 0;
    case WM_DROPFILES:
        // The page decides what a drop adds.
        return SendMessageW(GetParent(GetHwnd()), msg, wParam, lParam);
    default:
        break;
    }
    return Default(msg, wParam, lParam);
}

// ---- the page ---------------------------------------------------------------------------------

CConfiguratorTabSoundFonts::CConfiguratorTabSoundFonts(IConfiguratorFrame& frame_,
                                                       IConfiguratorHost& host_)
    : CConfiguratorTabBase(IDD_CFG_SOUNDFONTS, frame_), host(host_) {}

CConfiguratorTabSoundFonts::~CConfiguratorTabSoundFonts() {
    if (portOn) {
        DeleteObject(portOn);
    }
    if (portOff) {
        DeleteObject(portOff);
    }
}

BOOL CConfiguratorTabSoundFonts::OnInitDialog() {
    if (settings) {
        entries = settings->soundFonts;
        portCount = std::min<std::uint32_t>(settings->devicesCount.Get(), 4);
    }
    HINSTANCE instance = GetModuleHandleW(nullptr);
    portOn = static_cast<HBITMAP>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDB_SF_PORT_ON), IMAGE_BITMAP, 0, 0, 0));
    portOff = static_cast<HBITMAP>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDB_SF_PORT_OFF), IMAGE_BITMAP, 0, 0, 0));
    listBox.Attach(GetHwnd(), IDC_SF_LIST);
    listBox.Setup(config::Translate(L"cfg.sf.listHelp"), portCount, portOn, portOff);

    toolTip.Create(GetHwnd());
    ui::SetUpIconButtons(GetHwnd(), instance, kButtons, toolTip,
                         [](const std::wstring& key) { return config::Translate(key); });

    using R = ui::CResizer;
    resizer.Initialize(GetHwnd());
    resizer.Add(IDC_SF_LIST, R::kTopLeft, true, true);
    for (const SIconButton& b : kButtons) {
        resizer.Add(b.id, R::kBottomRight);
    }
    resizer.Add(IDC_SF_INFO, R::kBottomLeft, true);

    listBox.Refresh();
    UpdateButtons();
    DragAcceptFiles(listBox.GetHwnd(), TRUE);
    Translate();
    return TRUE;
}

void CConfiguratorTabSoundFonts::UpdateButtons() {
    const BOOL any = entries.empty() ? FALSE : TRUE;
    for (int id : {IDC_SF_REMOVE, IDC_SF_EDIT, IDC_SF_UP, IDC_SF_DOWN}) {
        EnableWindow(GetDlgItem(GetHwnd(), id), any);
    }
}

void CConfiguratorTabSoundFonts::AddSoundFont(const std::wstring& path) {
    entries.push_back(NewSoundFontEntry(path, portCount));
    listBox.Refresh();
    SetModified(true);
    listBox.Select(static_cast<int>(entries.size()) - 1);
    UpdateButtons();
}

void CConfiguratorTabSoundFonts::Remove() {
    const int selected = listBox.Selected();
    if (selected < 0 || static_cast<std::size_t>(selected) >= entries.size()) {
        return;
    }
    entries.erase(entries.begin() + selected);
    listBox.Refresh();
    listBox.Select(std::max(selected - 1, 0));
    SetModified(true);
    UpdateButtons();
}

void CConfiguratorTabSoundFonts::Move(int delta) {
    const int selected = listBox.Selected();
    const int target = selected + delta;
    if (selected < 0 || target < 0 || target >= static_cast<int>(entries.size())) {
        return;
    }
    std::swap(entries[static_cast<std::size_t>(selected)],
              entries[static_cast<std::size_t>(target)]);
    listBox.Refresh();
    listBox.Select(target);
    SetModified(true);
}

void CConfiguratorTabSoundFonts::Edit() {
    const int selected = listBox.Selected();
    if (selected < 0 || static_cast<std::size_t>(selected) >= entries.size()) {
        return;
    }
    if (EditSoundFont(entries[static_cast<std::size_t>(selected)], frame.FrameWindow())) {
        InvalidateRect(listBox.GetHwnd(), nullptr, TRUE);
        SetModified(true);
    }
}

bool CConfiguratorTabSoundFonts::ImportList(const std::wstring& path) {
    if (!settings || GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    settings->ReadSoundFonts(entries, path);
    listBox.Refresh();
    SetModified(true);
    UpdateButtons();
    return true;
}

bool CConfiguratorTabSoundFonts::ExportList(const std::wstring& path) {
    if (!settings) {
        return false;
    }
    // Written beside the target and renamed over it, so a failure leaves the old file whole.
    const std::wstring temp = path + L".tmp";
    DeleteFileW(temp.c_str());
    std::vector<SoundFontEntry> copy = entries;
    settings->WriteSoundFonts(copy, temp);
    if (GetFileAttributesW(temp.c_str()) == INVALID_FILE_ATTRIBUTES && !copy.empty()) {
        return false;
    }
    if (copy.empty()) {
        // An empty list is a file with no entries; the profile functions write nothing for it.
        HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return false;
        }
        CloseHandle(file);
    }
    if (!MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(temp.c_str());
        return false;
    }
    return true;
}

void CConfiguratorTabSoundFonts::AddFromDialog() {
    const std::wstring filter =
        config::Translate(L"{0} (*.sf2;*.sfz)|*.sf2;*.sfz|{1} (*.*)|*.*|",
                          config::Translate(L"common.filter.soundfontFiles"),
                          config::Translate(L"common.filter.allFiles"));
    for (const std::wstring& path : ui::OpenFileDialog(
             frame.FrameWindow(), config::Translate(L"cfg.sf.addSoundfontsTitle"), filter, true)) {
        AddSoundFont(path);
    }
}

void CConfiguratorTabSoundFonts::ImportFromDialog() {
    const std::wstring filter = config::Translate(L"{0} (*.hmlsf)|*.hmlsf|{1} (*.*)|*.*|",
                                                  config::Translate(L"common.filter.sfConfig"),
                                                  config::Translate(L"common.filter.allFiles"));
    const auto chosen = ui::OpenFileDialog(frame.FrameWindow(),
                                           config::Translate(L"cfg.sf.importTitle"), filter, false);
    if (!chosen.empty()) {
        ImportList(chosen.front());
    }
}

void CConfiguratorTabSoundFonts::ExportFromDialog() {
    const std::wstring filter =
        config::Translate(L"{0} (*.hmlsf)|*.hmlsf|", config::Translate(L"common.filter.sfConfig"));
    if (auto path = ui::SaveFileDialog(
            frame.FrameWindow(), config::Translate(L"cfg.sf.exportTitle"), filter, L"hmlsf")) {
        ExportList(*path);
    }
}

void CConfiguratorTabSoundFonts::Dropped(HDROP drop) {
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        wchar_t path[MAX_PATH] = {};
        if (DragQueryFileW(drop, i, path, MAX_PATH) && path[0]) {
            AddSoundFont(path);
        }
    }
    DragFinish(drop);
}

bool CConfiguratorTabSoundFonts::Apply(int) {
    if (!IsModified()) {
        return true;
    }
    if (const auto duplicate = FindDuplicate(entries)) {
        listBox.Select(static_cast<int>(*duplicate));
        ui::ShowMessageBox(config::Translate(L"cfg.sf.fontExists", entries[*duplicate].filename),
                           ui::kAppCaption, MB_OK | MB_ICONWARNING, frame.FrameWindow());
        return false;
    }
    host.ReplaceSoundFonts(entries);
    if (settings) {
        // The stored list has its port bits cut to the port count.
        entries = settings->soundFonts;
    }
    SetModified(false);
    return true;
}

BOOL CConfiguratorTabSoundFonts::OnCommand(WPARAM wParam, LPARAM lParam) {
    switch (LOWORD(wParam)) {
    case IDC_SF_LIST:
        if (HIWORD(wParam) == kPortsChanged) {
            SetModified(true);
        }
        return TRUE;
    case IDC_SF_ADD:
        AddFromDialog();
        return TRUE;
    case IDC_SF_REMOVE:
        Remove();
        return TRUE;
    case IDC_SF_EDIT:
        Edit();
        return TRUE;
    case IDC_SF_UP:
        Move(-1);
        return TRUE;
    case IDC_SF_DOWN:
        Move(1);
        return TRUE;
    case IDC_SF_IMPORT:
        ImportFromDialog();
        return TRUE;
    case IDC_SF_EXPORT:
        ExportFromDialog();
        return TRUE;
    default:
        return CConfiguratorTabBase::OnCommand(wParam, lParam);
    }
}

INT_PTR CConfiguratorTabSoundFonts::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_MEASUREITEM:
        reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = CSoundFontListBox::kItemHeight;
        return TRUE;
    case WM_DRAWITEM:
        if (wParam == IDC_SF_LIST) {
            listBox.DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        }
        break;
    case WM_DROPFILES:
        Dropped(reinterpret_cast<HDROP>(wParam));
        return TRUE;
    default:
        break;
    }
    return CConfiguratorTabBase::DialogProc(msg, wParam, lParam);
}

} // namespace hml::configurator
