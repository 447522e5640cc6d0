#pragma once
// The About page: product and version, a live view of the synth's state refreshed five times a
// second while the page is visible, and the debug report for support.

#include "configurator/win32/ConfiguratorTabBase.h"
#include "configurator/win32/PageHost.h"

#include <string>

namespace hml::configurator {

class CConfiguratorTabAbout : public CConfiguratorTabBase {
public:
    static constexpr UINT kRefreshMessage = WM_USER + 1;
    static constexpr DWORD kRefreshMs = 200;
#ifdef _WIN64
    static constexpr const wchar_t* kArchitecture = L"x64";
#else
    static constexpr const wchar_t* kArchitecture = L"x86";
#endif

    CConfiguratorTabAbout(IConfiguratorFrame& frame, IPageHost& host);
    ~CConfiguratorTabAbout() override;

    bool Apply(int) override {
        return true;
    }

    // Asks for a file and writes the report there.
    void WriteDebugReport();
    // Writes the report to path; false (after telling the user) when it could not be written.
    bool WriteDebugReportTo(const std::wstring& path);
    // The registry part of the report.
    static std::wstring RegistryDump();

    void RefreshStatus();
    const std::wstring& StatusText() const {
        return statusText;
    }
    bool IsRefreshing() const {
        return refreshThread != nullptr;
    }

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    INT_PTR DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    static DWORD WINAPI RefreshMain(void* self);
    void StartRefresh();
    void StopRefresh();
    static std::wstring BaseInfo();

    IPageHost& host;
    HFONT titleFont = nullptr;
    std::wstring baseInfo;
    std::wstring statusText;
    HANDLE refreshThread = nullptr;
    HANDLE stopRefresh = nullptr;
};

} // namespace hml::configurator
