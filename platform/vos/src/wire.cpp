#include "wire.h"

#include <windows.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <thread>
#include <utility>

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vos
{

std::string DeviceRoot()
{
    return os::deviceRoot();
}

std::string RouterSocketPath()
{
    return DeviceRoot() + "/vosrouter.sock";
}
std::string RouterLockPath()
{
    return DeviceRoot() + "/vosrouter.lock";
}
std::string RouterPidPath()
{
    return DeviceRoot() + "/vosrouter.pid";
}
std::string EventLogPath()
{
    return DeviceRoot() + "/VosEvent.log";
}

OrxMessage::OrxMessage(const OrxCmd& header, const void* data, size_t length)
    : m_bytes(sizeof(OrxCmd) + length)
{
    std::memcpy(m_bytes.data(), &header, sizeof(OrxCmd));
    Cmd()->length = static_cast<ULONG>(length);
    if (length)
        std::memcpy(m_bytes.data() + sizeof(OrxCmd), data, length);
}

bool WriteAll(int fd, const void* data, size_t length, int stallMs)
{
    const BYTE* p = static_cast<const BYTE*>(data);
    while (length > 0)
    {
        ssize_t n = ::send(fd, p, length, MSG_NOSIGNAL | (stallMs >= 0 ? MSG_DONTWAIT : 0));
        if (n < 0)
        {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN)
            {
                pollfd pfd{fd, POLLOUT, 0};
                if (::poll(&pfd, 1, stallMs >= 0 ? stallMs : 1000) == 0 && stallMs >= 0)
                {
                    errno = ETIMEDOUT;
                    return false;
                }
                continue;
            }
            return false;
        }
        p += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

void AttachFd(msghdr& msg, FdControl& control, int fd)
{
    msg.msg_control = control.bytes;
    msg.msg_controllen = sizeof control.bytes;
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(c), &fd, sizeof(int));
}

bool SendFrame(int fd, const OrxCmd& header, const void* data, size_t length, int passFd, int stallMs)
{
    if (length > MAX_FRAME - sizeof(OrxCmd))
        return false;
    // One call: frames of concurrent senders never interleave within it, and
    // the lock of the caller keeps whole frames apart.
    struct
    {
        uint32_t total;
        OrxCmd header;
    } __attribute__((packed)) head{static_cast<uint32_t>(sizeof(OrxCmd) + length), header};
    head.header.length = static_cast<ULONG>(length);
    iovec parts[2] = {{&head, sizeof head}, {const_cast<void*>(data), length}};
    msghdr msg{};
    msg.msg_iov = parts;
    msg.msg_iovlen = length ? 2 : 1;
    FdControl control;
    if (passFd >= 0)
        AttachFd(msg, control, passFd);
    size_t total = sizeof head + length;
    ssize_t n;
    while ((n = ::sendmsg(fd, &msg, MSG_NOSIGNAL | (stallMs >= 0 ? MSG_DONTWAIT : 0))) < 0 && errno == EINTR)
    {
    }
    if (n < 0)
    {
        if (errno != EAGAIN)
            return false;
        n = 0;
    }
    if (static_cast<size_t>(n) == total)
        return true;
    // The socket took part of the frame: the rest follows without the descriptor.
    std::vector<BYTE> rest(total - static_cast<size_t>(n));
    size_t at = 0;
    for (size_t skip = static_cast<size_t>(n), i = 0; i < 2; ++i)
    {
        const BYTE* p = static_cast<const BYTE*>(parts[i].iov_base);
        size_t len = parts[i].iov_len;
        if (skip >= len)
        {
            skip -= len;
            continue;
        }
        std::memcpy(rest.data() + at, p + skip, len - skip);
        at += len - skip;
        skip = 0;
    }
    return WriteAll(fd, rest.data(), rest.size(), stallMs);
}

FrameReader::FrameReader(FrameReader&& other) noexcept
{
    *this = std::move(other);
}

FrameReader& FrameReader::operator=(FrameReader&& other) noexcept
{
    if (this != &other)
    {
        CloseFds();
        m_data = std::move(other.m_data);
        m_capacity = std::exchange(other.m_capacity, 0);
        m_start = std::exchange(other.m_start, 0);
        m_end = std::exchange(other.m_end, 0);
        m_fds = std::move(other.m_fds);
        other.m_fds.clear();
        m_timeoutMs = other.m_timeoutMs;
    }
    return *this;
}

FrameReader::~FrameReader()
{
    CloseFds();
}

void FrameReader::CloseFds()
{
    for (int fd : m_fds)
        ::close(fd);
    m_fds.clear();
}

int FrameReader::TakeFd()
{
    if (m_fds.empty())
        return -1;
    const int fd = m_fds.front();
    m_fds.erase(m_fds.begin());
    return fd;
}

FrameReader::Fill_ FrameReader::Fill(int fd, bool wait)
{
    // A descriptor travels with the first byte of its frame, and the frames read
    // before have been handed out: what they brought and nobody took is closed. Only
    // a frame not yet whole may still own one, the last to come.
    const size_t owned = m_end > m_start ? 1 : 0;
    while (m_fds.size() > owned)
    {
        ::close(m_fds.front());
        m_fds.erase(m_fds.begin());
    }
    // Room for a large chunk after what is kept; taken frames make room at the front.
    constexpr size_t Chunk = 65536;
    if (m_start == m_end)
        m_start = m_end = 0;
    if (m_capacity - m_end < Chunk)
    {
        const size_t kept = m_end - m_start;
        if (m_start > 0 && m_capacity - kept >= Chunk)
            std::memmove(m_data.get(), m_data.get() + m_start, kept);
        else
        {
            const size_t capacity = std::max(2 * m_capacity, kept + Chunk);
            auto bigger = std::make_unique_for_overwrite<BYTE[]>(capacity);
            if (kept)
                std::memcpy(bigger.get(), m_data.get() + m_start, kept);
            m_data = std::move(bigger);
            m_capacity = capacity;
        }
        m_start = 0;
        m_end = kept;
    }
    iovec part{m_data.get() + m_end, m_capacity - m_end};
    alignas(cmsghdr) char control[CMSG_SPACE(8 * sizeof(int))];
    msghdr msg{};
    msg.msg_iov = &part;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    for (;;)
    {
        ssize_t n = ::recvmsg(fd, &msg, MSG_CMSG_CLOEXEC | (wait ? 0 : MSG_DONTWAIT));
        if (n > 0)
        {
            m_end += static_cast<size_t>(n);
            for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c))
                if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS)
                {
                    const size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
                    for (size_t i = 0; i < count; ++i)
                    {
                        int passed;
                        std::memcpy(&passed, CMSG_DATA(c) + i * sizeof(int), sizeof passed);
                        m_fds.push_back(passed);
                    }
                }
            return Fill_::Data;
        }
        if (n == 0)
            return Fill_::Closed;
        if (errno == EINTR)
            continue;
        return errno == EAGAIN ? Fill_::WouldBlock : Fill_::Closed;
    }
}

FrameReader::Fill_ FrameReader::FillWithin(int fd, int timeoutMs)
{
    if (timeoutMs < 0)
        timeoutMs = 0; // no limit
    else if (timeoutMs == 0)
        timeoutMs = 1;
    // The socket keeps its time-out: set only when it changes, not before each read.
    if (timeoutMs != m_timeoutMs)
    {
        timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        m_timeoutMs = timeoutMs;
    }
    return Fill(fd);
}

bool FrameReader::HasFrame() const
{
    const size_t avail = m_end - m_start;
    if (avail < 4)
        return false;
    uint32_t total;
    std::memcpy(&total, m_data.get() + m_start, 4);
    return total < sizeof(OrxCmd) || total > MAX_FRAME || avail >= 4 + total;
}

bool FrameReader::Next(OrxMessage& out, bool& bad)
{
    bad = false;
    const size_t avail = m_end - m_start;
    if (avail < 4)
        return false;
    uint32_t total;
    std::memcpy(&total, m_data.get() + m_start, 4);
    if (total < sizeof(OrxCmd) || total > MAX_FRAME)
    {
        bad = true;
        return false;
    }
    if (avail < 4 + total)
        return false;
    const BYTE* p = m_data.get() + m_start + 4;
    OrxCmd header;
    std::memcpy(&header, p, sizeof header);
    if (header.length != total - sizeof(OrxCmd))
    {
        bad = true;
        return false;
    }
    out.Bytes().assign(p, p + total);
    m_start += 4 + total;
    return true;
}

socklen_t RouterSocketAddress(sockaddr_un& addr)
{
    addr = sockaddr_un{};
    addr.sun_family = AF_UNIX;
    std::string path = RouterSocketPath();
    if (path.size() < sizeof(addr.sun_path))
    {
        std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
        return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
    }
    // A device root too deep for a socket file: an abstract name derived from the root instead.
    char name[64];
    int n = std::snprintf(name, sizeof name, "vosrouter-%016llx",
                          static_cast<unsigned long long>(std::hash<std::string>{}(DeviceRoot())));
    std::memcpy(addr.sun_path + 1, name, static_cast<size_t>(n));
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + static_cast<size_t>(n));
}

int ConnectRouterSocket()
{
    sockaddr_un addr;
    socklen_t length = RouterSocketAddress(addr);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), length) != 0)
    {
        ::close(fd);
        return -1;
    }
    return fd;
}

namespace
{

// The router program lies beside this library.
std::string RouterProgram()
{
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&RouterProgram), &info) && info.dli_fname)
    {
        std::string self = info.dli_fname;
        auto slash = self.rfind('/');
        if (slash != std::string::npos)
            return self.substr(0, slash) + "/vosrouter";
    }
    return "vosrouter";
}

bool StartRouter()
{
    std::string program = RouterProgram();
    char arg1[] = "--daemon";
    char* argv[] = {program.data(), arg1, nullptr};
    // The router outlives the starting thread: it must not inherit that thread's
    // blocked or ignored signals, or it could not be ended by a signal.
    posix_spawnattr_t attr;
    if (::posix_spawnattr_init(&attr) != 0)
        return false;
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int sig : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE})
        sigaddset(&defaults, sig);
    ::posix_spawnattr_setsigmask(&attr, &none);
    ::posix_spawnattr_setsigdefault(&attr, &defaults);
    ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    int spawned = ::posix_spawn(&pid, program.c_str(), nullptr, &attr, argv, environ);
    ::posix_spawnattr_destroy(&attr);
    if (spawned != 0)
        return false;
    // The program forks its long-lived part and ends at once; reap it here. It fails when the
    // device root can hold no router (its lock file cannot be made).
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR)
    {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

int ConnectRouter(ULONG& error)
{
    int fd = ConnectRouterSocket();
    if (fd >= 0)
        return fd;
    // Generous: a loaded machine may take a while to bring the router up. A router
    // that was just ending lets the started one go, so start again now and then.
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::seconds(15);
    auto nextStart = Clock::now();
    while (Clock::now() < deadline)
    {
        if (Clock::now() >= nextStart)
        {
            if (!StartRouter() && (fd = ConnectRouterSocket()) < 0)
                break; // no router program, or a device root that can hold none
            if (fd >= 0)
                return fd;
            nextStart = Clock::now() + std::chrono::seconds(1);
        }
        fd = ConnectRouterSocket();
        if (fd >= 0)
            return fd;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    error = VOSERR_ROUTER_NOT_RUNNING;
    return -1;
}

static bool WaitReadable(int fd, int timeoutMs)
{
    pollfd pfd{fd, POLLIN, 0};
    for (;;)
    {
        int n = ::poll(&pfd, 1, timeoutMs);
        if (n < 0 && errno == EINTR)
            continue;
        return n > 0;
    }
}

ULONG RouterRequest(int fd, FrameReader& reader, USHORT cmdId, const void* data, size_t length,
                    OrxMessage& answer, int timeoutMs)
{
    OrxAddr router{};
    OrxCmd header = MakeHeader(router, cmdId, ORX_STATE_ANSWER, 0, static_cast<ULONG>(length));
    if (!SendFrame(fd, header, data, length))
        return VOSERR_ROUTER_NOT_RUNNING;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;)
    {
        bool bad = false;
        if (reader.Next(answer, bad))
            return answer.Cmd()->errorCode;
        if (bad)
            return VOSERR_INVALID_MESSAGE;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        if (left.count() <= 0 || !WaitReadable(fd, static_cast<int>(left.count())))
            return VOSERR_TIMEOUT;
        if (reader.Fill(fd) == FrameReader::Fill_::Closed)
            return VOSERR_ROUTER_NOT_RUNNING;
    }
}

bool ShutdownRouter(int timeoutMs)
{
    int fd = ConnectRouterSocket();
    if (fd < 0)
        return !RouterRunning();
    OrxMessage answer;
    FrameReader reader;
    RouterRequest(fd, reader, ROUTER_CMD_SHUTDOWN, nullptr, 0, answer, timeoutMs);
    // The router closes our connection as it ends; wait for that.
    char byte;
    while (WaitReadable(fd, timeoutMs) && ::recv(fd, &byte, 1, 0) > 0)
    {
    }
    ::close(fd);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (RouterRunning())
    {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool RouterRunning()
{
    int lock = ::open(RouterLockPath().c_str(), O_RDWR | O_CLOEXEC);
    if (lock < 0)
        return false;
    struct flock fl
    {
    };
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    bool held = ::fcntl(lock, F_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
    ::close(lock);
    return held;
}

OrxCmd MakeHeader(const OrxAddr& target, USHORT cmdId, USHORT stateFlags, ULONG invokeId, ULONG length,
                  ULONG errorCode)
{
    OrxCmd h{};
    h.target = target;
    h.cmdId = cmdId;
    h.stateFlags = stateFlags;
    h.length = length;
    h.errorCode = errorCode;
    h.invokeId = invokeId;
    return h;
}

OrxAddr LocalAddr(USHORT port)
{
    OrxAddr a{};
    a.port = port;
    return a;
}

bool IsLocalNetId(const OrxNetId& id, const OrxNetId& local)
{
    static const OrxNetId zero{};
    return std::memcmp(&id, &zero, sizeof id) == 0 || std::memcmp(&id, &local, sizeof id) == 0;
}

} // namespace vos
