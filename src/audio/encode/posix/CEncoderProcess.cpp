#include "audio/encode/CEncoderProcess.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace hml::audio {

// The input is a socket rather than a pipe: send() with MSG_NOSIGNAL reports a reader that
// went away as an error instead of a SIGPIPE that would end the whole program.
struct CEncoderProcess::SImpl {
    pid_t pid = -1;
    int input = -1;
    bool exited = false;
    int status = 0;

    void CloseInput() {
        if (input >= 0)
            close(input);
        input = -1;
    }
    int Wait() {
        while (!exited) {
            const pid_t r = waitpid(pid, &status, 0);
            if (r == pid || (r < 0 && errno != EINTR))
                exited = true;
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

CEncoderProcess::CEncoderProcess(std::unique_ptr<SImpl> i) : impl(std::move(i)) {}

CEncoderProcess::~CEncoderProcess() {
    if (!impl->exited)
        Kill();
    impl->CloseInput();
}

std::unique_ptr<CEncoderProcess> CEncoderProcess::Start(const std::string& commandLine,
                                                        EError& error, std::string* why) {
    const std::vector<std::string> words = SplitCommandLine(commandLine);
    if (words.empty()) {
        error = EError::IllParam;
        if (why)
            *why = "empty encoder command line";
        return nullptr;
    }
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
        error = EError::Create;
        if (why)
            *why = std::string("cannot make the encoder's input: ") + std::strerror(errno);
        return nullptr;
    }
    shutdown(fds[0], SHUT_RD);
    std::vector<char*> argv;
    for (const std::string& w : words)
        argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        error = EError::Create;
        if (why)
            *why = "cannot start " + words[0] + ": " + std::strerror(rc);
        return nullptr;
    }
    auto impl = std::make_unique<SImpl>();
    impl->pid = pid;
    impl->input = fds[0];
    error = EError::Ok;
    return std::unique_ptr<CEncoderProcess>(new CEncoderProcess(std::move(impl)));
}

bool CEncoderProcess::Write(const void* bytes, size_t count) {
    const auto* p = static_cast<const uint8_t*>(bytes);
    while (count > 0) {
        if (impl->input < 0)
            return false;
        const ssize_t n = send(impl->input, p, count, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        count -= static_cast<size_t>(n);
    }
    return true;
}

bool CEncoderProcess::IsRunning() {
    if (impl->exited)
        return false;
    const pid_t r = waitpid(impl->pid, &impl->status, WNOHANG);
    if (r == impl->pid || r < 0)
        impl->exited = true;
    return !impl->exited;
}

int CEncoderProcess::Stop() {
    impl->CloseInput();
    return impl->Wait();
}

void CEncoderProcess::Kill() {
    impl->CloseInput();
    if (!impl->exited)
        kill(impl->pid, SIGKILL);
    impl->Wait();
}

} // namespace hml::audio
