#pragma once
// Asks the maker's update service whether a newer release exists. One check at a time runs on
// an idle-priority worker thread; what it learns is stored in section "Update" of the
// configuration (through the global settings) and survives restarts.

#include "update/ProductVersion.h"
#include "update/UpdateAnswer.h"

#include <functional>
#include <mutex>
#include <string>

namespace hml::update {

class CUpdateChecker {
public:
    using CheckResult = CheckResult;
    // Runs on the worker thread; callers hand the result to their windows with window messages.
    using ResultCallback = std::function<void(CheckResult)>;

    static constexpr const wchar_t* kDefaultEndpoint = L"https://update.tarnwick.com/check";
    static constexpr const wchar_t* kSoftwareId = L"harmolith2";
    static constexpr const wchar_t* kProgramVersion = L"2.9.1.0";
    static constexpr const wchar_t* kAgent = L"Tarnwick Web Updater";
    // The most one check reads of the answer; the rest is ignored.
    static constexpr unsigned long kMaxAnswer = 1023;

    CUpdateChecker(std::wstring endpoint = kDefaultEndpoint, std::wstring softwareId = kSoftwareId,
                   const std::wstring& currentVersion = kProgramVersion);
    // A check still running is ended forcibly: the process is going away and the request may
    // hang on the network for a long time.
    ~CUpdateChecker();
    CUpdateChecker(const CUpdateChecker&) = delete;
    CUpdateChecker& operator=(const CUpdateChecker&) = delete;

    // Starts a check on the worker thread, which calls callback with the result. Returns false
    // and changes nothing while a check runs.
    bool StartCheck(ResultCallback callback);

    // One check on the calling thread: request, answer, stored values, result.
    CheckResult Check();

    // True from StartCheck until the worker has called back and finished.
    bool IsChecking() const;

    // What the internet layer said about the last failure; empty when it said nothing.
    std::wstring LastErrorText() const;

    const ProductVersion& CurrentVersion() const { return currentVersion; }

private:
    static unsigned __stdcall WorkerMain(void* self);
    void SetLastErrorText(std::wstring text);

    const std::wstring endpoint;
    const std::wstring softwareId;
    const ProductVersion currentVersion;

    mutable std::mutex lock; // guards the fields below against the worker thread
    std::wstring lastErrorText;
    void* workerThread = nullptr;
    ResultCallback callback;
};

// The checker of the process; none before start-up and after clean-up.
extern CUpdateChecker* updateChecker;

} // namespace hml::update
