#include "router.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace vos
{

namespace
{
constexpr size_t MAX_PENDING_OUT = 64u * 1024 * 1024; // a port that takes nothing for this long is dropped
// Offers of direct sockets waiting for a port that does not read: each holds a
// descriptor of the router's until sent, so only this many wait per port.
constexpr size_t MAX_PENDING_FDS = 64;
}

Router::Router(int listenFd, const OrxNetId& localNetId, int idleExitSeconds)
    : m_listen(listenFd), m_local(localNetId), m_idleExit(idleExitSeconds), m_log(EventLogPath())
{
}

void Router::Run()
{
    using Clock = std::chrono::steady_clock;
    auto idleSince = Clock::now();
    while (!m_stop)
    {
        std::vector<pollfd> fds;
        fds.push_back({m_listen, POLLIN, 0});
        for (auto& [fd, c] : m_conns)
            fds.push_back(
                {fd, static_cast<short>(POLLIN | (c->out.empty() || c->peerGone ? 0 : POLLOUT)), 0});
        int n = ::poll(fds.data(), fds.size(), 200);
        if (n < 0 && errno != EINTR)
            break;
        if (n > 0)
        {
            for (size_t i = 1; i < fds.size(); ++i)
            {
                auto it = m_conns.find(fds[i].fd);
                if (it == m_conns.end())
                    continue;
                Connection& c = *it->second;
                if (fds[i].revents & POLLOUT)
                    Flush(c);
                if (fds[i].revents & (POLLIN | POLLHUP | POLLERR))
                    ReadFrom(c);
            }
            if (fds[0].revents & POLLIN)
                Accept();
        }
        for (auto it = m_conns.begin(); it != m_conns.end();)
        {
            if (it->second->closing)
            {
                ::close(it->first);
                it = m_conns.erase(it);
            }
            else
                ++it;
        }
        if (!m_conns.empty())
            idleSince = Clock::now();
        else if (m_idleExit > 0 && Clock::now() - idleSince > std::chrono::seconds(m_idleExit))
            break;
    }
    for (auto& [fd, c] : m_conns)
    {
        Flush(*c);
        ::close(fd);
    }
    m_conns.clear();
}

void Router::Accept()
{
    int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return;
    auto c = std::make_unique<Connection>();
    c->fd = fd;
    m_conns[fd] = std::move(c);
}

void Router::ReadFrom(Connection& c, int maxChunks)
{
    for (int i = 0; i < maxChunks && !c.closing; ++i)
    {
        auto filled = c.reader.Fill(c.fd);
        bool bad = false;
        OrxMessage msg; // not a member: a connect reads the port's holder from within Handle
        while (!c.closing && c.reader.Next(msg, bad))
            Handle(c, msg);
        if (bad || filled == FrameReader::Fill_::Closed)
            Drop(c);
        // One read takes what has come; the next poll tells of more.
        if (filled != FrameReader::Fill_::Data || maxChunks < 1 << 20)
            break;
    }
}

void Router::Drop(Connection& c)
{
    if (c.closing)
        return;
    c.closing = true;
    if (c.port)
        m_ports.erase(c.port);
    if (!c.name.empty())
        m_names.erase(c.name);
    c.port = 0;
    for (auto& [at, fd] : c.outFds)
        ::close(fd);
    c.outFds.clear();
    // The port never took these whole: their senders hear that it is gone rather than wait in vain.
    std::vector<BYTE> left;
    left.swap(c.out);
    c.outSent = 0;
    for (size_t at = 0; at + 4 + sizeof(OrxCmd) <= left.size();)
    {
        uint32_t total;
        std::memcpy(&total, left.data() + at, 4);
        OrxCmd h;
        std::memcpy(&h, left.data() + at + 4, sizeof h);
        at += 4 + total;
        if (h.IsResponse() || IsLinkMessage(h))
            continue;
        if (Connection* sender = Holder(h.source.port))
            Answer(*sender, h, VOSERR_TARGET_PORT_NOT_FOUND);
    }
}

Router::Connection* Router::Holder(USHORT port)
{
    auto it = m_ports.find(port);
    return it == m_ports.end() ? nullptr : it->second;
}

void Router::Handle(Connection& c, OrxMessage& msg)
{
    OrxCmd& h = *msg.Cmd();
    if (h.target.port == ORX_PORT_ROUTER)
    {
        HandleRouterCommand(c, msg);
        return;
    }
    if (c.port == 0)
    {
        if (!h.IsResponse())
            Answer(c, h, VOSERR_PORT_NOT_CONNECTED);
        return;
    }
    // The sender's address is the router's to give, not the sender's to claim.
    h.source.netId = m_local;
    h.source.port = c.port;
    if (!IsLocalNetId(h.target.netId, m_local))
    {
        if (!h.IsResponse())
            Answer(c, h, VOSERR_TARGET_NOT_REACHABLE);
        return;
    }
    if (h.target.port == ORX_PORT_EVENTLOG)
    {
        if (h.cmdId == ORX_CMD_REPORTLOG && !h.IsResponse())
        {
            m_log.Write(h.Data(), h.length);
            if (h.stateFlags & ORX_STATE_ANSWER)
                Answer(c, h, VOSERR_NOERROR);
        }
        else if (!h.IsResponse())
            Answer(c, h, VOSERR_SRV_NOT_SUPPORTED);
        return;
    }
    if (IsLinkMessage(h))
    {
        if (h.cmdId == LINK_OFFER)
            PassOffer(c, msg);
        else if (Connection* to = Holder(h.target.port))
            Deliver(*to, msg);
        return;
    }
    Connection* to = Holder(h.target.port);
    if (!to)
    {
        if (!h.IsResponse())
            Answer(c, h, VOSERR_TARGET_PORT_NOT_FOUND);
        return;
    }
    Deliver(*to, msg);
}

void Router::PassOffer(Connection& c, const OrxMessage& msg)
{
    const int fd = c.reader.TakeFd();
    if (fd < 0)
        return;
    Connection* to = Holder(msg.Cmd()->target.port);
    if (!to || to == &c || to->closing || to->outFds.size() >= MAX_PENDING_FDS)
    {
        // Nobody to take it (or the port has not read the offers before): the
        // offerer hears the decline in the port's name, drops its end and keeps
        // the router's way.
        ::close(fd);
        OrxCmd decline = MakeHeader(msg.Cmd()->source, LINK_DECLINE, ORX_STATE_LINK, 0, 0);
        decline.source = msg.Cmd()->target;
        Deliver(c, OrxMessage(decline, nullptr, 0));
        return;
    }
    Deliver(*to, msg, fd);
}

void Router::Answer(Connection& c, const OrxCmd& request, ULONG error, const void* data, size_t length)
{
    OrxCmd h = request;
    h.source = request.target;
    h.target = request.source;
    h.target.port = c.port;
    h.stateFlags = static_cast<USHORT>((request.stateFlags & ~ORX_STATE_ANSWER) | ORX_STATE_RESPONSE);
    h.errorCode = error;
    Deliver(c, OrxMessage(h, data, length));
}

void Router::Deliver(Connection& to, const OrxMessage& msg, int passFd)
{
    if (to.closing)
    {
        if (passFd >= 0)
            ::close(passFd);
        return;
    }
    if (passFd >= 0)
        to.outFds.emplace_back(to.outBase + to.out.size(), passFd);
    uint32_t total = static_cast<uint32_t>(msg.Cmd()->length + sizeof(OrxCmd));
    const BYTE* len = reinterpret_cast<const BYTE*>(&total);
    to.out.insert(to.out.end(), len, len + 4);
    const BYTE* p = reinterpret_cast<const BYTE*>(msg.Cmd());
    to.out.insert(to.out.end(), p, p + total);
    if (to.out.size() > MAX_PENDING_OUT)
    {
        Drop(to);
        return;
    }
    Flush(to);
}

void Router::Flush(Connection& c)
{
    if (c.peerGone)
        return;
    size_t sent = c.outSent;
    while (sent < c.out.size())
    {
        // A descriptor goes with the first byte of its frame, and no send runs past the next one.
        int passFd = -1;
        size_t limit = c.out.size();
        if (!c.outFds.empty())
        {
            auto next = c.outFds.begin();
            if (next->first == c.outBase + sent)
            {
                passFd = next->second;
                ++next;
            }
            if (next != c.outFds.end())
                limit = static_cast<size_t>(next->first - c.outBase);
        }
        iovec part{c.out.data() + sent, limit - sent};
        msghdr m{};
        m.msg_iov = &part;
        m.msg_iovlen = 1;
        FdControl control;
        if (passFd >= 0)
            AttachFd(m, control, passFd);
        ssize_t n = ::sendmsg(c.fd, &m, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0 && passFd >= 0)
        {
            ::close(passFd);
            c.outFds.pop_front();
        }
        if (n > 0)
            sent += static_cast<size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else if (n < 0 && errno == EAGAIN)
            break;
        else
        {
            // The peer has shut its end. What it sent before (answers among it) is still read;
            // its end of file then drops the connection.
            c.peerGone = true;
            break;
        }
    }
    // Only whole frames leave the buffer, so that a dropped connection knows what it never took.
    size_t whole = 0;
    while (whole + 4 <= sent)
    {
        uint32_t total;
        std::memcpy(&total, c.out.data() + whole, 4);
        if (whole + 4 + total > sent)
            break;
        whole += 4 + total;
    }
    c.out.erase(c.out.begin(), c.out.begin() + static_cast<std::ptrdiff_t>(whole));
    c.outBase += whole;
    c.outSent = sent - whole;
}

void Router::HandleRouterCommand(Connection& c, OrxMessage& msg)
{
    OrxCmd& h = *msg.Cmd();
    if (h.IsResponse())
        return;
    switch (h.cmdId)
    {
    case ROUTER_CMD_CONNECT:
        Connect(c, msg);
        break;
    case ROUTER_CMD_RESOLVE:
        Resolve(c, msg);
        break;
    case ROUTER_CMD_SHUTDOWN:
        Answer(c, h, VOSERR_NOERROR);
        m_stop = true;
        break;
    default:
        Answer(c, h, VOSERR_SRV_NOT_SUPPORTED);
        break;
    }
}

void Router::SettleHolder(USHORT port)
{
    if (Connection* holder = Holder(port))
        ReadFrom(*holder, 1 << 20);
}

USHORT Router::FreePort()
{
    const unsigned range = 0x10000u - ORX_PORT_DYNAMIC_FIRST;
    for (unsigned i = 0; i < range; ++i)
    {
        USHORT p = m_nextDynamic;
        m_nextDynamic = static_cast<USHORT>(p == 0xFFFF ? ORX_PORT_DYNAMIC_FIRST : p + 1);
        if (!Holder(p))
            return p;
    }
    return 0;
}

void Router::Connect(Connection& c, OrxMessage& msg)
{
    OrxCmd& h = *msg.Cmd();
    if (c.port != 0 || h.length < 2 || h.length - 2 > MAX_PORT_NAME)
    {
        Answer(c, h, VOSERR_INVALID_PARAMETER);
        return;
    }
    USHORT wanted;
    std::memcpy(&wanted, h.Data(), 2);
    std::string name(reinterpret_cast<const char*>(h.Data() + 2), h.length - 2);
    if (wanted == ORX_PORT_EVENTLOG)
    {
        Answer(c, h, VOSERR_PORT_IN_USE);
        return;
    }
    if (wanted != 0)
        SettleHolder(wanted);
    if (!name.empty())
    {
        auto it = m_names.find(name);
        if (it != m_names.end() && it->second->port)
            SettleHolder(it->second->port);
    }
    if ((wanted != 0 && Holder(wanted)) || (!name.empty() && m_names.count(name)))
    {
        Answer(c, h, VOSERR_PORT_IN_USE);
        return;
    }
    USHORT port = wanted ? wanted : FreePort();
    if (port == 0)
    {
        Answer(c, h, VOSERR_NO_FREE_PORT);
        return;
    }
    c.port = port;
    c.name = name;
    m_ports[port] = &c;
    if (!name.empty())
        m_names[name] = &c;
    OrxAddr addr{m_local, port};
    Answer(c, h, VOSERR_NOERROR, &addr, sizeof addr);
}

void Router::Resolve(Connection& c, OrxMessage& msg)
{
    OrxCmd& h = *msg.Cmd();
    std::string name(reinterpret_cast<const char*>(h.Data()), h.length);
    auto it = m_names.find(name);
    if (it == m_names.end() || it->second->closing)
    {
        Answer(c, h, VOSERR_NAME_NOT_FOUND);
        return;
    }
    OrxAddr addr{m_local, it->second->port};
    Answer(c, h, VOSERR_NOERROR, &addr, sizeof addr);
}

} // namespace vos
