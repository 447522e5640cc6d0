#include "update/win32/UpdateChecker.h"

#include "config/Settings.h"
#include "update/UpdateSchedule.h"

#include <windows.h>

#include <process.h>
#include <wininet.h>

#include <utility>

namespace hml::update {

using namespace hml::config;

CUpdateChecker* updateChecker = nullptr;

namespace {

// Always a fresh answer: neither a cached copy nor one a proxy kept.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_TRANSFER_ASCII;
static_assert(kRequestFlags == 0x84000101);

// Closes a WinINet handle when the check leaves, whichever way.
class CInternetHandle {
public:
    explicit CInternetHandle(HINTERNET handle_) : handle(handle_) {}
    ~CInternetHandle() {
        if (handle) {
            InternetCloseHandle(handle);
        }
    }
    CInternetHandle(const CInternetHandle&) = delete;
    CInternetHandle& operator=(const CInternetHandle&) = delete;
    HINTERNET Get() const { return handle; }
    explicit operator bool() const { return handle != nullptr; }

private:
    HINTERNET handle;
};

std::wstring LastResponseText() {
    wchar_t text[1000] = {};
    DWORD error = 0;
    DWORD length = 1000;
    if (!InternetGetLastResponseInfoW(&error, text, &length)) {
        return {};
    }
    return std::wstring(text, length < 1000 ? length : 999);
}

} // namespace

CUpdateChecker::CUpdateChecker(std::wstring endpoint_, std::wstring softwareId_,
                               const std::wstring& currentVersion_)
    : endpoint(std::move(endpoint_)), softwareId(std::move(softwareId_)),
      currentVersion(ProductVersion::Parse(currentVersion_)) {}

CUpdateChecker::~CUpdateChecker() {
    std::lock_guard<std::mutex> guard(lock);
    if (workerThread) {
        TerminateThread(workerThread, 0);
        WaitForSingleObject(workerThread, INFINITE);
        CloseHandle(workerThread);
        workerThread = nullptr;
    }
}

bool CUpdateChecker::StartCheck(ResultCallback callback_) {
    std::lock_guard<std::mutex> guard(lock);
    if (workerThread) {
        return false;
    }
    // Suspended until the handle and the callback are in place: the worker uses both.
    auto thread = reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, &CUpdateChecker::WorkerMain, this, CREATE_SUSPENDED, nullptr));
    if (!thread) {
        return false;
    }
    callback = std::move(callback_);
    workerThread = thread;
    ResumeThread(thread);
    return true;
}

unsigned __stdcall CUpdateChecker::WorkerMain(void* self) {
    auto& checker = *static_cast<CUpdateChecker*>(self);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_IDLE);
    CheckResult result = checker.Check();
    ResultCallback report;
    {
        std::lock_guard<std::mutex> guard(checker.lock);
        report = checker.callback;
    }
    if (report) {
        report(result);
    }
    std::lock_guard<std::mutex> guard(checker.lock);
    CloseHandle(checker.workerThread);
    checker.workerThread = nullptr;
    return 0;
}

CUpdateChecker::CheckResult CUpdateChecker::Check() {
    if (!settings) {
        return CheckResult::CheckFailed;
    }
    CInternetHandle internet(
        InternetOpenW(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!internet) {
        return CheckResult::CheckFailed;
    }
    const std::wstring url = RequestUrl(endpoint, softwareId, currentVersion);
    char body[kMaxAnswer];
    DWORD received = 0;
    {
        CInternetHandle request(InternetOpenUrlW(internet.Get(), url.c_str(), nullptr,
                                                 static_cast<DWORD>(-1), kRequestFlags, 0));
        if (!request) {
            SetLastErrorText(LastResponseText());
            return CheckResult::CheckFailed;
        }
        SetLastErrorText({});
        // One read: the answer is two short lines, and a service that sends more is not waited on.
        if (!InternetReadFile(request.Get(), body, kMaxAnswer, &received)) {
            return CheckResult::CheckFailed;
        }
    }
    return StoreAnswer(*settings, std::string_view(body, received), currentVersion,
                       DateText(LocalNow()));
}

bool CUpdateChecker::IsChecking() const {
    std::lock_guard<std::mutex> guard(lock);
    return workerThread != nullptr;
}

std::wstring CUpdateChecker::LastErrorText() const {
    std::lock_guard<std::mutex> guard(lock);
    return lastErrorText;
}

void CUpdateChecker::SetLastErrorText(std::wstring text) {
    std::lock_guard<std::mutex> guard(lock);
    lastErrorText = std::move(text);
}

} // namespace hml::update
