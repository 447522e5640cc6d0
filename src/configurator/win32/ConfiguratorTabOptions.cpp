#include "configurator/win32/ConfiguratorTabOptions.h"

#include "config/Language.h"
#include "configurator/OptionsChoices.h"
#include "configurator/OptionsIds.h"
#include "configurator/win32/BlacklistEditor.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>

namespace hml::configurator {

namespace {

constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const wchar_t* kRunValue = L"Harmolith";
constexpr int kMargin = 10;
constexpr int kRowMinHeight = 22;
constexpr int kRowGap = 5;
constexpr int kListDropHeight = 160;

std::wstring ExecutablePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

HWND MakeChild(HWND parent, const wchar_t* className, const std::wstring& text, DWORD style,
               DWORD exStyle, int id, HFONT font) {
    HWND child = CreateWindowExW(
        exStyle, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return child;
}

} // namespace

CConfiguratorTabOptions::CConfiguratorTabOptions(IConfiguratorFrame& frame_,
                                                 IOptionsPageHost& host_)
    : CConfiguratorTabBase(IDD_OPTIONS, frame_), host(host_), settings(*config::settings) {}

CConfiguratorTabOptions::~CConfiguratorTabOptions() = default;

std::wstring CConfiguratorTabOptions::AutostartCommand() {
    return L"\"" + ExecutablePath() + L"\"";
}

bool CConfiguratorTabOptions::AutostartIsOn() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return false;
    }
    std::wstring value(1024, L'\0');
    DWORD type = 0;
    DWORD bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    const LSTATUS status = RegQueryValueExW(key, kRunValue, nullptr, &type,
                                            reinterpret_cast<BYTE*>(value.data()), &bytes);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return false;
    }
    value.resize(bytes / sizeof(wchar_t));
    while (!value.empty() && value.back() == L'\0') {
        value.pop_back();
    }
    return lstrcmpiW(value.c_str(), AutostartCommand().c_str()) == 0;
}

void CConfiguratorTabOptions::SetAutostart(bool on) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
        return;
    }
    if (on) {
        const std::wstring command = AutostartCommand();
        RegSetValueExW(key, kRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                       static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    } else {
        RegDeleteValueW(key, kRunValue);
    }
    RegCloseKey(key);
}

BOOL CConfiguratorTabOptions::OnInitDialog() {
    loading = true;
    pageFont = reinterpret_cast<HFONT>(SendMessageW(GetHwnd(), WM_GETFONT, 0, 0));
    LOGFONTW bold{};
    GetObjectW(pageFont ? pageFont : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)),
               sizeof bold, &bold);
    bold.lfWeight = FW_BOLD;
    boldFont = ui::CGdiObject<HFONT>(CreateFontIndirectW(&bold));
    BuildGroups();
    FillLists();
    LoadControls();
    Translate();
    Layout();
    RECT page{};
    GetClientRect(GetHwnd(), &page);
    SetWindowPos(GetHwnd(), nullptr, 0, 0, page.right, contentHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    loading = false;
    return TRUE;
}

CConfiguratorTabOptions::SRow& CConfiguratorTabOptions::AddRow(SGroup& group, int id, EKind kind,
                                                               const std::wstring& labelKey,
                                                               int width, bool wideLabel,
                                                               config::CIntSetting* setting,
                                                               int maximum) {
    SRow row;
    row.id = id;
    row.kind = kind;
    row.width = width;
    row.wideLabel = wideLabel;
    row.setting = setting;
    HWND page = GetHwnd();
    std::wstring label = maximum ? config::Translate(labelKey, std::to_wstring(maximum))
                                 : config::Translate(labelKey);
    switch (kind) {
    case EKind::Check:
        row.control = MakeChild(page, L"BUTTON", label, BS_AUTOCHECKBOX | BS_MULTILINE | WS_TABSTOP,
                                0, id, pageFont);
        break;
    case EKind::List:
        row.control = MakeChild(page, L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP,
                                0, id, pageFont);
        break;
    case EKind::Button:
        row.control =
            MakeChild(page, L"BUTTON", L"...", BS_PUSHBUTTON | WS_TABSTOP, 0, id, pageFont);
        break;
    case EKind::Selector: {
        selector = std::make_unique<COutputDeviceSelector>(host, settings);
        RECT place{0, 0, 100, 22};
        selector->Create(page, id, place, settings.devicesCount.Get(), pageFont);
        row.control = selector->GetHwnd();
        break;
    }
    case EKind::Number:
        row.control = MakeChild(page, L"EDIT", L"", ES_NUMBER | ES_AUTOHSCROLL | WS_TABSTOP,
                                WS_EX_CLIENTEDGE, id, pageFont);
        row.upDown = MakeChild(page, UPDOWN_CLASSW, L"",
                               UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_HOTTRACK | UDS_NOTHOUSANDS |
                                   UDS_SETBUDDYINT,
                               0, 0, pageFont);
        SendMessageW(row.upDown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(row.control), 0);
        break;
    }
    if (kind != EKind::Check) {
        row.label = MakeChild(page, L"STATIC", label, SS_LEFT | SS_NOPREFIX, 0, 0xFFFF, pageFont);
    }
    if (row.upDown && setting) {
        const auto low = static_cast<int>(id == IDC_OPT_VOICES_LIMIT ? 16 : 0);
        const int high = id == IDC_OPT_VOICES_LIMIT    ? 100000
                         : id == IDC_OPT_OUTPUT_BUFFER ? 1000
                         : id == IDC_OPT_CPU_LIMIT     ? 100
                                                       : 127;
        SendMessageW(row.upDown, UDM_SETRANGE32, static_cast<WPARAM>(low), high);
    }
    group.rows.push_back(row);
    return group.rows.back();
}

void CConfiguratorTabOptions::BuildGroups() {
    auto& s = settings;
    const struct {
        int id;
        const wchar_t* title;
    } titles[] = {{IDC_OPT_GRP_DEVICE, L"cfg.adv.grpDevice"},
                  {IDC_OPT_GRP_SYNTHESIS, L"cfg.opt.grpSynthesis"},
                  {IDC_OPT_GRP_EFFECTS, L"cfg.opt.effects"},
                  {IDC_OPT_GRP_APPEARANCE, L"cfg.opt.grpAppearance"}};
    groups.resize(4);
    for (std::size_t i = 0; i < groups.size(); ++i) {
        groups[i].box = MakeChild(GetHwnd(), L"BUTTON", config::Translate(titles[i].title),
                                  BS_GROUPBOX, 0, titles[i].id, boldFont.Get());
        groups[i].rows.reserve(8);
    }
    SGroup& device = groups[0];
    AddRow(device, IDC_OPT_DEVICES_COUNT, EKind::List, L"cfg.opt.devicesCount", 35, false);
    AddRow(device, IDC_OPT_OUTPUT_DEVICE, EKind::Selector, L"cfg.opt.audioOutDevice", 200, true);
    AddRow(device, IDC_OPT_OUTPUT_BUFFER, EKind::Number, L"cfg.adv.outputBuffer", 60, false,
           &s.additionalBuffer, 1000);
    AddRow(device, IDC_OPT_HW_MIXER, EKind::Check, L"cfg.opt.hwMixer", 0, false,
           &s.enableHardwareMixer);
    AddRow(device, IDC_OPT_OUTPUT_RATE, EKind::List, L"cfg.adv.outputRate", 60, false);
    AddRow(device, IDC_OPT_BLACKLIST, EKind::Button, L"cfg.adv.blacklist", 45, false);

    SGroup& synthesis = groups[1];
    AddRow(synthesis, IDC_OPT_DISABLE_EFFECTS, EKind::Check, L"cfg.adv.disableEffects", 0, false,
           &s.disableMidiEffects);
    AddRow(synthesis, IDC_OPT_DISABLE_STEREO, EKind::Check, L"cfg.adv.disableStereo", 0, false,
           &s.disableStereo);
    AddRow(synthesis, IDC_OPT_VOICES_LIMIT, EKind::Number, L"cfg.adv.voicesLimit", 70, false,
           &s.voicesLimit, 100000);
    AddRow(synthesis, IDC_OPT_RELEASE_ONLY_LAST, EKind::Check, L"cfg.adv.releaseOnlyLast", 0, false,
           &s.releaseOnlyLast);
    AddRow(synthesis, IDC_OPT_SINC_MIX, EKind::Check, L"cfg.adv.sincInterpolatedMix", 0, false,
           &s.sincInterpolatedMix);
    AddRow(synthesis, IDC_OPT_CPU_LIMIT, EKind::Number, L"cfg.adv.cpuLimit", 45, false,
           &s.cpuLimit);
    AddRow(synthesis, IDC_OPT_FORCE_8BIT, EKind::Check, L"cfg.adv.force8bit", 0, false,
           &s.force8BitSamples);

    SGroup& effects = groups[2];
    AddRow(effects, IDC_OPT_REVERB, EKind::Number, L"cfg.opt.reverb", 45, false, &s.reverbLevel);
    AddRow(effects, IDC_OPT_CHORUS, EKind::Number, L"cfg.opt.chorus", 45, false, &s.chorusLevel);
    AddRow(effects, IDC_OPT_OVERRIDE_SYSEX, EKind::Check, L"cfg.opt.overrideSysex", 0, false,
           &s.reverbChorusOverride);

    SGroup& appearance = groups[3];
    AddRow(appearance, IDC_OPT_LANGUAGE, EKind::List, L"cfg.opt.language", 200, true);
    AddRow(appearance, IDC_OPT_AUTOSTART, EKind::Check, L"cfg.adv.autostartAtLogon", 0, false);
    AddRow(appearance, IDC_OPT_DISABLE_VU, EKind::Check, L"cfg.adv.disableVUMeter", 0, false,
           &s.disableVUMeter);
    AddRow(appearance, IDC_OPT_SNAP_WINDOWS, EKind::Check, L"cfg.adv.snapWindows", 0, false,
           &s.snapWindows);
}

void CConfiguratorTabOptions::FillLists() {
    HWND ports = GetDlgItem(GetHwnd(), IDC_OPT_DEVICES_COUNT);
    for (int count = 1; count <= 4; ++count) {
        SendMessageW(ports, CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(std::to_wstring(count).c_str()));
    }
    const SChoiceList rates = SampleRateChoices(settings.outputSampleRate.Get());
    rateValues = rates.values;
    HWND rateList = GetDlgItem(GetHwnd(), IDC_OPT_OUTPUT_RATE);
    for (const auto& text : rates.texts) {
        SendMessageW(rateList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    const SChoiceList languages =
        LanguageChoices(config::language ? config::language->ListLanguages()
                                         : std::map<std::uint32_t, std::wstring>{},
                        settings.langID.Get());
    languageValues = languages.values;
    HWND languageList = GetDlgItem(GetHwnd(), IDC_OPT_LANGUAGE);
    for (const auto& text : languages.texts) {
        SendMessageW(languageList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
}

void CConfiguratorTabOptions::LoadControls() {
    for (auto& group : groups) {
        for (auto& row : group.rows) {
            if (!row.setting) {
                continue;
            }
            if (row.kind == EKind::Check) {
                CheckDlgButton(GetHwnd(), row.id, row.setting->Get() ? BST_CHECKED : BST_UNCHECKED);
            } else if (row.upDown) {
                SendMessageW(row.upDown, UDM_SETPOS32, 0, static_cast<LPARAM>(row.setting->Get()));
            }
        }
    }
    CheckDlgButton(GetHwnd(), IDC_OPT_AUTOSTART, AutostartIsOn() ? BST_CHECKED : BST_UNCHECKED);
    SendDlgItemMessageW(GetHwnd(), IDC_OPT_DEVICES_COUNT, CB_SETCURSEL,
                        settings.devicesCount.Get() - 1, 0);
    const auto select = [this](int id, const std::vector<std::uint32_t>& values,
                               std::uint32_t value) {
        const auto at = std::find(values.begin(), values.end(), value);
        const WPARAM index =
            at == values.end() ? static_cast<WPARAM>(-1) : static_cast<WPARAM>(at - values.begin());
        SendDlgItemMessageW(GetHwnd(), id, CB_SETCURSEL, index, 0);
    };
    select(IDC_OPT_OUTPUT_RATE, rateValues, settings.outputSampleRate.Get());
    select(IDC_OPT_LANGUAGE, languageValues, settings.langID.Get());
}

void CConfiguratorTabOptions::ResetToDefaults() {
    loading = true;
    for (auto& group : groups) {
        for (auto& row : group.rows) {
            if (!row.setting) {
                continue;
            }
            if (row.kind == EKind::Check) {
                CheckDlgButton(GetHwnd(), row.id,
                               row.setting->Default() ? BST_CHECKED : BST_UNCHECKED);
            } else if (row.upDown) {
                SendMessageW(row.upDown, UDM_SETPOS32, 0,
                             static_cast<LPARAM>(row.setting->Default()));
            }
        }
    }
    SendDlgItemMessageW(GetHwnd(), IDC_OPT_DEVICES_COUNT, CB_SETCURSEL, 0, 0);
    const auto rate =
        std::find(rateValues.begin(), rateValues.end(), settings.outputSampleRate.Default());
    SendDlgItemMessageW(GetHwnd(), IDC_OPT_OUTPUT_RATE, CB_SETCURSEL,
                        static_cast<WPARAM>(rate - rateValues.begin()), 0);
    loading = false;
    SetModified(true);
}

CConfiguratorTabOptions::SRow* CConfiguratorTabOptions::FindRow(int id) {
    for (auto& group : groups) {
        for (auto& row : group.rows) {
            if (row.id == id) {
                return &row;
            }
        }
    }
    return nullptr;
}

std::uint32_t CConfiguratorTabOptions::NumberOf(const SRow& row) const {
    int low = 0;
    int high = 0;
    SendMessageW(row.upDown, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low),
                 reinterpret_cast<LPARAM>(&high));
    // The edit's own text, since a typed value the up-down has not taken yet is what the user
    // sees; out of range it is clamped, unreadable it falls back to the up-down's position.
    wchar_t text[32] = {};
    GetWindowTextW(row.control, text, 32);
    wchar_t* end = nullptr;
    const unsigned long long typed = std::wcstoull(text, &end, 10);
    long long value = 0;
    if (end != text) {
        value = static_cast<long long>(std::min<unsigned long long>(typed, 0xFFFFFFFFull));
    } else {
        BOOL failed = FALSE;
        value = static_cast<int>(
            SendMessageW(row.upDown, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&failed)));
    }
    return static_cast<std::uint32_t>(std::clamp<long long>(value, low, high));
}

std::uint32_t
CConfiguratorTabOptions::SelectedValue(int id, const std::vector<std::uint32_t>& values) const {
    const LRESULT index = SendDlgItemMessageW(GetHwnd(), id, CB_GETCURSEL, 0, 0);
    if (index < 0 || static_cast<std::size_t>(index) >= values.size()) {
        return 0;
    }
    return values[static_cast<std::size_t>(index)];
}

bool CConfiguratorTabOptions::Apply(int) {
    if (!IsModified()) {
        return true;
    }
    auto& s = settings;
    const struct {
        int id;
        config::CIntSetting& setting;
    } order[] = {{IDC_OPT_HW_MIXER, s.enableHardwareMixer},
                 {IDC_OPT_REVERB, s.reverbLevel},
                 {IDC_OPT_CHORUS, s.chorusLevel},
                 {IDC_OPT_OVERRIDE_SYSEX, s.reverbChorusOverride},
                 {IDC_OPT_DISABLE_EFFECTS, s.disableMidiEffects},
                 {IDC_OPT_DISABLE_STEREO, s.disableStereo},
                 {IDC_OPT_FORCE_8BIT, s.force8BitSamples},
                 {IDC_OPT_DISABLE_VU, s.disableVUMeter},
                 {IDC_OPT_SNAP_WINDOWS, s.snapWindows},
                 {IDC_OPT_VOICES_LIMIT, s.voicesLimit},
                 {IDC_OPT_RELEASE_ONLY_LAST, s.releaseOnlyLast},
                 {IDC_OPT_SINC_MIX, s.sincInterpolatedMix},
                 {IDC_OPT_CPU_LIMIT, s.cpuLimit},
                 {IDC_OPT_OUTPUT_BUFFER, s.additionalBuffer}};
    for (const auto& entry : order) {
        const SRow* row = FindRow(entry.id);
        if (row->kind == EKind::Check) {
            entry.setting.Set(IsDlgButtonChecked(GetHwnd(), entry.id) == BST_CHECKED ? 1 : 0);
        } else {
            entry.setting.Set(NumberOf(*row));
        }
    }
    SetAutostart(IsDlgButtonChecked(GetHwnd(), IDC_OPT_AUTOSTART) == BST_CHECKED);
    // An unselected list keeps what is stored rather than writing a value nobody chose.
    if (const std::uint32_t rate = SelectedValue(IDC_OPT_OUTPUT_RATE, rateValues)) {
        s.outputSampleRate.Set(rate);
    }
    s.WriteOutputDevices();
    const LRESULT ports = SendDlgItemMessageW(GetHwnd(), IDC_OPT_DEVICES_COUNT, CB_GETCURSEL, 0, 0);
    if (ports >= 0 && static_cast<std::uint32_t>(ports + 1) != s.devicesCount.Get()) {
        s.devicesCount.Set(static_cast<std::uint32_t>(ports + 1));
        host.CreateMissingPorts();
    }
    if (const std::uint32_t languageId = SelectedValue(IDC_OPT_LANGUAGE, languageValues)) {
        s.langID.Set(languageId);
    }
    SetModified(false);
    return true;
}

BOOL CConfiguratorTabOptions::OnCommand(WPARAM wParam, LPARAM lParam) {
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    if (id == IDC_OPT_RESET && code == BN_CLICKED) {
        ResetToDefaults();
        return TRUE;
    }
    if (id == IDC_OPT_BLACKLIST && code == BN_CLICKED) {
        if (CBlacklistEditor::Edit(settings.clientBlacklist, GetHwnd(), host)) {
            SetModified(true);
        }
        return TRUE;
    }
    if (id == IDC_OPT_OUTPUT_DEVICE && code == BN_CLICKED && selector) {
        const auto before = settings.outputDevices;
        selector->Click();
        if (settings.outputDevices != before) {
            SetModified(true);
        }
        return TRUE;
    }
    // Focus changes alone are no edit: merely visiting a field would enable Apply.
    if (!loading && lParam &&
        ((code == BN_CLICKED) || (code == CBN_SELCHANGE && id != 0) ||
         (code == EN_CHANGE && id != 0))) {
        SetModified(true);
        return TRUE;
    }
    return FALSE;
}

int CConfiguratorTabOptions::TextHeight(HWND control, int width) const {
    wchar_t text[512] = {};
    GetWindowTextW(control, text, 512);
    HDC dc = GetDC(GetHwnd());
    HGDIOBJ old = SelectObject(dc, pageFont ? pageFont : GetStockObject(DEFAULT_GUI_FONT));
    RECT r{0, 0, std::max(width, 1), 0};
    DrawTextW(dc, text, -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(GetHwnd(), dc);
    return r.bottom;
}

void CConfiguratorTabOptions::Layout() {
    if (groups.empty()) {
        return;
    }
    RECT client{};
    GetClientRect(GetHwnd(), &client);
    const bool scrolls = (GetWindowLongW(GetHwnd(), GWL_STYLE) & WS_VSCROLL) != 0;
    const int scroll = scrolls ? GetScrollPos(GetHwnd(), SB_VERT) : 0;
    const int groupLeft = kMargin;
    const int groupRight = client.right - kMargin; // the client area already leaves out the bar
    const int checkWidth = GetSystemMetrics(SM_CXMENUCHECK);

    int windows = 1;
    for (const auto& group : groups) {
        windows += 1 + static_cast<int>(group.rows.size()) * 3;
    }
    HDWP batch = BeginDeferWindowPos(windows);
    const auto move = [&batch](HWND w, int x, int y, int cx, int cy) {
        if (w && batch) {
            batch = DeferWindowPos(batch, w, nullptr, x, y, std::max(cx, 1), std::max(cy, 1),
                                   SWP_NOZORDER | SWP_NOACTIVATE);
        }
    };
    HWND reset = GetDlgItem(GetHwnd(), IDC_OPT_RESET);
    RECT resetRect{};
    GetWindowRect(reset, &resetRect);
    move(reset, kMargin, kMargin - scroll, resetRect.right - resetRect.left,
         resetRect.bottom - resetRect.top);

    int y = 30 - scroll;
    for (const auto& group : groups) {
        const int top = y;
        int rowY = top + 20;
        for (const auto& row : group.rows) {
            int height = kRowMinHeight;
            if (row.kind == EKind::Selector && selector) {
                height = std::max(height, static_cast<int>(selector->PortCount()) *
                                                  COutputDeviceSelector::kRowHeight +
                                              6);
            }
            const int rowRight = groupRight - kMargin;
            if (!row.label) {
                const int textWidth = groupRight - 30 - checkWidth - 20;
                height = std::max(height, TextHeight(row.control, textWidth) + 6);
                move(row.control, 20, rowY, rowRight - 20, height);
            } else {
                int labelRight = 0;
                int controlLeft = 0;
                if (row.wideLabel) {
                    labelRight = 20 + row.width;
                    controlLeft = labelRight + kMargin;
                } else {
                    controlLeft = rowRight - row.width;
                    labelRight = controlLeft - 20;
                }
                const int labelHeight = TextHeight(row.label, labelRight - 20);
                height = std::max(height, labelHeight);
                const int controlHeight = row.kind == EKind::List       ? kListDropHeight
                                          : row.kind == EKind::Selector ? height
                                                                        : kRowMinHeight;
                move(row.control, controlLeft, rowY, rowRight - controlLeft, controlHeight);
                // Single lines sit level with the text of the control beside them.
                const int labelTop = labelHeight < kRowMinHeight ? rowY + 4 : rowY;
                move(row.label, 20, labelTop, labelRight - 20, height - (labelTop - rowY));
            }
            rowY += height + kRowGap;
        }
        const int bottom = rowY - kRowGap + 8;
        move(group.box, groupLeft, top, groupRight - groupLeft, bottom - top);
        y = bottom + kMargin;
    }
    if (batch) {
        EndDeferWindowPos(batch);
    }
    for (const auto& group : groups) {
        for (const auto& row : group.rows) {
            if (row.upDown) {
                SendMessageW(row.upDown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(row.control), 0);
            }
        }
    }
    contentHeight = y + scroll;
    if (scrolls) {
        SCROLLINFO info{sizeof info,
                        SIF_RANGE | SIF_PAGE,
                        0,
                        contentHeight - 1,
                        static_cast<UINT>(client.bottom),
                        0,
                        0};
        SetScrollInfo(GetHwnd(), SB_VERT, &info, TRUE);
    }
}

void CConfiguratorTabOptions::Scroll(int request) {
    SCROLLINFO info{sizeof info, SIF_ALL, 0, 0, 0, 0, 0};
    GetScrollInfo(GetHwnd(), SB_VERT, &info);
    int position = info.nPos;
    const int line = 20;
    switch (request) {
    case SB_LINEUP:
        position -= line;
        break;
    case SB_LINEDOWN:
        position += line;
        break;
    case SB_PAGEUP:
        position -= static_cast<int>(info.nPage);
        break;
    case SB_PAGEDOWN:
        position += static_cast<int>(info.nPage);
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
        position = info.nTrackPos;
        break;
    case SB_TOP:
        position = 0;
        break;
    case SB_BOTTOM:
        position = info.nMax;
        break;
    default:
        return;
    }
    position = std::clamp(position, 0, std::max(0, info.nMax + 1 - static_cast<int>(info.nPage)));
    if (position != info.nPos) {
        SetScrollPos(GetHwnd(), SB_VERT, position, TRUE);
        Layout();
    }
}

INT_PTR CConfiguratorTabOptions::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_SIZE:
        Layout();
        break;
    case WM_VSCROLL:
        Scroll(LOWORD(wParam));
        break;
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (selector && item->hwndItem == selector->GetHwnd()) {
            selector->Draw(*item);
            return TRUE;
        }
        break;
    }
    default:
        break;
    }
    return CConfiguratorTabBase::DialogProc(msg, wParam, lParam);
}

} // namespace hml::configurator
