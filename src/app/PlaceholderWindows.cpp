// The converter window with what it takes from the running synth, and a stand-in for the
// configurator until it is built: a small modeless window that says what would open, managed like
// the real ones (handed to the tray for deletion when closed).

#include "Resource.h"
#include "app/AppWindows.h"
#include "config/Settings.h"
#include "converter/win32/MidiConverter.h"
#include "synth/win32/SynthEngine.h"
#include "ui/Dialog.h"

#include <array>
#include <string>

namespace hml::app {

using namespace hml::config;
using namespace hml::converter;
using namespace hml::synth;

using namespace hml::ui;

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

class CSynthConverterHost final : public converter::IConverterHost {
public:
    bool EngineReady() override { return synthEngine && synthEngine->IsInitialised(); }
    std::vector<audio::SFontMapping> FirstPortFonts() override {
        return synthEngine ? synthEngine->PortFonts(0) : std::vector<audio::SFontMapping>{};
    }
    std::uint32_t StreamFlags(std::uint32_t base) override { return GetStreamFlags(base); }
    std::wstring EncodersFolder() override {
        return settings ? settings->InstallFolder() + L"\\encoders" : L"encoders";
    }
};

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

    void OpenConverter() override { converter::OpenConverterWindow(converterHost); }

    void CloseConverter() override { converter::CloseConverterWindow(); }

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

    std::array<CPlaceholderDialog**, 1> AllSlots() { return {&configurator}; }

    CPlaceholderDialog* configurator = nullptr;
    CSynthConverterHost converterHost;
};

} // namespace

std::unique_ptr<IAppWindows> CreateAppWindows() {
    return std::make_unique<CPlaceholderWindows>();
}

} // namespace hml::app
