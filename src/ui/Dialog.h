#pragma once
// Dialogs from templates in the program's resources, modal or modeless, with the same handle-to-
// object link as CWindow. ModelessDialog is the base of every modeless window of the program: its
// object outlives its window and is handed to the deletion host once the window is gone.

#include "ui/DeletionHost.h"
#include "ui/Window.h"

namespace hml::ui {

class CDialog : public CWindow {
public:
    explicit CDialog(UINT templateId_) : templateId(templateId_) {}

    // Runs the dialog modally; the result passed to EndDialog, or -1 when it could not start.
    INT_PTR DoModal(HWND parent = nullptr);
    // Creates the dialog modeless; false when the template or the window failed.
    bool Create(HWND parent = nullptr);

    bool IsModal() const { return modal; }
    bool PreTranslateMessage(MSG& msg) override;

protected:
    // WM_INITDIALOG; true lets the system set the focus.
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    // WM_COMMAND other than IDOK and IDCANCEL; true when handled.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual INT_PTR DialogProc(UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR DialogProcDefault(UINT msg, WPARAM wParam, LPARAM lParam);
    // Ends a modal dialog with result, or destroys a modeless one.
    void EndDialog(INT_PTR result);

private:
    static INT_PTR CALLBACK StaticDialogProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

    const UINT templateId;
    bool modal = false;
};

class ModelessDialog : public CDialog {
public:
    using CDialog::CDialog;

protected:
    // Escape does not close a modeless window; the close box and OK do.
    void OnCancel() override;
    // Hands the object to the deletion host (or deletes it when there is none).
    void OnFinalMessage() override;
    INT_PTR DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
};

} // namespace hml::ui
