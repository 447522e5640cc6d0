#include "midiclient/ShmClient.h"

#include "synth/Ring.h"

using namespace hml::synth;

CShmClient::CShmClient() : clientId(GetCurrentProcessId()) {}

CShmClient::~CShmClient() {
    writer.reset();
}

bool CShmClient::Connect() {
    if (!channel.Connect()) {
        return false;
    }
    writer = std::make_unique<hml::driver::CShmWriter>(channel.Region(), channel);
    writer->SetSignalEvery(signalEvery);
    return true;
}

void CShmClient::ShortMsg(std::uint32_t port, std::uint32_t message) {
    Send(port, kShortMsg, message);
}

void CShmClient::SysEx(std::uint32_t port, const std::vector<std::uint8_t>& bytes) {
    if (writer) {
        writer->SendSysEx(port, clientId, bytes.data(), bytes.size());
    }
}

bool CShmClient::Send(std::uint32_t port, std::uint32_t command, std::uint32_t param1,
                      std::uint32_t param2, const std::uint8_t* data, std::uint32_t length) {
    return writer &&
           writer->Send(MakeRecord(port, clientId, command, param1, param2, data, length));
}

void CShmClient::SetSignalEvery(std::uint32_t n) {
    signalEvery = n ? n : 1;
    if (writer) {
        writer->SetSignalEvery(signalEvery);
    }
}

void CShmClient::Flush() {
    if (writer) {
        writer->Flush();
    }
}

bool CShmClient::HoldWriteLock() {
    return channel.Connected() &&
           channel.Lock(hml::driver::kLockWaitMs) != hml::driver::ELock::TimedOut;
}
