#include "audio/encode/CEncoderProcess.h"

#include <windows.h>

namespace hml::audio {

namespace {

std::wstring Wide(const std::string& s) {
    if (s.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

} // namespace

struct CEncoderProcess::SImpl {
    HANDLE process = nullptr;
    HANDLE input = nullptr;

    void CloseInput() {
        if (input)
            CloseHandle(input);
        input = nullptr;
    }
    int Wait() {
        if (!process)
            return -1;
        WaitForSingleObject(process, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process, &code);
        CloseHandle(process);
        process = nullptr;
        return code == 0xFFFFFFFFu ? -1 : static_cast<int>(code);
    }
};

CEncoderProcess::CEncoderProcess(std::unique_ptr<SImpl> i) : impl(std::move(i)) {}

CEncoderProcess::~CEncoderProcess() {
    if (impl->process)
        Kill();
    impl->CloseInput();
}

std::unique_ptr<CEncoderProcess> CEncoderProcess::Start(const std::string& commandLine,
                                                        EError& error, std::string* why) {
    std::wstring line = Wide(commandLine);
    if (line.find_first_not_of(L" \t") == std::wstring::npos) {
        error = EError::IllParam;
        if (why)
            *why = "empty encoder command line";
        return nullptr;
    }
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 1 << 16)) {
        error = EError::Create;
        if (why)
            *why = "cannot make the encoder's input";
        return nullptr;
    }
    SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = readEnd;
    si.hStdOutput = nul;
    si.hStdError = nul;
    PROCESS_INFORMATION pi{};
    const BOOL ok = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                   nullptr, nullptr, &si, &pi);
    const DWORD lastError = GetLastError();
    CloseHandle(readEnd);
    if (nul != INVALID_HANDLE_VALUE)
        CloseHandle(nul);
    if (!ok) {
        CloseHandle(writeEnd);
        error = EError::Create;
        if (why)
            *why = "cannot start the encoder (error " + std::to_string(lastError) + ")";
        return nullptr;
    }
    CloseHandle(pi.hThread);
    auto impl = std::make_unique<SImpl>();
    impl->process = pi.hProcess;
    impl->input = writeEnd;
    error = EError::Ok;
    return std::unique_ptr<CEncoderProcess>(new CEncoderProcess(std::move(impl)));
}

bool CEncoderProcess::Write(const void* bytes, size_t count) {
    const auto* p = static_cast<const uint8_t*>(bytes);
    while (count > 0) {
        if (!impl->input)
            return false;
        DWORD written = 0;
        const DWORD chunk = count > (1u << 20) ? (1u << 20) : static_cast<DWORD>(count);
        if (!WriteFile(impl->input, p, chunk, &written, nullptr))
            return false;
        p += written;
        count -= written;
    }
    return true;
}

bool CEncoderProcess::IsRunning() {
    return impl->process && WaitForSingleObject(impl->process, 0) == WAIT_TIMEOUT;
}

int CEncoderProcess::Stop() {
    impl->CloseInput();
    return impl->Wait();
}

void CEncoderProcess::Kill() {
    impl->CloseInput();
    if (impl->process)
        TerminateProcess(impl->process, 0xFFFFFFFFu);
    impl->Wait();
}

} // namespace hml::audio
