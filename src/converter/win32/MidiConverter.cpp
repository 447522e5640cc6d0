#include "converter/win32/MidiConverter.h"

#include "Resource.h"
#include "base/Utf8.h"
#include "config/Language.h"
#include "config/Settings.h"
#include "converter/EncoderProfiles.h"
#include "converter/RenderCore.h"
#include "mixer/win32/MixerDialog.h"
#include "ui/FileDialogs.h"
#include "ui/IconButtons.h"
#include "ui/MessageBox.h"

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <array>
#include <cwchar>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <thread>

namespace hml::converter {

using namespace hml::config;
using namespace hml::mixer;
using namespace hml::ui;

CMidiConverter* midiConverter = nullptr;

namespace {

constexpr UINT kSetRunningMessage = WM_APP + 1; // wParam: 1 running, 0 idle
// How often the log looks for lines of files rendering on other threads.
constexpr DWORD kLogPollMs = 50;
constexpr UINT kWorkerDoneMessage = WM_APP + 2;
constexpr DWORD kStopWaitMs = CMidiConverter::kStopPollMs * CMidiConverter::kStopPolls;
constexpr const wchar_t* kSeparatorLine = L"--------------";
constexpr unsigned kErrorBox = MB_ICONERROR | MB_TOPMOST;
constexpr int kColumnWidths[] = {200, 70, 200};
constexpr const wchar_t* kColumnKeys[] = {L"mc.column.srcFilename", L"mc.column.key",
                                          L"mc.column.outFilename"};

using ui::SIconButton;
constexpr std::array<SIconButton, 7> kIconButtons{{
    {IDC_MC_ADD, IDI_MC_ADD, L"mc.tt.addFiles"},
    {IDC_MC_REMOVE, IDI_MC_REMOVE, L"mc.tt.removeFiles"},
    {IDC_MC_IMPORT, IDI_MC_IMPORT, L"mc.tt.importFileList"},
    {IDC_MC_EXPORT, IDI_MC_EXPORT, L"mc.tt.exportFileList"},
    {IDC_MC_KEY_DOWN, IDI_MC_KEY_DOWN, L"mc.tt.keyDecrease"},
    {IDC_MC_KEY_RESET, IDI_MC_KEY_RESET, L"mc.tt.keyReset"},
    {IDC_MC_KEY_UP, IDI_MC_KEY_UP, L"mc.tt.keyIncrease"},
}};

// Guards the output paths, which the folder box may change while the worker reads them.
std::mutex pathLock;

std::wstring Widen(const char* text) {
    return base::WideFromUtf8(text);
}

std::wstring DeleteErrorText(const std::wstring& path, DWORD code) {
    return L"Error deleting file \"" + path + L"\"\n\nError: " + std::to_wstring(code) + L": " +
           ui::SystemMessage(code);
}

BOOL CALLBACK EnableChild(HWND child, LPARAM enable) {
    EnableWindow(child, static_cast<BOOL>(enable));
    return TRUE;
}

class CProgressObserver final : public IRenderObserver {
public:
    explicit CProgressObserver(const CMidiConverter::SFileOutput& out_) : out(out_) {}
    void OnProgress(uint32_t permille) override { out.progress(permille); }
    void OnLog(const std::string& line) override { out.log(base::WideFromUtf8(line)); }

private:
    const CMidiConverter::SFileOutput& out;
};

} // namespace

int IConverterHost::Ask(HWND owner, const std::wstring& text, unsigned flags) {
    return ui::ShowMessageBox(text, ui::kAppCaption, flags, owner);
}

void IConverterHost::Open(const std::wstring& target) {
    ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOW);
}

// ---- list view -------------------------------------------------------------------------------

void CMidiFilesListView::OnAttach() {
    SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
}

LRESULT CMidiFilesListView::ControlProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PAINT: {
        const LRESULT result = Default(msg, wParam, lParam);
        if (RowCount() == 0) {
            DrawHelpText();
        }
        return result;
    }
    case WM_SIZE:
        InvalidateRect(GetHwnd(), nullptr, TRUE);
        break;
    case WM_DROPFILES:
        // The window decides what a drop adds.
        return SendMessageW(GetParent(GetHwnd()), msg, wParam, lParam);
    default:
        break;
    }
    return Default(msg, wParam, lParam);
}

void CMidiFilesListView::DrawHelpText() {
    if (helpText.empty()) {
        return;
    }
    RECT area{};
    GetClientRect(GetHwnd(), &area);
    if (HWND header = reinterpret_cast<HWND>(Send(LVM_GETHEADER))) {
        RECT h{};
        GetWindowRect(header, &h);
        area.top += h.bottom - h.top;
    }
    InflateRect(&area, -8, -8);
    HDC dc = GetDC(GetHwnd());
    HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(Send(WM_GETFONT)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_INACTIVECAPTION));
    RECT measured = area;
    const UINT format = DT_CENTER | DT_WORDBREAK | DT_NOPREFIX;
    DrawTextW(dc, helpText.c_str(), -1, &measured, format | DT_CALCRECT);
    const int height = measured.bottom - measured.top;
    area.top += (area.bottom - area.top - height) / 2;
    DrawTextW(dc, helpText.c_str(), -1, &area, format);
    SelectObject(dc, oldFont);
    ReleaseDC(GetHwnd(), dc);
}

// ---- log -------------------------------------------------------------------------------------

CLogEdit::~CLogEdit() {
    Detach();
    if (font) {
        DeleteObject(font);
    }
}

void CLogEdit::OnAttach() {
    font = CreateFontW(15, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       FIXED_PITCH | FF_MODERN, L"Courier New");
    if (font) {
        Send(WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    HideCaret(GetHwnd());
}

LRESULT CLogEdit::ControlProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_SETFOCUS:
    case WM_ACTIVATE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP: {
        const LRESULT result = Default(msg, wParam, lParam);
        HideCaret(GetHwnd());
        return result;
    }
    case WM_GETDLGCODE:
        // A log, not a text field: Tab and Enter keep working for the dialog.
        return Default(msg, wParam, lParam) & ~(DLGC_HASSETSEL | DLGC_WANTALLKEYS | DLGC_WANTCHARS);
    default:
        return Default(msg, wParam, lParam);
    }
}

void CLogEdit::AppendLine(const std::wstring& line) const {
    const LRESULT end = Send(WM_GETTEXTLENGTH);
    Send(EM_SETSEL, static_cast<WPARAM>(end), end);
    Send(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
    Send(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"\r\n"));
}

void CLogEdit::SetText(const std::wstring& text) const {
    DWORD start = 0, end = 0;
    Send(EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const LRESULT first = Send(EM_GETFIRSTVISIBLELINE);
    Send(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    Send(EM_SETSEL, start, static_cast<LPARAM>(end));
    Send(EM_LINESCROLL, 0, first);
}

std::wstring CLogEdit::Text() const {
    std::wstring text(static_cast<size_t>(Send(WM_GETTEXTLENGTH)) + 1, L'\0');
    const LRESULT n = Send(WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(n));
    return text;
}

// ---- window ----------------------------------------------------------------------------------

CMidiConverter::CMidiConverter(IConverterHost& host_)
    : ModelessDialog(IDD_MIDI_CONVERTER), host(host_) {
    portSuffix = kMixerSuffix;
    SetChannelVolume(100, kAllChannels);
    if (settings) {
        ReadMixerState(*settings);
    }
    if (language) {
        language->LoadSection(L"midiconverter");
    }
}

CMidiConverter::~CMidiConverter() {
    if (worker) {
        CloseHandle(worker);
    }
}

void CMidiConverter::BringToFront() {
    if (IsIconic(GetHwnd())) {
        ShowWindow(GetHwnd(), SW_RESTORE);
    }
    SetForegroundWindow(GetHwnd());
    SetWindowPos(GetHwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW);
}

BOOL CMidiConverter::OnInitDialog() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    for (auto [which, size] :
         {std::pair{ICON_SMALL, SM_CXSMICON}, std::pair{ICON_BIG, SM_CXICON}}) {
        const int pixels = GetSystemMetrics(size);
        SendMessageW(
            GetHwnd(), WM_SETICON, which,
            reinterpret_cast<LPARAM>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_MENU_CONVERTER),
                                                IMAGE_ICON, pixels, pixels, LR_SHARED)));
    }
    SetWindowTextW(GetHwnd(), Translate(L"mc.title").c_str());
    listView.Attach(GetHwnd(), IDC_MC_LIST);
    log.Attach(GetHwnd(), IDC_MC_LOG);

    using R = ui::CResizer;
    resizer.Initialize(GetHwnd());
    resizer.Add(IDC_MC_INTRO, R::kTopLeft, true);
    resizer.Add(IDC_MC_LIST_LABEL, R::kTopLeft);
    resizer.Add(IDC_MC_LIST, R::kTopLeft, true, true);
    for (const SIconButton& b : kIconButtons) {
        resizer.Add(b.id, R::kBottomLeft);
    }
    for (int id : {IDC_MC_FOLDER_LABEL, IDC_MC_FOLDER, IDC_MC_FORMAT_LABEL, IDC_MC_FORMAT,
                   IDC_MC_OPTIONS_LABEL, IDC_MC_OPTIONS, IDC_MC_SKIP_SILENCE, IDC_MC_PROGRESS_LABEL,
                   IDC_MC_PROGRESS, IDC_MC_LOG_LABEL, IDC_MC_LOG}) {
        resizer.Add(id, R::kBottomLeft, true);
    }
    resizer.Add(IDC_MC_BROWSE, R::kBottomRight);
    resizer.Add(IDC_MC_MIXER, R::kBottomLeft);
    resizer.Add(IDC_MC_START, R::kBottomRight);
    resizer.Add(IDC_MC_CLOSE, R::kBottomRight);

    toolTip.Create(GetHwnd());
    ui::SetUpIconButtons(GetHwnd(), instance, kIconButtons, toolTip,
                         [](const std::wstring& key) { return Translate(key); });

    RECT outer{};
    GetWindowRect(GetHwnd(), &outer);
    minimumSize = {outer.right - outer.left, outer.bottom - outer.top};

    listView.SetHelpText(Translate(L"mc.filesHelp"));
    SetDlgItemTextW(GetHwnd(), IDC_MC_INTRO,
                    Translate(L"mc.intro", config::CSettings::PortDisplayName(0)).c_str());
    mixerCaption = Translate(L"scm.mixer");
    ApplyChannel(kAllChannels);
    if (language) {
        language->TranslateWindow(GetHwnd());
    }
    for (const SEncoderProfile& profile : EncoderProfiles()) {
        SendDlgItemMessageW(GetHwnd(), IDC_MC_FORMAT, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(Widen(profile.name).c_str()));
    }
    SendDlgItemMessageW(GetHwnd(), IDC_MC_PROGRESS, PBM_SETRANGE32, 0, 1000);
    SettingsIntoControls();
    Refill();
    if (!settings ||
        !settings->RestoreWindowPosition(kPlacementKey, GetHwnd(), SWP_NOZORDER | SWP_NOACTIVATE)) {
        RECT work{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        SetWindowPos(GetHwnd(), nullptr, work.left + (work.right - work.left - minimumSize.cx) / 2,
                     work.top + (work.bottom - work.top - minimumSize.cy) / 2, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    SetRunning(false);
    return TRUE;
}

void CMidiConverter::ApplyChannel(std::uint32_t) {
    bool neutral = masterVolume.load() == 100;
    for (std::uint32_t c = 0; c < kChannels; ++c) {
        neutral = neutral && channelVolume[c].load() == 100 && channelMute[c].load() == 0 &&
                  channelSolo[c].load() == 0;
    }
    if (GetHwnd()) {
        const std::wstring caption = neutral ? mixerCaption : mixerCaption + L" (*)";
        SetDlgItemTextW(GetHwnd(), IDC_MC_MIXER, caption.c_str());
    }
}

std::wstring CMidiConverter::ItemText(int id) const {
    HWND item = GetDlgItem(GetHwnd(), id);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(item, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::size_t CMidiConverter::SelectedProfile() const {
    const LRESULT row = SendDlgItemMessageW(GetHwnd(), IDC_MC_FORMAT, CB_GETCURSEL, 0, 0);
    return row < 0 || static_cast<std::size_t>(row) >= kProfileCount
               ? 0
               : static_cast<std::size_t>(row);
}

void CMidiConverter::UpdateOutputPaths() {
    {
        std::lock_guard guard(pathLock);
        list.SetOutput(ItemText(IDC_MC_FOLDER),
                       Widen(EncoderProfiles()[SelectedProfile()].extension));
    }
    InvalidateRect(listView.GetHwnd(), nullptr, TRUE);
}

void CMidiConverter::Refill() {
    HWND view = listView.GetHwnd();
    SendMessageW(view, WM_SETREDRAW, FALSE, 0);
    listView.DeleteAllRows();
    if (listView.ColumnCount() == 0) {
        for (int c = 0; c < 3; ++c) {
            listView.InsertColumn(c, Translate(kColumnKeys[c]), kColumnWidths[c]);
        }
    }
    listView.SetRowCount(static_cast<int>(list.Size()));
    // Paths first, so that the columns fit them.
    UpdateOutputPaths();
    for (std::size_t i = 0; i < list.Size(); ++i) {
        listView.InsertCallbackRow(static_cast<int>(i), reinterpret_cast<LPARAM>(&list[i]));
    }
    if (!list.Empty()) {
        listView.AutoSizeColumns(); // an empty list keeps widths its headers can be read in
    }
    SendMessageW(view, WM_SETREDRAW, TRUE, 0);
    UpdateOutputPaths();
}

void CMidiConverter::AddFiles(const std::vector<std::wstring>& paths) {
    if (IsRunning()) {
        return;
    }
    for (const std::wstring& path : paths) {
        list.Add(path);
    }
    Refill();
}

void CMidiConverter::RemoveSelected() {
    const std::vector<int> rows = listView.SelectedRows();
    if (rows.empty() || IsRunning()) {
        return;
    }
    list.Remove(std::vector<std::size_t>(rows.begin(), rows.end()));
    Refill();
    if (!list.Empty()) {
        listView.SelectRow(std::min(rows.front(), static_cast<int>(list.Size()) - 1));
    }
}

void CMidiConverter::ShiftSelectedKeys(int step) {
    for (int row : listView.SelectedRows()) {
        MidiFileEntry& entry = list[static_cast<std::size_t>(row)];
        entry.SetKeyShift(step == 0 ? 0 : entry.keyShift + step);
    }
    InvalidateRect(listView.GetHwnd(), nullptr, TRUE);
}

bool CMidiConverter::ImportList(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    const std::string bytes = in ? std::string(std::istreambuf_iterator<char>(in), {}) : "";
    list.Import(bytes);
    Refill();
    return static_cast<bool>(in);
}

bool CMidiConverter::ExportList(const std::wstring& path) const {
    // Written whole under a temporary name, so a failed write leaves any old list intact.
    const std::filesystem::path target(path);
    std::filesystem::path temporary = target;
    temporary += L".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        const std::string bytes = list.Export();
        if (!out || !out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush()) {
            out.close();
            DeleteFileW(temporary.c_str());
            return false;
        }
    }
    if (!MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

void CMidiConverter::SettingsIntoControls() {
    if (!settings) {
        return;
    }
    SetDlgItemTextW(GetHwnd(), IDC_MC_FOLDER, settings->outputFolder.Get().c_str());
    const std::uint32_t format = settings->outputFormat.Get();
    SendDlgItemMessageW(GetHwnd(), IDC_MC_FORMAT, CB_SETCURSEL, format < kProfileCount ? format : 0,
                        0);
    CheckDlgButton(GetHwnd(), IDC_MC_SKIP_SILENCE,
                   settings->skipInitialSilence.Get() == 1 ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemTextW(GetHwnd(), IDC_MC_OPTIONS, settings->encoderOptions.Get().c_str());
}

void CMidiConverter::SettingsFromControls() {
    if (!settings) {
        return;
    }
    settings->outputFolder.Set(ItemText(IDC_MC_FOLDER));
    settings->outputFormat.Set(static_cast<std::uint32_t>(SelectedProfile()));
    settings->encoderOptions.Set(ItemText(IDC_MC_OPTIONS));
    settings->skipInitialSilence.Set(IsDlgButtonChecked(GetHwnd(), IDC_MC_SKIP_SILENCE) ==
                                     BST_CHECKED);
}

void CMidiConverter::SetRunning(bool busy) {
    const BOOL idle = busy ? FALSE : TRUE;
    for (int id : {IDC_MC_LIST, IDC_MC_FORMAT, IDC_MC_OPTIONS, IDC_MC_MIXER, IDC_MC_CLOSE}) {
        EnableWindow(GetDlgItem(GetHwnd(), id), idle);
    }
    for (const SIconButton& b : kIconButtons) {
        EnableWindow(GetDlgItem(GetHwnd(), b.id), idle);
    }
    DragAcceptFiles(listView.GetHwnd(), idle);
    EnableWindow(GetDlgItem(GetHwnd(), IDC_MC_START), TRUE);
    SetDlgItemTextW(GetHwnd(), IDC_MC_START,
                    Translate(busy ? L"common.cancel" : L"mc.startConversion").c_str());
    if (mixerWindow && mixerWindow->IsWindow()) {
        EnumChildWindows(mixerWindow->GetHwnd(), &EnableChild, idle);
    }
}

int CMidiConverter::Message(const std::wstring& text, unsigned flags) {
    return host.Ask(GetHwnd(), text, flags);
}

void CMidiConverter::LogLine(const std::wstring& line) {
    log.AppendLine(line);
}

void CMidiConverter::Start() {
    if (IsRunning()) {
        Message(Translate(L"mc.err.alreadyRunning"), kErrorBox);
        return;
    }
    if (list.Empty()) {
        Message(Translate(L"mc.err.noInputFile"), kErrorBox);
        return;
    }
    if (worker) {
        WaitForSingleObject(worker, INFINITE); // it has passed its last step
        CloseHandle(worker);
        worker = nullptr;
    }
    cancel = false;
    SettingsFromControls();
    running = true;
    worker = CreateThread(nullptr, 0, &CMidiConverter::WorkerThread, this, 0, nullptr);
    if (!worker) {
        running = false;
    }
}

void CMidiConverter::Cancel() {
    cancel = true;
    EnableWindow(GetDlgItem(GetHwnd(), IDC_MC_START), FALSE);
}

void CMidiConverter::StopOnClose() {
    if (!IsRunning()) {
        return;
    }
    cancel = true;
    // The worker talks to this window by sent messages: serve them while waiting.
    const ULONGLONG end = GetTickCount64() + kStopWaitMs;
    while (IsRunning() && GetTickCount64() < end) {
        if (MsgWaitForMultipleObjects(1, &worker, FALSE, kStopPollMs, QS_SENDMESSAGE) ==
            WAIT_OBJECT_0 + 1) {
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        if (WaitForSingleObject(worker, 0) == WAIT_OBJECT_0) {
            CloseHandle(worker);
            worker = nullptr;
        }
    }
    if (IsRunning()) {
        Message(Translate(L"mc.err.alreadyRunning"), kErrorBox);
    }
}

void CMidiConverter::Close() {
    StopOnClose();
    SettingsFromControls();
    if (settings) {
        settings->SaveWindowPosition(kPlacementKey, GetHwnd());
    }
    Destroy();
}

void CMidiConverter::OnOK() {
    // Enter presses the default button, which sends its own command; nothing closes here.
}

void CMidiConverter::OnDestroy() {
    if (mixerWindow && mixerWindow->IsWindow()) {
        mixerWindow->Destroy();
    }
    DragAcceptFiles(listView.GetHwnd(), FALSE);
    ModelessDialog::OnDestroy();
}

void CMidiConverter::OnFinalMessage() {
    if (midiConverter == this) {
        midiConverter = nullptr;
    }
    if (IsRunning()) {
        return; // a worker that would not stop still uses the object: it stays
    }
    ModelessDialog::OnFinalMessage();
}

BOOL CMidiConverter::OnCommand(WPARAM wParam, LPARAM) {
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    switch (id) {
    case IDC_MC_ADD: {
        const std::wstring filter = FillPlaceholders(
            L"{0} (*.mid;*.midi;*.rmi;*.kar)|*.mid;*.midi;*.rmi;*.kar|{1} (*.*)|*.*|",
            Translate(L"common.filter.midiFiles"), Translate(L"common.filter.allFiles"),
            std::nullopt);
        const auto files =
            ui::OpenFileDialog(GetHwnd(), Translate(L"mc.addFilesTitle"), filter, true);
        if (!files.empty()) {
            AddFiles(files);
        }
        return TRUE;
    }
    case IDC_MC_REMOVE:
        RemoveSelected();
        return TRUE;
    case IDC_MC_IMPORT: {
        const std::wstring filter = FillPlaceholders(
            L"{0} (*.hmlmcfl)|*.hmlmcfl|{1} (*.*)|*.*|", Translate(L"common.filter.mcFileList"),
            Translate(L"common.filter.allFiles"), std::nullopt);
        const auto files =
            ui::OpenFileDialog(GetHwnd(), Translate(L"mc.importTitle"), filter, false);
        if (!files.empty()) {
            ImportList(files.front());
        }
        return TRUE;
    }
    case IDC_MC_EXPORT: {
        const std::wstring filter =
            FillPlaceholders(L"{0} (*.hmlmcfl)|*.hmlmcfl|", Translate(L"common.filter.mcFileList"),
                             std::nullopt, std::nullopt);
        if (auto path =
                ui::SaveFileDialog(GetHwnd(), Translate(L"mc.exportTitle"), filter, L"hmlmcfl")) {
            ExportList(*path);
        }
        return TRUE;
    }
    case IDC_MC_KEY_DOWN:
        ShiftSelectedKeys(-1);
        return TRUE;
    case IDC_MC_KEY_RESET:
        ShiftSelectedKeys(0);
        return TRUE;
    case IDC_MC_KEY_UP:
        ShiftSelectedKeys(+1);
        return TRUE;
    case IDC_MC_BROWSE:
        if (auto folder = ui::BrowseForFolder(GetHwnd(), Translate(L"mc.selectFolderTitle"),
                                              ItemText(IDC_MC_FOLDER))) {
            SetDlgItemTextW(GetHwnd(), IDC_MC_FOLDER, folder->c_str());
            UpdateOutputPaths();
        }
        return TRUE;
    case IDC_MC_FOLDER:
        if (code == EN_CHANGE) {
            UpdateOutputPaths();
        }
        return TRUE;
    case IDC_MC_FORMAT:
        if (code == CBN_SELCHANGE) {
            UpdateOutputPaths();
        }
        return TRUE;
    case IDC_MC_MIXER:
        ToggleMixerWindow();
        return TRUE;
    case IDC_MC_START:
        if (IsRunning()) {
            Cancel();
        } else {
            Start();
        }
        return TRUE;
    case IDC_MC_CLOSE:
        PostMessageW(GetHwnd(), WM_CLOSE, 0, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CMidiConverter::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CLOSE:
        Close();
        return TRUE;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom != IDC_MC_LIST) {
            break;
        }
        if (header->code == LVN_GETDISPINFOW) {
            auto* info = reinterpret_cast<NMLVDISPINFOW*>(lParam);
            const auto* entry = reinterpret_cast<const MidiFileEntry*>(info->item.lParam);
            if ((info->item.mask & LVIF_TEXT) && entry && info->item.cchTextMax > 0) {
                std::lock_guard guard(pathLock);
                const std::wstring& text = info->item.iSubItem == 0   ? entry->inputPath
                                           : info->item.iSubItem == 1 ? entry->keyText
                                                                      : entry->outputPath;
                wcsncpy_s(info->item.pszText, static_cast<size_t>(info->item.cchTextMax),
                          text.c_str(), _TRUNCATE);
            }
            return TRUE;
        }
        if (header->code == LVN_KEYDOWN) {
            const auto* key = reinterpret_cast<const NMLVKEYDOWN*>(lParam);
            if (key->wVKey == 'A' && (GetKeyState(VK_CONTROL) & 0x8000)) {
                listView.SelectAll();
            }
            return TRUE;
        }
        break;
    }
    case WM_DROPFILES: {
        auto drop = reinterpret_cast<HDROP>(wParam);
        std::vector<std::wstring> paths;
        const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            wchar_t path[MAX_PATH] = {};
            if (DragQueryFileW(drop, i, path, MAX_PATH)) {
                paths.emplace_back(path);
            }
        }
        DragFinish(drop);
        AddFiles(paths);
        return TRUE;
    }
    case WM_GETMINMAXINFO:
        if (minimumSize.cx > 0) {
            reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {minimumSize.cx,
                                                                     minimumSize.cy};
        }
        return TRUE;
    case WM_SIZE:
        resizer.Resize();
        return TRUE;
    case WM_ENTERSIZEMOVE:
        if (!settings || settings->snapWindows.Get() == 1) {
            snapper.BeginMove(GetHwnd());
        }
        return FALSE;
    case WM_MOVING:
        if ((!settings || settings->snapWindows.Get() == 1) &&
            snapper.Moving(*reinterpret_cast<RECT*>(lParam))) {
            SetWindowLongPtrW(GetHwnd(), DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        return FALSE;
    case kSetRunningMessage:
        SetRunning(wParam != 0);
        return TRUE;
    case kWorkerDoneMessage:
        if (worker && !IsRunning()) {
            WaitForSingleObject(worker, INFINITE);
            CloseHandle(worker);
            worker = nullptr;
        }
        return TRUE;
    default:
        break;
    }
    return ModelessDialog::DialogProc(msg, wParam, lParam);
}

// ---- the batch (worker thread) ---------------------------------------------------------------

DWORD WINAPI CMidiConverter::WorkerThread(void* self) {
    static_cast<CMidiConverter*>(self)->ConvertBatch();
    return 0;
}

void CMidiConverter::ConvertBatch() {
    const auto finish = [this] {
        SendMessageW(GetHwnd(), kSetRunningMessage, 0, 0);
        running = false;
        PostMessageW(GetHwnd(), kWorkerDoneMessage, 0, 0);
    };
    bool overwrite = false;
    for (const auto& entry : list.Entries()) {
        std::wstring output;
        {
            std::lock_guard guard(pathLock);
            output = entry->outputPath;
        }
        if (PathFileExistsW(output.c_str())) {
            const int answer = Message(Translate(L"mc.err.overwriteExistingFiles"),
                                       MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON3);
            if (answer == IDCANCEL) {
                running = false;
                PostMessageW(GetHwnd(), kWorkerDoneMessage, 0, 0);
                return;
            }
            overwrite = answer == IDYES;
            break;
        }
    }
    const std::wstring folder = ItemText(IDC_MC_FOLDER);
    if (!folder.empty() && !PathIsDirectoryW(folder.c_str())) {
        Message(Translate(L"mc.err.outFolderMissing", folder), kErrorBox);
        running = false;
        PostMessageW(GetHwnd(), kWorkerDoneMessage, 0, 0);
        return;
    }
    log.SetText(L"");
    SendMessageW(GetHwnd(), kSetRunningMessage, 1, 0);
    ConvertInParallel(std::min<size_t>(list.Size(), ConverterThreads()), overwrite);
    finish();
}

void CMidiConverter::ConvertInParallel(size_t threads, bool overwrite) {
    struct SRun {
        std::mutex lock;
        std::vector<std::wstring> lines;
        bool started = false;
        bool done = false;
        std::atomic<uint32_t> permille{0}; // its progress, shown when its turn comes
    };
    const size_t count = list.Size();
    std::vector<SRun> runs(count);
    std::atomic<size_t> next{0};
    std::atomic<size_t> shown{0}; // the file whose lines and progress the window shows
    HWND progress = GetDlgItem(GetHwnd(), IDC_MC_PROGRESS);
    auto work = [&] {
        for (size_t i; !cancel && (i = next++) < count;) {
            SRun& run = runs[i];
            const auto hold = [&run](const std::wstring& line) {
                std::lock_guard<std::mutex> guard(run.lock);
                run.lines.push_back(line);
            };
            const SFileOutput out{hold, [&run, &shown, progress, i](uint32_t permille) {
                                      run.permille.store(permille);
                                      if (shown.load() == i)
                                          SendMessageW(progress, PBM_SETPOS, permille, 0);
                                  }};
            {
                std::lock_guard<std::mutex> guard(run.lock);
                run.started = true;
            }
            hold(L"Input file: " + list[i].inputPath);
            ConvertFile(list[i], overwrite, out);
            hold(kSeparatorLine);
            std::lock_guard<std::mutex> guard(run.lock);
            run.done = true;
        }
    };
    std::vector<std::thread> workers;
    for (size_t t = 0; t < threads; ++t)
        workers.emplace_back(work);
    bool joined = false;
    const auto joinAll = [&] {
        for (std::thread& t : workers)
            if (t.joinable())
                t.join();
        joined = true;
    };
    // This thread writes the log: each file's lines once the files before it are through.
    // After a cancel, files that finished behind a canceled one are logged too: their outputs
    // exist.
    bool skipped = false;
    for (size_t i = 0; i < count; ++i) {
        shown.store(i);
        bool selected = false;
        for (size_t written = 0;;) {
            std::vector<std::wstring> lines;
            bool started = false, done = false;
            {
                std::lock_guard<std::mutex> guard(runs[i].lock);
                lines.assign(runs[i].lines.begin() + static_cast<std::ptrdiff_t>(written),
                             runs[i].lines.end());
                started = runs[i].started;
                done = runs[i].done;
            }
            if (started && !selected) {
                listView.ClearSelection();
                listView.SelectRow(static_cast<int>(i));
                selected = true;
            }
            for (const std::wstring& line : lines)
                LogLine(line);
            written += lines.size();
            if (started)
                SendMessageW(progress, PBM_SETPOS, runs[i].permille.load(), 0);
            if (done)
                break;
            if (!started && (cancel || joined)) {
                if (joined) { // canceled before its turn: it never starts
                    skipped = true;
                    break;
                }
                joinAll(); // no file starts after a cancel; wait for the ones under way
                continue;
            }
            Sleep(kLogPollMs);
        }
    }
    joinAll();
    if (skipped) {
        LogLine(Translate(L"mc.canceled"));
        LogLine(kSeparatorLine);
    }
}

// One file per processor: each file's rendering runs on one thread.
size_t CMidiConverter::ConverterThreads() {
    return std::max(1u, std::thread::hardware_concurrency());
}

bool CMidiConverter::ConvertFile(MidiFileEntry& entry, bool overwrite, const SFileOutput& out) {
    if (!host.EngineReady()) {
        Message(Translate(L"mc.err.bassNoInit"), kErrorBox);
        return false;
    }
    const std::size_t profileIndex = SelectedProfile();
    const SEncoderProfile& profile = EncoderProfiles()[profileIndex];
    const std::wstring input = entry.inputPath;
    std::wstring output;
    {
        std::lock_guard guard(pathLock);
        output = entry.outputPath;
    }
    if (!PathFileExistsW(input.c_str())) {
        Message(Translate(L"mc.err.inFileMissing", input), kErrorBox);
        return false;
    }
    if (PathFileExistsW(output.c_str())) {
        if (!overwrite) {
            out.log(Translate(L"mc.err.skippedExistingFile", output));
            return true;
        }
        if (!DeleteFileW(output.c_str())) {
            Message(DeleteErrorText(output, GetLastError()), kErrorBox);
            return false;
        }
    }
    std::wstring program;
    if (profile.program[0] != '\0') {
        const std::wstring folder = host.EncodersFolder();
        const std::wstring name = Widen(profile.program);
        program = folder + L"\\" + name;
        if (!PathFileExistsW(program.c_str())) {
            const std::wstring page = Widen(profile.downloadPage);
            if (Message(Translate(L"mc.err.noEncoder", name, page, folder),
                        MB_OKCANCEL | MB_ICONERROR) == IDOK) {
                host.Open(page);
                host.Open(folder);
            }
            return false;
        }
    }
    out.log(L"Output file: " + output);

    SRenderOptions options;
    options.fonts = host.FirstPortFonts();
    if (options.fonts.empty()) {
        Message(Translate(L"mc.err.noSoundfont", config::CSettings::PortDisplayName(0)), kErrorBox);
        return false;
    }
    options.extraFlags = host.StreamFlags(audio::StreamFlags::Decode | audio::StreamFlags::Float |
                                          audio::StreamFlags::DecayEnd);
    if (settings) {
        options.rate = settings->outputSampleRate.Get();
        options.voices = static_cast<int>(settings->voicesLimit.Get());
        options.reverb = settings->reverbLevel.Get();
        options.chorus = settings->chorusLevel.Get();
        options.overrideEffects = settings->reverbChorusOverride.Get() == 1;
        options.skipInitialSilence = settings->skipInitialSilence.Get() == 1;
        options.encoderOptions = base::Utf8FromWide(settings->encoderOptions.Get());
    }
    options.mixer = this;
    options.keyShift = entry.keyShift;
    options.profile = profileIndex;
    options.encoderProgram = base::Utf8FromWide(program);

    out.progress(0);
    CProgressObserver observer(out);
    const SRenderResult result = RenderFile(
        std::filesystem::path(input), std::filesystem::path(output), options, &observer, cancel);
    switch (result.status) {
    case ERenderStatus::Completed:
        out.log(Translate(L"mc.completed"));
        return true;
    case ERenderStatus::Canceled:
        out.log(Translate(L"mc.canceled"));
        return false;
    case ERenderStatus::Failed:
        break;
    }
    if (result.encoderStopped) {
        Message(L"Error: the encoder process has stopped!", kErrorBox);
        out.log(Translate(L"mc.canceled"));
        return false;
    }
    Message(Translate(L"mc.err.inputFile", input, base::WideFromUtf8(result.message)), kErrorBox);
    return false;
}

// ---- the one converter -----------------------------------------------------------------------

void OpenConverterWindow(IConverterHost& host) {
    if (!midiConverter) {
        auto* converter = new CMidiConverter(host);
        midiConverter = converter;
        if (!converter->Create()) {
            midiConverter = nullptr;
            delete converter;
            return;
        }
    }
    midiConverter->BringToFront();
}

void CloseConverterWindow() {
    if (midiConverter && midiConverter->IsWindow()) {
        SendMessageW(midiConverter->GetHwnd(), WM_CLOSE, 0, 0);
    }
}

} // namespace hml::converter
