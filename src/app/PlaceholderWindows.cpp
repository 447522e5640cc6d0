// Stand-ins for the mixer, configurator and converter windows until they are built: a small
// modeless window per request that says what would open, managed like the real ones (handed to the
// tray for deletion when closed).

#include "Resource.h"
#include "app/AppWindows.h"
#include "config/Settings.h"
#include "ui/Dialog.h"

#include <array>
#include <string>

namespace app {

namespace {

class CPlaceholderDialog : public ui::ModelessDialog {
public:
    CPlaceholderDialog(CPlaceholderDialog** slot_, std::wstring title_, std::wstring text_)
        : ModelessDialog(IDD_PLACEHOLDER), slot(slot_), title(std::move(title_)),
          text(std::move(text_)) {}

    void SetText(const std::wstring& newText) {
        text = newText;
        SetDlgItemTextW(GetHwnd(), IDC_PLACEHOLDER_TEXT, text.c_str());
    }

    void BringToFront() {
        ShowWindow(GetHwnd(), SW_RESTORE);
        SetForegroundWindow(GetHwnd());
        SetWindowPos(GetHwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW);
    }

protected:
    BOOL OnInitDialog() override {
        SetWindowTextW(GetHwnd(), title.c_str());
        SetDlgItemTextW(GetHwnd(), IDC_PLACEHOLDER_TEXT, text.c_str());
        return TRUE;
    }

    void OnFinalMessage() override {
        if (slot && *slot == this) {
            *slot = nullptr;
        }
        ModelessDialog::OnFinalMessage();
    }

private:
    CPlaceholderDialog** slot;
    std::wstring title;
    std::wstring text;
};

std::wstring PageText(std::uint32_t page) {
    return L"The configurator is not available in this version yet (page " + std::to_wstring(page) +
           L").";
}

class CPlaceholderWindows : public IAppWindows {
public:
    ~CPlaceholderWindows() override {
        // Windows still open at the end of the program go with their objects.
        for (CPlaceholderDialog** slot : AllSlots()) {
            if (*slot) {
                CPlaceholderDialog* dialog = *slot;
                *slot = nullptr;
                delete dialog;
            }
        }
    }

    void OpenConfigurator(std::uint32_t page) override {
        Open(&configurator, L"Harmolith Settings", PageText(page));
        if (configurator && page >= kSoundFontsPage && page <= kAboutPage) {
            configurator->SetText(PageText(page));
        }
    }

    void DestroyConfigurator() override {
        if (configurator) {
            configurator->Destroy();
        }
    }

    void OpenConverter() override {
        Open(&converter, L"Harmolith MIDI Converter",
             L"The MIDI converter is not available in this version yet.");
    }

    void OpenMixer(std::uint32_t port) override {
        if (port < mixers.size()) {
            Open(&mixers[port], CSettings::PortDisplayName(port) + L" Mixer",
                 L"The mixer is not available in this version yet.");
        }
    }

    void ToggleMixer(std::uint32_t port) override {
        if (IsMixerOpen(port)) {
            CloseMixer(port);
        } else {
            OpenMixer(port);
        }
    }

    bool IsMixerOpen(std::uint32_t port) override {
        return port < mixers.size() && mixers[port] != nullptr;
    }

    void CloseMixer(std::uint32_t port) override {
        if (IsMixerOpen(port)) {
            PostMessageW(mixers[port]->GetHwnd(), WM_CLOSE, 0, 0);
        }
    }

private:
    void Open(CPlaceholderDialog** slot, const std::wstring& title, const std::wstring& text) {
        if (!*slot) {
            auto* dialog = new CPlaceholderDialog(slot, title, text);
            *slot = dialog;
            if (!dialog->Create()) {
                *slot = nullptr;
                delete dialog;
                return;
            }
        }
        (*slot)->BringToFront();
    }

    std::array<CPlaceholderDialog**, 6> AllSlots() {
        return {&configurator, &converter, &mixers[0], &mixers[1], &mixers[2], &mixers[3]};
    }

    CPlaceholderDialog* configurator = nullptr;
    CPlaceholderDialog* converter = nullptr;
    std::array<CPlaceholderDialog*, 4> mixers{};
};

} // namespace

std::unique_ptr<IAppWindows> CreateAppWindows() {
    return std::make_unique<CPlaceholderWindows>();
}

} // namespace app
