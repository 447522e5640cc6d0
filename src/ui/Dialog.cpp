#include "ui/Dialog.h"

namespace hml::ui {

INT_PTR CDialog::DoModal(HWND parent) {
    modal = true;
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), parent,
                           &CDialog::StaticDialogProc, reinterpret_cast<LPARAM>(this));
}

bool CDialog::Create(HWND parent) {
    modal = false;
    return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), parent,
                              &CDialog::StaticDialogProc,
                              reinterpret_cast<LPARAM>(this)) != nullptr;
}

bool CDialog::PreTranslateMessage(MSG& msg) {
    return !modal && GetHwnd() && IsDialogMessageW(GetHwnd(), &msg);
}

BOOL CDialog::OnInitDialog() {
    return TRUE;
}

void CDialog::OnOK() {
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

BOOL CDialog::OnCommand(WPARAM, LPARAM) {
    return FALSE;
}

void CDialog::EndDialog(INT_PTR result) {
    if (modal) {
        ::EndDialog(GetHwnd(), result);
    } else {
        Destroy();
    }
}

INT_PTR CDialog::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    return DialogProcDefault(msg, wParam, lParam);
}

INT_PTR CDialog::DialogProcDefault(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            OnOK();
            return TRUE;
        case IDCANCEL:
            OnCancel();
            return TRUE;
        default:
            return OnCommand(wParam, lParam);
        }
    case WM_DESTROY:
        OnDestroy();
        return FALSE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK CDialog::StaticDialogProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<CDialog*>(FromHandle(window));
    if (!self && msg == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lParam);
        self->Attach(window);
    }
    if (!self) {
        return FALSE;
    }
    INT_PTR result = FALSE;
    try {
        result = self->DialogProc(msg, wParam, lParam);
    } catch (...) {
        ReportCallbackException();
    }
    if (msg == WM_NCDESTROY) {
        self->WindowGone();
    }
    return result;
}

void ModelessDialog::OnCancel() {
    if (!IsModal() && (GetKeyState(VK_ESCAPE) & 0x8000)) {
        return;
    }
    CDialog::OnCancel();
}

INT_PTR ModelessDialog::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CLOSE && !IsModal()) {
        Destroy();
        return TRUE;
    }
    return CDialog::DialogProc(msg, wParam, lParam);
}

void ModelessDialog::OnFinalMessage() {
    if (HandOverForDeletion(this)) {
        return;
    }
    delete this;
}

} // namespace hml::ui
