#include "synth/IpcSession.h"

#include "config/ProfileText.h"

#include <cstdio>

namespace hml::synth {

using namespace hml::config;

CIpcSession::Outcome CIpcSession::HandleRecord(const MidiRecord& record) {
    std::unique_lock<std::recursive_mutex> table(ports.TableLock());
    if (record.port >= ports.PortCount()) {
        return Outcome::kNone;
    }
    IIpcConnection* connection = ports.FindConnection(record.port, record.clientId);
    if (!connection) {
        if (record.command != kOpen) {
            return Outcome::kNone;
        }
        connection = ports.CreateConnection(record.port, record.clientId);
        if (!connection) {
            return Outcome::kNone;
        }
        connection->activity.fetch_add(1, std::memory_order_relaxed);
        return Outcome::kOpened;
    }
    connection->activity.fetch_add(1, std::memory_order_relaxed);
    if (record.command == kClose) {
        ports.RemoveConnection(record.port, record.clientId);
        return Outcome::kClosed;
    }
    std::lock_guard<std::mutex> use(connection->inUse);
    table.unlock();
    switch (record.command) {
    case kReset:
        connection->OnReset();
        break;
    case kNotesOff:
        connection->OnNotesOff();
        break;
    case kShortMsg:
        connection->OnShortMessage(record.param1, record.param2);
        break;
    case kLongMsg:
        connection->OnLongMessage(record.param1, record.param2, record.data,
                                  record.length < kMaxChunkBytes ? record.length : kMaxChunkBytes);
        break;
    default:
        break; // a sign of life and nothing more
    }
    return Outcome::kNone;
}

std::size_t CIpcSession::WatchdogPass(const std::function<bool()>& serverWasBlocked) {
    std::lock_guard<std::recursive_mutex> guard(ports.TableLock());
    if (serverWasBlocked && serverWasBlocked()) {
        // Records may wait unread in the ring: silence now proves nothing.
        return 0;
    }
    const std::uint32_t portCount = ports.PortCount();
    for (std::uint32_t port = 0; port < portCount; ++port) {
        for (auto& [clientId, connection] : ports.Connections(port)) {
            if (connection->activity.exchange(0, std::memory_order_relaxed) == 0) {
                deadConnections.emplace_back(port, clientId);
            }
        }
    }
    const std::size_t removed = deadConnections.size();
    for (auto [port, clientId] : deadConnections) {
        ports.RemoveConnection(port, clientId);
    }
    deadConnections.clear();
    return removed;
}

bool CIpcSession::AnyConnection() {
    std::lock_guard<std::recursive_mutex> guard(ports.TableLock());
    const std::uint32_t portCount = ports.PortCount();
    for (std::uint32_t port = 0; port < portCount; ++port) {
        if (!ports.Connections(port).empty()) {
            return true;
        }
    }
    return false;
}

void CIpcSession::GetStatusText(std::wstring& text, bool includeFreePorts, bool includeStats) {
    std::lock_guard<std::recursive_mutex> guard(ports.TableLock());
    const std::uint32_t portCount = ports.PortCount();
    for (std::uint32_t port = 0; port < portCount; ++port) {
        auto connections = ports.Connections(port);
        if (connections.empty() && !includeFreePorts) {
            continue;
        }
        text += L"=== " + config::PortDisplayName(port) + L" ===\r\n";
        if (connections.empty()) {
            text += L"* <free>\r\n";
        }
        for (auto& [clientId, connection] : connections) {
            text +=
                L"* " + connection->ModulePath() + L" (#" + std::to_wstring(clientId) + L")\r\n";
            if (includeStats) {
                const IIpcConnection::Stats stats = connection->GetStats();
                wchar_t line[128];
                std::swprintf(
                    line, sizeof line / sizeof line[0],
                    L"  voices: %3lu, rendering time%%: %2lu%%, update rate (ms): %2lu\r\n",
                    static_cast<unsigned long>(stats.voices),
                    static_cast<unsigned long>(stats.renderingPercent),
                    static_cast<unsigned long>(stats.updateMs));
                text += line;
            }
        }
    }
}

} // namespace hml::synth
