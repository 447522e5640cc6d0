#pragma once
// Catches the message boxes the code under test shows on this thread: records caption and text
// and answers with a chosen button, so a test can check a message without anyone clicking.

#include <windows.h>

#include <string>
#include <vector>

class CMessageBoxCatcher {
public:
    struct Box {
        std::wstring caption;
        std::wstring text;
    };

    explicit CMessageBoxCatcher(int answer_ = IDOK) : answer(answer_) {
        current = this;
        hook = SetWindowsHookExW(WH_CBT, &CMessageBoxCatcher::Hook, nullptr, GetCurrentThreadId());
    }
    ~CMessageBoxCatcher() {
        UnhookWindowsHookEx(hook);
        current = nullptr;
    }
    CMessageBoxCatcher(const CMessageBoxCatcher&) = delete;
    CMessageBoxCatcher& operator=(const CMessageBoxCatcher&) = delete;

    std::vector<Box> boxes;

private:
    static std::wstring TextOf(HWND window) {
        wchar_t text[4096] = {};
        GetWindowTextW(window, text, 4096);
        return text;
    }

    // The message is the longest static text of the box (the icon is a static without text).
    static BOOL CALLBACK FindText(HWND child, LPARAM param) {
        wchar_t className[32] = {};
        GetClassNameW(child, className, 32);
        auto* best = reinterpret_cast<std::wstring*>(param);
        std::wstring text = TextOf(child);
        if (lstrcmpiW(className, L"Static") == 0 && text.size() > best->size()) {
            *best = text;
        }
        return TRUE;
    }

    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HCBT_ACTIVATE && current) {
            HWND box = reinterpret_cast<HWND>(wParam);
            wchar_t className[32] = {};
            GetClassNameW(box, className, 32);
            if (lstrcmpW(className, L"#32770") == 0) {
                Box seen{TextOf(box), {}};
                EnumChildWindows(box, &CMessageBoxCatcher::FindText,
                                 reinterpret_cast<LPARAM>(&seen.text));
                current->boxes.push_back(seen);
                PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(current->answer), 0);
            }
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    static inline CMessageBoxCatcher* current = nullptr;
    HHOOK hook = nullptr;
    int answer;
};
