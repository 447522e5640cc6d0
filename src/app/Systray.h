#pragma once
// The hidden tray window: the notification-area icon with its menu and balloons, the two global
// hotkeys, the hand-over point of a second start, and the owner of finished modeless windows. Its
// destruction ends the program.

#include "app/AppWindows.h"
#include "app/UpdateDecision.h"
#include "ui/Window.h"

#include <shellapi.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace hml::app {

class CSystray : public ui::CWindow, public IUpdateNotice {
public:
    static constexpr const wchar_t* kClassName = L"MSGWND";
    static constexpr const wchar_t* kTitle = L"Harmolith Systray Window";
    static constexpr UINT kIconMessage = WM_USER + 1;
    // The update checker found a newer version (posted from its thread).
    static constexpr UINT kUpdateFoundMessage = WM_APP + 1;
    static constexpr ULONG_PTR kCopyDataId = 1972;
    static constexpr int kMixerHotkeyId = 1;
    static constexpr int kPanicHotkeyId = 2;

    enum MenuId : UINT {
        kMenuConfigure = 1026,
        kMenuPanic = 1027,
        kMenuUpdate = 1028,
        kMenuAbout = 1029,
        kMenuExit = 1030,
        kMenuConverter = 1031,
        kMenuMixerFirst = 1124, // + port index
    };

    // What a click on the current balloon opens.
    enum BalloonKind : std::uint32_t {
        kBalloonHotkey = 1,
        kBalloonUpdate = 2,
        kBalloonNoSoundFont = 3,
    };

    explicit CSystray(IAppWindows& windows_);
    ~CSystray() override;

    bool Create();

    // Registers "ShowMixer" as hotkey 1 and "MIDIPanic" as hotkey 2, dropping earlier ones.
    void RegisterHotkeys();
    // False when the shell did not take the balloon (no icon, no notification area).
    bool ShowBalloon(const std::wstring& text, DWORD iconFlags, std::uint32_t kind);

    // A command line from a second start or from this one.
    void DispatchWindows(const std::vector<std::wstring>& args, bool emptyMeansConfigurator);

    void PostUpdateFound() override;
    void SetUpdateAvailable() override;
    void ShowUpdateBalloon() override;

    IAppWindows& Windows() { return windows; }
    // The ports the menu lists: those the engine runs.
    std::uint32_t PortCount() const;
    bool IsUpdateAvailable() const { return updateAvailable; }
    // Balloons the shell took, for tests of start-up.
    std::uint32_t BalloonsShown() const { return balloonsShown; }

protected:
    int OnCreate(CREATESTRUCTW& cs) override;
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void OnIconMessage(LPARAM mouseMessage);
    UINT ShowMenu();
    void OnCommand(UINT id);
    void Exit();
    void OnClose();
    void UnregisterHotkeys();
    void OpenBalloonPage();
    std::uint32_t RegisterOne(int id, std::uint32_t value, const wchar_t* actionKey);

    IAppWindows& windows;
    std::atomic<bool> updateAvailable{false};
    std::uint32_t mixerHotkey = 0;
    std::uint32_t panicHotkey = 0;
    NOTIFYICONDATAW iconData{};
    std::atomic<std::uint32_t> balloonKind{0};
    bool iconAdded = false;
    std::atomic<std::uint32_t> balloonsShown{0};
    bool doubleClicked = false;
};

// The tray window of the process; none outside the synth's run.
extern CSystray* systray;
// The registered "TaskbarCreated" message: Explorer started again and the icon must be re-added.
extern UINT taskbarCreatedMessage;

} // namespace hml::app
