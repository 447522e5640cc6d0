// The windows the tray opens besides the mixers, with what they take from the running synth: the
// configurator (live engine, tray, process restart) and the converter.

#include "app/AppWindows.h"
#include "app/DriverRegistration.h"
#include "app/MainApp.h"
#include "app/Systray.h"
#include "config/Language.h"
#include "config/Settings.h"
#include "configurator/win32/Configurator.h"
#include "configurator/win32/PageHost.h"
#include "configurator/win32/SystemOptionsHost.h"
#include "converter/win32/MidiConverter.h"
#include "mixer/MixerOwner.h"
#include "mixer/win32/MixerDialog.h"
#include "synth/win32/IpcServer.h"
#include "synth/win32/MidiDevice.h"
#include "synth/win32/SynthEngine.h"
#include "update/win32/UpdateChecker.h"

#include <shellapi.h>

#include <string>

namespace hml::app {

using namespace hml::config;
using namespace hml::configurator;
using namespace hml::converter;
using namespace hml::synth;

namespace {

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

class CSynthPageHost final : public IPageHost {
public:
    std::vector<std::wstring> MidiOutputNames() override { return configurator::MidiOutputNames(); }
    bool DefaultDeviceChoosable() override { return app::DefaultDeviceChoosable(); }
    std::wstring ServerStatusText() override {
        std::wstring text;
        if (ipcServer) {
            ipcServer->GetStatusText(text, true, true);
        }
        return text;
    }
    update::CUpdateChecker* UpdateChecker() override { return update::updateChecker; }
    void Open(const std::wstring& target) override {
        ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOW);
    }
};

class CSynthConfiguratorHost final : public IConfiguratorHost {
public:
    bool RestartProcess() override { return app::RestartProcess(); }

    void RestartAudio() override {
        if (synthEngine) {
            synthEngine->Restart();
        }
    }

    void RegisterHotkeys() override {
        if (systray) {
            systray->RegisterHotkeys();
        }
    }

    void ApplyMeters() override {
        if (!synthEngine) {
            return;
        }
        for (auto& port : synthEngine->ports) {
            if (port->mixerWindow) {
                port->mixerWindow->ApplyMeterSetting();
            }
        }
    }

    void CheckSoundFonts() override {
        if (synthEngine && systray && !synthEngine->AllPortsHaveSoundFonts()) {
            systray->ShowBalloon(Translate(L"err.noSoundfont"), NIIF_ERROR,
                                 CSystray::kBalloonNoSoundFont);
        }
    }

    void ReplaceSoundFonts(const std::vector<SoundFontEntry>& list) override {
        if (synthEngine) {
            synthEngine->ReplaceSoundFonts(list);
        } else if (settings) {
            settings->soundFonts = list;
            settings->WriteSoundFonts();
        }
    }

    std::uint32_t RunningPortCount() override {
        return synthEngine ? static_cast<std::uint32_t>(synthEngine->ports.size()) : 0;
    }

    void ReloadLanguage() override { LoadLanguage(); }

    void OpenWebPage(const std::wstring& address) override {
        ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }

    IOptionsPageHost& OptionsPageHost() override { return optionsHost; }
    IPageHost& PageHost() override { return pageHost; }

private:
    CSynthPageHost pageHost;
    CSystemOptionsHost optionsHost{[] {
        if (synthEngine) {
            synthEngine->CreatePorts();
        }
    }};
};

class CAppWindows : public IAppWindows {
public:
    void OpenConfigurator(std::uint32_t page) override {
        // Pages count from 1 here; kCurrentPage keeps the one shown.
        OpenConfiguratorWindow(configuratorHost, page >= kSoundFontsPage && page <= kAboutPage
                                                     ? static_cast<int>(page - kSoundFontsPage)
                                                     : -1);
    }

    void DestroyConfigurator() override { CloseConfiguratorWindow(); }

    void OpenConverter() override { converter::OpenConverterWindow(converterHost); }

    void CloseConverter() override { converter::CloseConverterWindow(); }

private:
    CSynthConverterHost converterHost;
    CSynthConfiguratorHost configuratorHost;
};

} // namespace

std::unique_ptr<IAppWindows> CreateAppWindows() {
    return std::make_unique<CAppWindows>();
}

} // namespace hml::app
