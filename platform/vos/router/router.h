// The router: holds the port table of the device and carries messages between
// the ports of all processes. One thread, one poll loop.
#pragma once

#include "../src/wire.h"
#include "eventlog.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>

namespace vos
{

class Router
{
public:
    Router(int listenFd, const OrxNetId& localNetId, int idleExitSeconds);
    // Runs until a shutdown command arrives or, with an idle limit, until no
    // connection has been open for that long.
    void Run();

private:
    struct Connection
    {
        int fd = -1;
        USHORT port = 0; // 0 until the connection has opened a port
        std::string name;
        FrameReader reader;
        std::vector<BYTE> out; // whole frames not yet taken by the socket
        size_t outSent = 0;    // bytes of the first frame in out the socket has taken already
        // Descriptors that go with frames in out: the frame's position counted
        // from the first byte ever queued (outBase is that count of out[0]).
        std::deque<std::pair<std::uint64_t, int>> outFds;
        std::uint64_t outBase = 0;
        bool peerGone = false; // the socket takes nothing more; what the peer sent is still read
        bool closing = false;
    };

    void Accept();
    void ReadFrom(Connection& c, int maxChunks = 16);
    void Handle(Connection& c, OrxMessage& msg);
    void HandleRouterCommand(Connection& c, OrxMessage& msg);
    void Connect(Connection& c, OrxMessage& msg);
    void Resolve(Connection& c, OrxMessage& msg);
    // passFd (owned by the router until sent) travels with the frame.
    void Deliver(Connection& to, const OrxMessage& msg, int passFd = -1);
    // A port's offer of a direct socket to another port goes on with the socket.
    void PassOffer(Connection& c, const OrxMessage& msg);
    void Answer(Connection& c, const OrxCmd& request, ULONG error, const void* data = nullptr,
                size_t length = 0);
    void Flush(Connection& c);
    // Ends a connection; the requests it never took are answered for the port that is gone.
    void Drop(Connection& c);
    // A port about to be taken may still belong to a connection whose end is
    // already queued; take that end first so a quick reconnect succeeds.
    void SettleHolder(USHORT port);
    Connection* Holder(USHORT port);
    USHORT FreePort();

    int m_listen;
    OrxNetId m_local;
    int m_idleExit;
    bool m_stop = false;
    std::map<int, std::unique_ptr<Connection>> m_conns; // by fd
    std::map<USHORT, Connection*> m_ports;
    std::map<std::string, Connection*> m_names;
    USHORT m_nextDynamic = ORX_PORT_DYNAMIC_FIRST;
    EventLog m_log;
};

} // namespace vos
