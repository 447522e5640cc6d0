#pragma once
// The modal editor of one SoundFont entry: preset, bank, volume, preload and XG drums, with what
// the font file contains. It works on a copy and hands it back only when something changed.

#include "config/SoundFontEntry.h"
#include "ui/Control.h"
#include "ui/Dialog.h"

namespace hml::configurator {

// An edit that takes digits only, and the minus sign or decimal point when allowed.
class CNumericEdit : public ui::CControl {
public:
    CNumericEdit(bool allowPaste_, bool allowDecimal_, bool allowMinus_)
        : allowPaste(allowPaste_), allowDecimal(allowDecimal_), allowMinus(allowMinus_) {}

protected:
    LRESULT ControlProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    const bool allowPaste;
    const bool allowDecimal;
    const bool allowMinus;
};

class CSoundFontEditor : public ui::CDialog {
public:
    explicit CSoundFontEditor(const config::SoundFontEntry& entry);
    const config::SoundFontEntry& Result() const { return copy; }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    INT_PTR DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void BankMode();
    void Normalise();
    void SetNumber(int id, std::int32_t value);
    std::int32_t Number(int id) const;

    config::SoundFontEntry copy;
    CNumericEdit preset{false, false, true};
    CNumericEdit bank{false, false, true};
    CNumericEdit volume{false, false, false};
};

// Runs the editor over the parent. True when the entry changed (it then holds the new values).
bool EditSoundFont(config::SoundFontEntry& entry, HWND parent);

} // namespace hml::configurator
