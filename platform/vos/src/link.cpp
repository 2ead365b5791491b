#include "link.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vos
{

namespace
{
constexpr int ROUTER_ANSWER_MS = 10000;

// What a port takes as a direct socket: a local stream socket, as the one the
// library offers. Anything else is declined: a file or pipe carries no frames,
// and closing a network socket may wait as long as its peer (who set it up)
// likes, which would hold the port.
bool IsLocalStreamSocket(int fd)
{
    int domain = 0, type = 0;
    socklen_t length = sizeof domain;
    if (::getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &domain, &length) != 0)
        return false;
    length = sizeof type;
    return ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) == 0 && domain == AF_UNIX &&
           type == SOCK_STREAM;
}
} // namespace

OrxLink::~OrxLink()
{
    Close();
}

ULONG OrxLink::Open(USHORT port, const std::string& name)
{
    Close();
    if (name.size() > MAX_PORT_NAME)
        return VOSERR_INVALID_PARAMETER;
    std::string request(2, '\0');
    std::memcpy(request.data(), &port, 2);
    request += name;
    // A router that is ending refuses the request; the next attempt starts a new one.
    ULONG error = VOSERR_ROUTER_NOT_RUNNING;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    do
    {
        int fd = ConnectRouter(error);
        if (fd < 0)
            return error;
        OrxMessage answer;
        m_reader = FrameReader{};
        error = RouterRequest(fd, m_reader, ROUTER_CMD_CONNECT, request.data(), request.size(), answer,
                              ROUTER_ANSWER_MS);
        if (error == VOSERR_NOERROR && answer.Cmd()->length == sizeof(OrxAddr))
        {
            std::lock_guard<std::mutex> lock(m_sendLock);
            std::memcpy(&m_addr, answer.Cmd()->Data(), sizeof m_addr);
            m_fd = fd;
            return VOSERR_NOERROR;
        }
        ::close(fd);
        if (error != VOSERR_ROUTER_NOT_RUNNING)
            return error == VOSERR_NOERROR ? VOSERR_INVALID_MESSAGE : error;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return error;
}

void OrxLink::Shutdown()
{
    // Without the send lock: a sender blocked on a full socket must not delay the shutdown.
    int fd = m_fd;
    if (fd >= 0)
        ::shutdown(fd, SHUT_RDWR);
    // The ports at the other ends of the direct sockets see this one go.
    std::lock_guard<std::mutex> lock(m_peerLock);
    for (auto& [port, peer] : m_peers)
        ::shutdown(peer->fd, SHUT_RDWR);
}

void OrxLink::ClosePeers()
{
    std::lock_guard<std::mutex> lock(m_peerLock);
    for (auto& [port, peer] : m_peers)
        ::close(peer->fd);
    m_peers.clear();
    m_declined.clear();
}

void OrxLink::Close()
{
    {
        std::lock_guard<std::mutex> lock(m_sendLock);
        ClosePeers();
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        m_addr = OrxAddr{};
    }
    m_reader = FrameReader{};
}

bool OrxLink::IsOpen() const
{
    std::lock_guard<std::mutex> lock(m_sendLock);
    return m_fd >= 0;
}

OrxAddr OrxLink::Addr() const
{
    std::lock_guard<std::mutex> lock(m_sendLock);
    return m_addr;
}

// With the send lock held.
bool OrxLink::IsDirectTarget(const OrxAddr& target) const
{
    return target.port != ORX_PORT_ROUTER && target.port != ORX_PORT_EVENTLOG && target.port != m_addr.port &&
           IsLocalNetId(target.netId, m_addr.netId);
}

ULONG OrxLink::Send(const OrxCmd& header, const void* data, size_t length)
{
    if (length > MAX_FRAME - sizeof(OrxCmd))
        return VOSERR_INVALID_SIZE;
    std::lock_guard<std::mutex> lock(m_sendLock);
    if (m_fd < 0)
        return VOSERR_PORT_NOT_CONNECTED;
    OrxCmd h = header;
    h.source = m_addr;
    if (IsDirectTarget(h.target))
    {
        if (m_acceptDirect && !h.IsResponse())
        {
            const USHORT port = h.target.port;
            if (port == m_lastCommandTarget && !m_peers.count(port) && !m_declined.count(port))
                m_offerWanted = port;
            m_lastCommandTarget = port;
        }
        auto it = m_peers.find(h.target.port);
        if (it != m_peers.end() && it->second->sendDirect)
        {
            if (SendFrame(it->second->fd, h, data, length, -1, DirectStallMs))
                return VOSERR_NOERROR;
            // The port has gone, or takes nothing: its socket is ended (the
            // receiving side drops it), and the message takes the router's way,
            // which holds what a port does not take yet. A port that stalled
            // keeps to the router from now on.
            if (errno == ETIMEDOUT)
                m_declined.insert(h.target.port);
            it->second->sendDirect = false;
            it->second->readable = false;
            it->second->broken = true;
            m_broken = true;
            ::shutdown(it->second->fd, SHUT_RDWR);
        }
    }
    return SendFrame(m_fd, h, data, length) ? VOSERR_NOERROR : VOSERR_PORT_NOT_CONNECTED;
}

void OrxLink::SendLink(USHORT port, USHORT cmd, int passFd)
{
    OrxCmd h = MakeHeader(LocalAddr(port), cmd, ORX_STATE_LINK, 0, 0);
    h.source = m_addr;
    SendFrame(m_fd, h, nullptr, 0, passFd);
}

void OrxLink::OfferDirect(const OrxAddr& target)
{
    std::lock_guard<std::mutex> lock(m_sendLock);
    if (m_fd < 0 || !IsDirectTarget(target) || m_peers.count(target.port) || m_declined.count(target.port) ||
        m_peers.size() >= MaxOffered)
        return;
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return;
    SendLink(target.port, LINK_OFFER, pair[1]);
    ::close(pair[1]);
    auto peer = std::make_unique<Peer>();
    peer->fd = pair[0];
    std::lock_guard<std::mutex> peers(m_peerLock);
    m_peers[target.port] = std::move(peer);
}

void OrxLink::HandleLink(const OrxCmd& h)
{
    const USHORT port = h.source.port;
    std::lock_guard<std::mutex> lock(m_sendLock);
    if (m_fd < 0)
        return;
    auto it = m_peers.find(port);
    Peer* peer = it == m_peers.end() ? nullptr : it->second.get();
    switch (h.cmdId)
    {
    case LINK_OFFER:
    {
        const int fd = m_reader.TakeFd();
        if (fd < 0)
            return;
        if (!m_acceptDirect || peer || m_declined.count(port) || m_peers.size() >= MaxAccepted ||
            !IsLocalStreamSocket(fd))
        {
            ::close(fd);
            SendLink(port, LINK_DECLINE);
            return;
        }
        auto accepted = std::make_unique<Peer>();
        accepted->fd = fd;
        // From the accept on, what goes to the port takes its socket.
        accepted->sendDirect = true;
        {
            std::lock_guard<std::mutex> peers(m_peerLock);
            m_peers[port] = std::move(accepted);
        }
        SendLink(port, LINK_ACCEPT);
        return;
    }
    case LINK_ACCEPT:
        if (!peer || peer->sendDirect)
            return;
        // What was sent through the router goes before the switch.
        SendLink(port, LINK_SWITCHED);
        peer->sendDirect = true;
        peer->readable = true;
        return;
    case LINK_SWITCHED:
        if (peer)
            peer->readable = true;
        return;
    case LINK_DECLINE:
        if (peer && !peer->sendDirect)
        {
            std::lock_guard<std::mutex> peers(m_peerLock);
            ::close(peer->fd);
            m_peers.erase(it);
        }
        m_declined.insert(port);
        return;
    default:
        return;
    }
}

void OrxLink::DropPeer(USHORT port)
{
    std::lock_guard<std::mutex> lock(m_sendLock);
    std::lock_guard<std::mutex> peers(m_peerLock);
    auto it = m_peers.find(port);
    if (it == m_peers.end())
        return;
    ::close(it->second->fd);
    m_peers.erase(it);
}

void OrxLink::DropBroken()
{
    std::lock_guard<std::mutex> lock(m_sendLock);
    std::lock_guard<std::mutex> peers(m_peerLock);
    for (auto it = m_peers.begin(); it != m_peers.end();)
    {
        if (it->second->broken)
        {
            ::close(it->second->fd);
            it = m_peers.erase(it);
        }
        else
            ++it;
    }
}

// Only the receiving thread changes the map, so it reads it without a lock.
OrxLink::Peer* OrxLink::ReadablePeer(USHORT port)
{
    auto it = m_peers.find(port);
    return it != m_peers.end() && it->second->readable ? it->second.get() : nullptr;
}

void OrxLink::Stamp(OrxMessage& msg, USHORT peerPort) const
{
    // As the router does: the sender's address is the receiver's to give.
    OrxCmd* h = msg.Cmd();
    h->source.netId = m_addr.netId;
    h->source.port = peerPort;
}

bool OrxLink::PeerFrame(OrxMessage& msg)
{
    for (auto it = m_peers.begin(); it != m_peers.end();)
    {
        Peer& peer = *it->second;
        const USHORT port = it->first;
        ++it;
        if (!peer.readable)
            continue;
        bool bad = false;
        while (peer.reader.Next(msg, bad))
        {
            if (IsLinkMessage(*msg.Cmd()))
                continue;
            Stamp(msg, port);
            return true;
        }
        if (bad)
            DropPeer(port);
    }
    return false;
}

int OrxLink::WaitAll(OrxMessage& msg, int waitMs)
{
    std::vector<pollfd> fds{{m_fd, POLLIN, 0}};
    std::vector<USHORT> ports{0};
    // A socket not switched on yet is watched for its end only: a client killed between
    // its offer and the switch would otherwise hold it here for good.
    for (auto& [port, peer] : m_peers)
    {
        fds.push_back({peer->fd, static_cast<short>(peer->readable ? POLLIN : 0), 0});
        ports.push_back(port);
    }
    int n = ::poll(fds.data(), fds.size(), waitMs);
    if (n < 0 && errno != EINTR)
        return -1;
    if (n <= 0)
        return 0;
    if (fds[0].revents && m_reader.Fill(m_fd) == FrameReader::Fill_::Closed)
        return -1;
    for (size_t i = 1; i < fds.size(); ++i)
    {
        if (!fds[i].revents)
            continue;
        auto it = m_peers.find(ports[i]);
        if (it == m_peers.end())
            continue;
        if (!it->second->readable)
        {
            DropPeer(ports[i]);
            continue;
        }
        // The socket came from the other side, which may still hold it and have
        // set it to block, or to wait for more than comes: never wait on it here.
        if (it->second->reader.Fill(it->second->fd, false) == FrameReader::Fill_::Closed)
            DropPeer(ports[i]);
    }
    (void)msg;
    return 0;
}

int OrxLink::Receive(OrxMessage& msg, int timeoutMs, USHORT awaited)
{
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    auto left = [&]
    {
        if (timeoutMs < 0)
            return -1;
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        return ms <= 0 ? 0 : static_cast<int>(ms);
    };
    for (;;)
    {
        if (m_broken.exchange(false))
            DropBroken();
        if (const USHORT port = m_offerWanted.exchange(0))
            OfferDirect(LocalAddr(port));
        bool bad = false;
        // The awaited answer comes on the port's own socket once there is one.
        if (Peer* direct = awaited ? ReadablePeer(awaited) : nullptr)
        {
            if (direct->reader.Next(msg, bad))
            {
                if (IsLinkMessage(*msg.Cmd()))
                    continue;
                Stamp(msg, awaited);
                return 1;
            }
            const int wait = left();
            if (bad || wait == 0)
            {
                if (bad)
                    DropPeer(awaited);
                return bad ? -2 : 0;
            }
            // A blocking read, its time-out on the socket: no poll before it.
            if (direct->reader.FillWithin(direct->fd, wait) == FrameReader::Fill_::Closed)
            {
                DropPeer(awaited);
                return -2;
            }
            continue;
        }
        if (m_reader.Next(msg, bad))
        {
            if (IsLinkMessage(*msg.Cmd()))
            {
                HandleLink(*msg.Cmd());
                continue;
            }
            return 1;
        }
        if (bad || m_fd < 0)
            return -1;
        if (!awaited && PeerFrame(msg))
            return 1;
        const int wait = left();
        if (wait == 0)
            return 0;
        if (awaited || m_peers.empty())
        {
            if (m_reader.FillWithin(m_fd, wait) == FrameReader::Fill_::Closed)
                return -1;
        }
        else if (WaitAll(msg, wait) < 0)
            return -1;
    }
}

ULONG ResolvePortName(const std::string& name, OrxAddr& addr)
{
    if (name.empty() || name.size() > MAX_PORT_NAME)
        return VOSERR_INVALID_PARAMETER;
    ULONG error = VOSERR_NOERROR;
    int fd = ConnectRouter(error);
    if (fd < 0)
        return error;
    OrxMessage answer;
    FrameReader reader;
    error = RouterRequest(fd, reader, ROUTER_CMD_RESOLVE, name.data(), name.size(), answer, ROUTER_ANSWER_MS);
    ::close(fd);
    if (error == VOSERR_NOERROR)
    {
        if (answer.Cmd()->length != sizeof(OrxAddr))
            return VOSERR_INVALID_MESSAGE;
        std::memcpy(&addr, answer.Cmd()->Data(), sizeof addr);
    }
    return error;
}

} // namespace vos
