// One connection to the router that holds one port.
#pragma once

#include "wire.h"

#include <atomic>
#include <mutex>
#include <string>

namespace vos
{

class OrxLink
{
public:
    OrxLink() = default;
    ~OrxLink();
    OrxLink(const OrxLink&) = delete;
    OrxLink& operator=(const OrxLink&) = delete;

    // Connects to the router (starting it when needed) and opens the port
    // (0 = any free port) under the given name (empty = none).
    ULONG Open(USHORT port, const std::string& name);
    // Ends the connection for the router and wakes a thread blocked in Receive;
    // the descriptor stays valid until Close.
    void Shutdown();
    void Close();
    bool IsOpen() const;
    OrxAddr Addr() const;

    // Sends one message from this port; the header's source is filled in.
    ULONG Send(const OrxCmd& header, const void* data, size_t length);
    // 1: a message arrived; 0: time-out; -1: the connection has ended. timeoutMs < 0 waits without limit.
    int Receive(OrxMessage& msg, int timeoutMs);

private:
    std::atomic<int> m_fd{-1};
    OrxAddr m_addr{};
    mutable std::mutex m_sendLock; // m_fd and m_addr against concurrent senders
    FrameReader m_reader;
};

// Asks the router which port holds a name.
ULONG ResolvePortName(const std::string& name, OrxAddr& addr);

} // namespace vos
