// One connection to the router that holds one port, and the direct sockets
// to the ports it talks to most (see LINK_OFFER in wire.h).
#pragma once

#include "wire.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace vos
{

class OrxLink
{
public:
    // acceptDirect: the link takes the direct sockets other ports offer it
    // (a port whose receive thread reads whatever comes).
    explicit OrxLink(bool acceptDirect = false) : m_acceptDirect(acceptDirect) {}
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

    // Sends one message from this port, directly where a direct socket to the
    // target is switched on; the header's source is filled in.
    ULONG Send(const OrxCmd& header, const void* data, size_t length);
    // 1: a message arrived; 0: time-out; -1: the connection has ended; -2: the
    // direct socket to the awaited port has ended (the port has gone).
    // timeoutMs < 0 waits without limit. awaited (a port; 0 none): the answer
    // awaited comes from that port, and only its direct socket is read once
    // there is one; without it every socket is read.
    int Receive(OrxMessage& msg, int timeoutMs, USHORT awaited = 0);
    // Offers the target port a direct socket, once per port; nothing for a
    // port of another device, the router's own ports or one that declined.
    // Only the receiving thread offers (a port's receive thread offers for its
    // senders, see Send).
    void OfferDirect(const OrxAddr& target);

private:
    struct Peer
    {
        int fd = -1;
        FrameReader reader;
        bool sendDirect = false;           // this side's sends to the port take the socket (send lock)
        std::atomic<bool> readable{false}; // the other side's sends may come on it
        std::atomic<bool> broken{false};   // a send failed: the receiving thread drops it
    };
    // A direct send waits this long at most for a port that takes nothing (it
    // may be stopped, or busy in a dispatch): the router holds for it after that.
    static constexpr int DirectStallMs = 5000;
    static constexpr size_t MaxOffered = 16;
    static constexpr size_t MaxAccepted = 64;

    bool IsDirectTarget(const OrxAddr& target) const;
    // A link message from the router.
    void HandleLink(const OrxCmd& h);
    void SendLink(USHORT port, USHORT cmd, int passFd = -1);
    void DropPeer(USHORT port);
    void DropBroken();
    Peer* ReadablePeer(USHORT port);
    // A frame already read from a peer the other side has switched on.
    bool PeerFrame(OrxMessage& msg);
    // Waits for the router's socket and the peers' at once; a peer not switched on yet for its end only.
    int WaitAll(OrxMessage& msg, int waitMs);
    void Stamp(OrxMessage& msg, USHORT peerPort) const;
    void ClosePeers();

    const bool m_acceptDirect;
    std::atomic<int> m_fd{-1};
    OrxAddr m_addr{};
    // m_fd and m_addr against concurrent senders; taken before m_peerLock.
    mutable std::mutex m_sendLock;
    FrameReader m_reader;
    // The peer map's shape: changed (by the receiving thread) under both
    // locks; read by senders under the send lock, by Shutdown under this one.
    std::mutex m_peerLock;
    std::map<USHORT, std::unique_ptr<Peer>> m_peers;
    // Ports that keep to the router: they declined an offer, or stalled a direct send.
    std::set<USHORT> m_declined;
    std::atomic<bool> m_broken{false}; // some peer is broken
    // A port's own commands to one port twice in a row ask for a direct
    // socket to it, which the receiving thread offers (send lock: the target).
    USHORT m_lastCommandTarget = 0;
    std::atomic<USHORT> m_offerWanted{0};
};

// Asks the router which port holds a name.
ULONG ResolvePortName(const std::string& name, OrxAddr& addr);

} // namespace vos
