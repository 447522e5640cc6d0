#pragma once
// The application object: one per process, owns the message loop of the user-interface thread.

#include <windows.h>

namespace hml::ui {

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Creates the main window; false ends the program.
    virtual bool InitInstance();
    // Runs the message loop until WM_QUIT and returns its exit code.
    int Run();

    static CWinApp* Get() { return current; }

private:
    static inline CWinApp* current = nullptr;
};

} // namespace hml::ui
