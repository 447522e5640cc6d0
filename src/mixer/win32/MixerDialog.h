#pragma once
// The mixer window of one owner (a synth port or the converter): sixteen channel strips and the
// master strip, a context menu with the bulk commands, keyboard control of the strips, a thread
// that animates the activity lights and the level meter, mixer state files, and its position and
// open state kept in the configuration.

#include "mixer/MixerOwner.h"
#include "mixer/win32/MixerChannel.h"
#include "ui/Dialog.h"
#include "ui/Gdi.h"
#include "ui/WindowSnapper.h"

#include <array>
#include <atomic>
#include <memory>

namespace hml::mixer {

class CMixerDialog : public ui::ModelessDialog {
public:
    static constexpr std::uint32_t kMasterStrip = 16;

    explicit CMixerDialog(IMixerOwner& owner_);
    ~CMixerDialog() override;

    // Restores, brings to the foreground and applies the "TopMost" setting.
    void Show();
    // Recomputes a strip from the state and repaints it; kAllChannels: every channel strip.
    void RefreshChannel(std::uint32_t channel);
    void RefreshMaster();
    void SelectChannel(std::uint32_t channel);
    void ResetAll();
    // Starts or stops the meter thread after a change of "DisableVUMeter".
    void ApplyMeterSetting();

    IMixerOwner& Owner() { return owner; }
    std::uint32_t SelectedChannel() const { return selectedChannel; }

    // Every drawing of a strip holds this, on the user-interface and the meter thread alike.
    class CDrawLock {
    public:
        explicit CDrawLock(CMixerDialog& dialog_) : dialog(dialog_) {
            EnterCriticalSection(&dialog.lock);
        }
        ~CDrawLock() { LeaveCriticalSection(&dialog.lock); }
        CDrawLock(const CDrawLock&) = delete;
        CDrawLock& operator=(const CDrawLock&) = delete;

    private:
        CMixerDialog& dialog;
    };

    // What the strips draw with.
    struct Artwork {
        ui::CFont labelFont;
        ui::CFont selectedLabelFont;
        ui::CFont instrumentFont;
        // Empty when missing from the resources: nothing is drawn for it then.
        ui::CGdiObject<HBITMAP> faderTrack;
        ui::CGdiObject<HBITMAP> knob;
        ui::CGdiObject<HBITMAP> meterOff;
        ui::CGdiObject<HBITMAP> meterOn;
        HICON muted = nullptr;
        HICON notMuted = nullptr;
        HICON soloed = nullptr;
        HICON notSoloed = nullptr;
        HICON master = nullptr;
        ui::CBrush background;
    };
    const Artwork& Art() const { return art; }

protected:
    void OnDestroy() override;
    BOOL OnInitDialog() override;
    void OnFinalMessage() override;
    bool PreTranslateMessage(MSG& msg) override;
    INT_PTR DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void LoadArtwork();
    void LayOutStrips();
    void ShowContextMenu();
    void RunMenuCommand(UINT command);
    void LoadStateFile();
    void SaveStateFile();
    void CopyStateFrom(std::uint32_t port);
    void HandleKey(const MSG& msg);
    void StartMeter();
    void StopMeter(DWORD waitMs);
    static DWORD WINAPI MeterThread(void* self);
    void MeterLoop();

    Artwork art;
    IMixerOwner& owner;
    CRITICAL_SECTION lock;
    std::uint32_t selectedChannel = kMasterStrip;
    HANDLE meterThread = nullptr;
    std::atomic<bool> stopMeter{false};
    ui::CWindowSnapper snapper;
    std::array<std::unique_ptr<CMixerChannel>, 17> strips;
};

} // namespace hml::mixer
