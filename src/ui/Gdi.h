#pragma once
// Owners of GDI objects and device contexts. Creation failures raise CResourceException with a
// fixed text; everything is released when its owner goes.

#include <windows.h>

#include <exception>
#include <string>

namespace hml::ui {

class CWinException : public std::exception {
public:
    explicit CWinException(const wchar_t* text_);
    const wchar_t* Text() const noexcept { return text.c_str(); }
    const char* what() const noexcept override { return narrow.c_str(); }
    // The Windows error code at the time of the failure.
    DWORD Error() const noexcept { return error; }

private:
    std::wstring text;
    std::string narrow;
    DWORD error;
};

class CResourceException : public CWinException {
public:
    using CWinException::CWinException;
};

class CNotSupportedException : public CWinException {
public:
    using CWinException::CWinException;
};

// One GDI object of type T (HFONT, HBITMAP, HBRUSH, HRGN), deleted with the owner.
template <typename T> class CGdiObject {
public:
    CGdiObject() = default;
    explicit CGdiObject(T handle_) : handle(handle_) {}
    ~CGdiObject() { Reset(); }
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;
    CGdiObject(CGdiObject&& other) noexcept : handle(other.handle) { other.handle = nullptr; }
    CGdiObject& operator=(CGdiObject&& other) noexcept {
        if (this != &other) {
            Reset();
            handle = other.handle;
            other.handle = nullptr;
        }
        return *this;
    }

    T Get() const { return handle; }
    explicit operator bool() const { return handle != nullptr; }
    void Reset() {
        if (handle) {
            DeleteObject(handle);
            handle = nullptr;
        }
    }

protected:
    T handle = nullptr;
};

class CFont : public CGdiObject<HFONT> {
public:
    CFont() = default;
    explicit CFont(const LOGFONTW& font);
};

class CBitmap : public CGdiObject<HBITMAP> {
public:
    CBitmap() = default;
    // A bitmap of the program's resources.
    explicit CBitmap(UINT resourceId);
    // A bitmap compatible with dc.
    CBitmap(HDC dc, int width, int height);
};

class CBrush : public CGdiObject<HBRUSH> {
public:
    CBrush() = default;
    explicit CBrush(COLORREF color);
};

class CRgn : public CGdiObject<HRGN> {
public:
    CRgn() = default;
    explicit CRgn(const RECT& rect);
};

// A memory device context compatible with another (or the screen); the objects selected into it
// are put back before it is deleted.
class CMemDC {
public:
    explicit CMemDC(HDC compatible);
    ~CMemDC();
    CMemDC(const CMemDC&) = delete;
    CMemDC& operator=(const CMemDC&) = delete;

    HDC Get() const { return dc; }
    void Select(HGDIOBJ object);

private:
    HDC dc;
    HGDIOBJ oldBitmap = nullptr;
    HGDIOBJ oldFont = nullptr;
    HGDIOBJ oldBrush = nullptr;
};

// The device context of a window's client area, released with the owner.
class CClientDC {
public:
    explicit CClientDC(HWND window_);
    ~CClientDC();
    CClientDC(const CClientDC&) = delete;
    CClientDC& operator=(const CClientDC&) = delete;

    HDC Get() const { return dc; }

private:
    HWND window;
    HDC dc;
};

} // namespace hml::ui
