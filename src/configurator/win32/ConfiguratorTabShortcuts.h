#pragma once
// The Shortcuts page: the tray's two global hotkeys ("ShowMixer", "MIDIPanic") and a reference of
// the mixer window's keys.

#include "configurator/win32/ConfiguratorTabBase.h"
#include "configurator/win32/HotKeyEx.h"

#include <string>

namespace hml::configurator {

// The mixer key reference, one "%-12s => %s" line per key.
std::wstring MixerShortcutReference();

class CConfiguratorTabShortcuts : public CConfiguratorTabBase {
public:
    explicit CConfiguratorTabShortcuts(IConfiguratorFrame& frame);
    ~CConfiguratorTabShortcuts() override;

    bool Apply(int commandId) override;

    CHotKeyEx& MixerKey() { return mixerKey; }
    CHotKeyEx& PanicKey() { return panicKey; }

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    CHotKeyEx mixerKey;
    CHotKeyEx panicKey;
    HFONT referenceFont = nullptr;
};

} // namespace hml::configurator
