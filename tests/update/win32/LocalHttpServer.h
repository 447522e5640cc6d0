#pragma once
// A tiny HTTP server on 127.0.0.1 for tests of the update check: it answers every request with
// one canned body and records the request texts. It serves one connection at a time and stops
// by itself after a while, so a broken test can never leave it running.

#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CLocalHttpServer {
public:
    static constexpr auto kLifetime = std::chrono::seconds(20);

    explicit CLocalHttpServer(std::string body_) : body(std::move(body_)) {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        int length = sizeof address;
        if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            listen(listener, 4) == 0 &&
            getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port = ntohs(address.sin_port);
            worker = std::thread([this] { Serve(); });
        }
    }

    ~CLocalHttpServer() {
        {
            std::lock_guard<std::mutex> guard(lock);
            stop = true;
            held = false;
        }
        changed.notify_all();
        if (worker.joinable()) {
            worker.join();
        }
        closesocket(listener);
        WSACleanup();
    }

    CLocalHttpServer(const CLocalHttpServer&) = delete;
    CLocalHttpServer& operator=(const CLocalHttpServer&) = delete;

    bool Started() const { return port != 0; }

    // "http://127.0.0.1:<port><path>".
    std::wstring Url(const std::wstring& path) const {
        return L"http://127.0.0.1:" + std::to_wstring(port) + path;
    }

    void SetBody(std::string text) {
        std::lock_guard<std::mutex> guard(lock);
        body = std::move(text);
    }

    // While held, a request is read and recorded but its answer waits.
    void Hold(bool on) {
        {
            std::lock_guard<std::mutex> guard(lock);
            held = on;
        }
        changed.notify_all();
    }

    // Waits until count requests have arrived; false after timeout.
    bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, timeout, [&] { return requests.size() >= count; });
    }

    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> guard(lock);
        return requests;
    }

private:
    void Serve() {
        const auto deadline = std::chrono::steady_clock::now() + kLifetime;
        while (std::chrono::steady_clock::now() < deadline) {
            {
                std::lock_guard<std::mutex> guard(lock);
                if (stop) {
                    return;
                }
            }
            fd_set ready;
            FD_ZERO(&ready);
            FD_SET(listener, &ready);
            timeval wait{0, 50000};
            if (select(0, &ready, nullptr, nullptr, &wait) != 1) {
                continue;
            }
            SOCKET client = accept(listener, nullptr, nullptr);
            if (client != INVALID_SOCKET) {
                Answer(client, deadline);
                closesocket(client);
            }
        }
    }

    void Answer(SOCKET client, std::chrono::steady_clock::time_point deadline) {
        DWORD timeout = 2000;
        setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                   sizeof timeout);
        std::string request;
        char chunk[1024];
        while (request.find("\r\n\r\n") == std::string::npos) {
            int got = recv(client, chunk, sizeof chunk, 0);
            if (got <= 0) {
                return;
            }
            request.append(chunk, static_cast<std::size_t>(got));
        }
        std::string response;
        {
            std::unique_lock<std::mutex> guard(lock);
            requests.push_back(request);
            changed.notify_all();
            changed.wait_until(guard, deadline, [&] { return !held || stop; });
            response = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                       std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
        }
        send(client, response.data(), static_cast<int>(response.size()), 0);
        shutdown(client, SD_SEND);
    }

    std::string body;
    SOCKET listener = INVALID_SOCKET;
    unsigned short port = 0;
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::string> requests;
    bool held = false;
    bool stop = false;
    std::thread worker;
};

// A port on 127.0.0.1 that refuses connections: bound, so nobody else takes it, but not
// listening.
class CRefusingPort {
public:
    CRefusingPort() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        socketHandle = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        if (bind(socketHandle, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            getsockname(socketHandle, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port = ntohs(address.sin_port);
        }
    }
    ~CRefusingPort() {
        closesocket(socketHandle);
        WSACleanup();
    }
    CRefusingPort(const CRefusingPort&) = delete;
    CRefusingPort& operator=(const CRefusingPort&) = delete;

    bool Started() const { return port != 0; }
    std::wstring Url(const std::wstring& path) const {
        return L"http://127.0.0.1:" + std::to_wstring(port) + path;
    }

private:
    SOCKET socketHandle = INVALID_SOCKET;
    unsigned short port = 0;
};
