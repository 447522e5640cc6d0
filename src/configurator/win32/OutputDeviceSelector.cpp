#include "configurator/win32/OutputDeviceSelector.h"

#include "audio/win32/COutputDevice.h"
#include "config/Language.h"

#include <string>

namespace hml::configurator {

COutputDeviceSelector::COutputDeviceSelector(IOutputDeviceSource& source_,
                                             config::CSettings& settings_)
    : source(source_), settings(settings_) {}

COutputDeviceSelector::~COutputDeviceSelector() {
    HWND window = GetHwnd();
    Detach();
    if (window && IsWindow(window)) {
        DestroyWindow(window);
    }
    if (font) {
        DeleteObject(font);
    }
}

bool COutputDeviceSelector::Create(HWND parent, int id, const RECT& place, std::uint32_t portCount_,
                                   HFONT parentFont) {
    portCount = portCount_ == 0 ? 1 : portCount_;
    HWND button = CreateWindowExW(
        0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, place.left, place.top,
        place.right - place.left, place.bottom - place.top, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    if (!button || !Attach(parent, id)) {
        return false;
    }
    // Its own copy, so the face keeps its font whatever happens to the page's.
    LOGFONTW logFont{};
    if (parentFont && GetObjectW(parentFont, sizeof logFont, &logFont)) {
        font = CreateFontIndirectW(&logFont);
    }
    SetWindowPos(button, nullptr, 0, 0, place.right - place.left,
                 static_cast<int>(portCount) * kRowHeight + 6,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RebuildDevices();
    return true;
}

void COutputDeviceSelector::RebuildDevices() {
    choices.Build(L"<" + config::Translate(L"cfg.opt.defaultDeviceMenu") + L">",
                  source.OutputDevices());
}

void COutputDeviceSelector::AddDeviceItems(HMENU menu, int port) {
    for (const auto& [number, name] : choices.Devices()) {
        UINT flags = MF_STRING;
        if (port >= 0 && settings.outputDevices[static_cast<std::size_t>(port)] ==
                             static_cast<std::uint32_t>(number)) {
            flags |= MF_CHECKED;
        }
        AppendMenuW(menu, flags, static_cast<UINT_PTR>(COutputDeviceChoices::MenuId(port, number)),
                    name.c_str());
    }
}

HMENU COutputDeviceSelector::BuildMenu() {
    RebuildDevices();
    HMENU menu = CreatePopupMenu();
    if (portCount < 2) {
        AddDeviceItems(menu, 0);
        return menu;
    }
    HMENU all = CreatePopupMenu();
    AddDeviceItems(all, -1);
    const std::wstring allTitle = L"<" + config::Translate(L"cfg.opt.allDevicesMenu") + L">";
    AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(all), allTitle.c_str());
    for (std::uint32_t port = 0; port < portCount; ++port) {
        HMENU sub = CreatePopupMenu();
        AddDeviceItems(sub, static_cast<int>(port));
        AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub),
                    config::CSettings::PortDisplayName(port).c_str());
    }
    return menu;
}

void COutputDeviceSelector::Choose(int id) {
    COutputDeviceChoices::Choose(id, settings.outputDevices, portCount);
    InvalidateRect(GetHwnd(), nullptr, TRUE);
}

void COutputDeviceSelector::Click() {
    HMENU menu = BuildMenu();
    POINT at{};
    GetCursorPos(&at);
    RECT face{};
    GetWindowRect(GetHwnd(), &face);
    if (!PtInRect(&face, at)) {
        // Opened from the keyboard: under the button rather than wherever the mouse is.
        at = {face.left, face.bottom};
    }
    SetForegroundWindow(GetHwnd());
    const int id = static_cast<int>(
        TrackPopupMenu(menu, TPM_NONOTIFY | TPM_RETURNCMD, at.x, at.y, 0, GetHwnd(), nullptr));
    DestroyMenu(menu);
    if (id > 0) {
        Choose(id);
    }
}

void COutputDeviceSelector::Draw(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    RECT face = item.rcItem;
    FillRect(dc, &face, GetSysColorBrush(COLOR_WINDOW));
    HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_WINDOWTEXT));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, face.left, face.top, face.right, face.bottom);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(pen);

    HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
    SetBkMode(dc, TRANSPARENT);
    const int numberWidth = portCount > 1 ? 18 : 0;
    for (std::uint32_t port = 0; port < portCount && port < settings.outputDevices.size(); ++port) {
        RECT row{face.left + 6, face.top + 3 + static_cast<int>(port) * kRowHeight, face.right - 4,
                 face.top + 3 + static_cast<int>(port + 1) * kRowHeight};
        if (portCount > 1) {
            SetTextColor(dc, RGB(0, 0, 0));
            RECT number = row;
            number.right = number.left + numberWidth;
            const std::wstring text = std::to_wstring(port + 1);
            DrawTextW(dc, text.c_str(), -1, &number, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
        }
        RECT name = row;
        name.left += numberWidth;
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        const std::wstring text = choices.FaceName(settings.outputDevices[port]);
        DrawTextW(dc, text.c_str(), -1, &name,
                  DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_END_ELLIPSIS | DT_NOPREFIX);
    }
    if (oldFont) {
        SelectObject(dc, oldFont);
    }
    if (item.itemState & ODS_FOCUS) {
        RECT focus = face;
        InflateRect(&focus, -2, -2);
        DrawFocusRect(dc, &focus);
    }
}

std::vector<SAudioDevice> SystemOutputDevices() {
    const auto all = audio::EnumerateOutputDevices();
    std::vector<SAudioDevice> devices;
    for (std::size_t n = 2; n < all.size(); ++n) {
        devices.push_back({all[n].name, true});
    }
    return devices;
}

} // namespace hml::configurator
