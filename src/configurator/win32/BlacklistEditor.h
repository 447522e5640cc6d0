#pragma once
// The modal editor of the client blacklist: one program per line, normalised on OK, with a
// pop-up of the programs that have the driver loaded now.

#include "config/Settings.h"
#include "configurator/OptionsHost.h"
#include "ui/Dialog.h"

#include <string>

namespace hml::configurator {

class CBlacklistEditor : public ui::CDialog {
public:
    CBlacklistEditor(const std::wstring& stored, IRunningClients& clients);

    // Runs the editor on the setting; true when OK stored a different text.
    static bool Edit(config::CStringSetting& setting, HWND parent, IRunningClients& clients);

    // The stored form after OK; the text it was opened with after Cancel.
    const std::wstring& Text() const { return text; }

    // The pop-up of running clients under the button; the caller destroys it. Item n (from 1)
    // names names[n - 1].
    static HMENU BuildClientMenu(const std::vector<std::wstring>& names);

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    void AddRunningClient();
    std::wstring EditText() const;

    std::wstring text;
    IRunningClients& clients;
};

// The programs that have the driver loaded, by a walk of every process's modules; none when the
// process snapshot cannot be taken.
std::optional<std::vector<std::wstring>> ProcessesWithDriverLoaded();

} // namespace hml::configurator
