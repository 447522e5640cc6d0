#pragma once
// The part of the IPC server that needs no Windows objects: what each record does to the ports'
// client tables, the watchdog's pass, and the status report. Table changes and walks run under
// the ports' table lock; a record's handler runs under its connection's own lock only, so a
// connection the watchdog removed is never touched again, and one slow connection does not hold
// back the others' table work.

#include "synth/IpcPorts.h"
#include "synth/ShmLayout.h"

#include <functional>
#include <mutex>
#include <string>

namespace hml::synth {

class CIpcSession {
public:
    enum class Outcome { kNone, kOpened, kClosed };

    explicit CIpcSession(IIpcPorts& ports_) : ports(ports_) {}

    // Acts on one record. kOpened: a new connection exists; kClosed: one was removed.
    Outcome HandleRecord(const MidiRecord& record);

    // Drops every connection that sent nothing since the previous pass; returns how many.
    // Skipped, counters untouched, when `serverWasBlocked` says the listen thread could not
    // read records for a while (asked once the table lock is held).
    std::size_t WatchdogPass(const std::function<bool()>& serverWasBlocked = {});

    bool AnyConnection();

    // "=== Harmolith #1 ===" and one "* path (#pid)" line per client, for every port in use
    // (and every free port when asked), with each stream's figures when asked.
    void GetStatusText(std::wstring& text, bool includeFreePorts, bool includeStats);

private:
    IIpcPorts& ports;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> deadConnections; // (port, client)
};

} // namespace hml::synth
