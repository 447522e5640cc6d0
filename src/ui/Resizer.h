#pragma once
// Keeps a dialog's controls in place as the dialog is resized: each control is anchored to the
// top-left, bottom-left or bottom-right corner and may stretch with the width or the height.

#include <windows.h>

#include <vector>

namespace hml::ui {

class CResizer {
public:
    enum Anchor { kTopLeft, kBottomLeft, kBottomRight };

    // Call once the dialog has its initial size: positions are kept relative to it.
    void Initialize(HWND dialog);
    void Add(int id, Anchor anchor, bool stretchWidth = false, bool stretchHeight = false);
    // WM_SIZE: moves every control; a client smaller than the initial one counts as the initial.
    void Resize() const;

private:
    struct Item {
        HWND control;
        RECT initial;
        Anchor anchor;
        bool stretchWidth, stretchHeight;
    };
    HWND dialog = nullptr;
    SIZE initialClient{};
    std::vector<Item> items;
};

} // namespace hml::ui
