#pragma once
// A tiny HTTP server on 127.0.0.1 for the update check's tests: it answers every request with one
// canned body and records the request texts. One connection at a time; it stops by itself after
// 20 s, so a broken test can never leave it running.

#include <winsock2.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CLocalHttpServer {
public:
    // Not listening, the port refuses connections, yet stays bound so nobody else takes it.
    explicit CLocalHttpServer(std::string body_, bool listening = true) : body(std::move(body_)) {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        if (bind(listener, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port = ntohs(address.sin_port);
            if (listening && listen(listener, 4) == 0) {
                worker = std::thread([this] { Serve(); });
            }
        }
    }
    ~CLocalHttpServer() {
        stop = true;
        if (worker.joinable()) {
            worker.join();
        }
        closesocket(listener);
        WSACleanup();
    }
    CLocalHttpServer(const CLocalHttpServer&) = delete;
    CLocalHttpServer& operator=(const CLocalHttpServer&) = delete;

    bool Started() const { return port != 0; }
    std::wstring Url(const std::wstring& path) const {
        return L"http://127.0.0.1:" + std::to_wstring(port) + path;
    }
    void SetBody(std::string text) {
        std::lock_guard<std::mutex> guard(lock);
        body = std::move(text);
    }
    // While held, requests are read but not answered.
    void Hold(bool on) { held = on; }
    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> guard(lock);
        return requests;
    }

private:
    void Serve() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        auto running = [&] { return !stop && std::chrono::steady_clock::now() < deadline; };
        while (running()) {
            fd_set ready;
            FD_ZERO(&ready);
            FD_SET(listener, &ready);
            timeval wait{0, 20000};
            if (select(0, &ready, nullptr, nullptr, &wait) != 1) {
                continue;
            }
            SOCKET client = accept(listener, nullptr, nullptr);
            DWORD timeout = 2000;
            setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                       sizeof timeout);
            std::string request;
            char chunk[1024];
            for (int got = 1; got > 0 && request.find("\r\n\r\n") == std::string::npos;) {
                got = recv(client, chunk, sizeof chunk, 0);
                request.append(chunk, got > 0 ? static_cast<std::size_t>(got) : 0);
            }
            while (held && running()) {
                Sleep(5);
            }
            std::string response;
            {
                std::lock_guard<std::mutex> guard(lock);
                requests.push_back(request);
                response = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                           "\r\nConnection: close\r\n\r\n" + body;
            }
            send(client, response.data(), static_cast<int>(response.size()), 0);
            shutdown(client, SD_SEND);
            closesocket(client);
        }
    }

    SOCKET listener = INVALID_SOCKET;
    unsigned short port = 0;
    std::atomic<bool> stop{false};
    std::atomic<bool> held{false};
    std::mutex lock;
    std::string body;
    std::vector<std::string> requests;
    std::thread worker;
};
