#include "ui/Gdi.h"

namespace hml::ui {

CWinException::CWinException(const wchar_t* text_)
    : text(text_), narrow(text.begin(), text.end()), error(GetLastError()) {}

namespace {
template <typename T> T Check(T handle, const wchar_t* failure) {
    if (!handle) {
        throw CResourceException(failure);
    }
    return handle;
}
} // namespace

CFont::CFont(const LOGFONTW& font) {
    handle = Check(CreateFontIndirectW(&font), L"Failed to create font");
}

CBitmap::CBitmap(UINT resourceId) {
    handle = Check(
        static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId),
                                        IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)),
        L"Failed to create bitmap");
}

CBitmap::CBitmap(HDC dc, int width, int height) {
    handle = Check(CreateCompatibleBitmap(dc, width, height), L"Failed to create bitmap");
}

CBrush::CBrush(COLORREF color) {
    handle = Check(CreateSolidBrush(color), L"Failed to create brush");
}

CRgn::CRgn(const RECT& rect) {
    handle = Check(CreateRectRgnIndirect(&rect), L"Failed to create region");
}

CMemDC::CMemDC(HDC compatible)
    : dc(Check(CreateCompatibleDC(compatible), L"Failed to create device context")) {}

CMemDC::~CMemDC() {
    for (HGDIOBJ old : {oldBitmap, oldFont, oldBrush}) {
        if (old) {
            SelectObject(dc, old);
        }
    }
    DeleteDC(dc);
}

void CMemDC::Select(HGDIOBJ object) {
    HGDIOBJ old = SelectObject(dc, object);
    HGDIOBJ* slot = nullptr;
    switch (GetObjectType(object)) {
    case OBJ_BITMAP:
        slot = &oldBitmap;
        break;
    case OBJ_FONT:
        slot = &oldFont;
        break;
    case OBJ_BRUSH:
        slot = &oldBrush;
        break;
    default:
        return;
    }
    // Keep the first original only; later selections swap our own objects.
    if (!*slot) {
        *slot = old;
    }
}

CClientDC::CClientDC(HWND window_)
    : window(window_), dc(Check(GetDC(window_), L"Failed to create device context")) {}

CClientDC::~CClientDC() {
    ReleaseDC(window, dc);
}

} // namespace hml::ui
