#pragma once
// Ports whose connections only record what reached them, for tests of the IPC server.

#include "synth/IpcPorts.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

using namespace hml::synth;

class CFakeConnection final : public IIpcConnection {
public:
    void OnReset() override { Log(L"reset"); }
    void OnNotesOff() override { Log(L"notesoff"); }
    void OnShortMessage(std::uint32_t message, std::uint32_t) override {
        std::lock_guard<std::mutex> guard(lock);
        shortMessages.push_back(message);
    }
    void OnLongMessage(std::uint32_t chunk, std::uint32_t count, const std::uint8_t* data,
                       std::uint32_t length) override {
        std::lock_guard<std::mutex> guard(lock);
        chunks.push_back({chunk, count, std::vector<std::uint8_t>(data, data + length)});
    }
    std::wstring ModulePath() override { return L"C:\\Games\\game.exe"; }
    Stats GetStats() override { return {12, 3, 10}; }

    struct Chunk {
        std::uint32_t index, count;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<std::uint32_t> ShortMessages() {
        std::lock_guard<std::mutex> guard(lock);
        return shortMessages;
    }
    std::vector<std::wstring> Calls() {
        std::lock_guard<std::mutex> guard(lock);
        return calls;
    }
    std::vector<Chunk> Chunks() {
        std::lock_guard<std::mutex> guard(lock);
        return chunks;
    }

private:
    void Log(const wchar_t* what) {
        std::lock_guard<std::mutex> guard(lock);
        calls.push_back(what);
    }
    std::mutex lock;
    std::vector<std::uint32_t> shortMessages;
    std::vector<std::wstring> calls;
    std::vector<Chunk> chunks;
};

class CFakePorts final : public IIpcPorts {
public:
    std::uint32_t portCount = 1;

    std::uint32_t PortCount() override { return portCount; }
    IIpcConnection* FindConnection(std::uint32_t port, std::uint32_t clientId) override {
        std::lock_guard<std::mutex> guard(lock);
        auto it = tables[port].find(clientId);
        return it == tables[port].end() ? nullptr : it->second.get();
    }
    IIpcConnection* CreateConnection(std::uint32_t port, std::uint32_t clientId) override {
        std::lock_guard<std::mutex> guard(lock);
        ++created;
        auto& slot = tables[port][clientId];
        slot = std::make_shared<CFakeConnection>();
        return slot.get();
    }
    void RemoveConnection(std::uint32_t port, std::uint32_t clientId) override {
        std::lock_guard<std::mutex> guard(lock);
        // Kept alive for the test to inspect; the server must not use it any more.
        removed.push_back(tables[port][clientId]);
        tables[port].erase(clientId);
    }
    std::vector<std::pair<std::uint32_t, IIpcConnection*>>
    Connections(std::uint32_t port) override {
        std::lock_guard<std::mutex> guard(lock);
        std::vector<std::pair<std::uint32_t, IIpcConnection*>> list;
        for (auto& [id, c] : tables[port]) {
            list.emplace_back(id, c.get());
        }
        return list;
    }

    std::recursive_mutex& TableLock() override { return tableLock; }

    std::shared_ptr<CFakeConnection> Connection(std::uint32_t port, std::uint32_t clientId) {
        std::lock_guard<std::mutex> guard(lock);
        auto it = tables[port].find(clientId);
        return it == tables[port].end() ? nullptr : it->second;
    }
    std::size_t Count(std::uint32_t port) {
        std::lock_guard<std::mutex> guard(lock);
        return tables[port].size();
    }

    int created = 0;
    std::vector<std::shared_ptr<CFakeConnection>> removed;

private:
    std::recursive_mutex tableLock;
    std::mutex lock;
    std::map<std::uint32_t, std::map<std::uint32_t, std::shared_ptr<CFakeConnection>>> tables;
};
