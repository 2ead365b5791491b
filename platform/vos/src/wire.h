// Framing between the client library and the router: every message travels as
// a 32-bit frame length followed by the OrxCmd header and its data, over a Unix
// stream socket in the device root.
#pragma once

#include "vos/orx.h"

#include <cstddef>
#include <memory>

#include <sys/socket.h>
#include <sys/un.h>
#include <string>
#include <vector>

namespace vos
{

// Router commands (messages to ORX_PORT_ROUTER).
constexpr USHORT ROUTER_CMD_CONNECT = 1;  // data: requested port (16 bits), name bytes; answer: OrxAddr
constexpr USHORT ROUTER_CMD_RESOLVE = 2;  // data: name bytes; answer: OrxAddr of the port holding it
constexpr USHORT ROUTER_CMD_SHUTDOWN = 3; // the router closes every connection and ends

// Raw command that carries a report-log line to the event logger port.
constexpr USHORT ORX_CMD_REPORTLOG = 0x0300;

// Direct links between two ports. A client that keeps asking one port offers
// it a socket of its own (LINK_OFFER, which the router passes on with the
// socket's other end); the port takes it (LINK_ACCEPT) or not (LINK_DECLINE).
// Each side switches its sends to the direct socket with the message that
// tells the other so (the offerer's LINK_SWITCHED, the port's LINK_ACCEPT)
// and reads the socket only once it has read that message from the router:
// what either sent through the router before is read before what it sends
// directly. These messages carry ORX_STATE_LINK and never reach a dispatch.
constexpr USHORT ORX_STATE_LINK = 0x0100;
constexpr USHORT LINK_OFFER = 1;
constexpr USHORT LINK_ACCEPT = 2;
constexpr USHORT LINK_DECLINE = 3;
constexpr USHORT LINK_SWITCHED = 4;
inline bool IsLinkMessage(const OrxCmd& h)
{
    return (h.stateFlags & ORX_STATE_LINK) != 0;
}

constexpr size_t MAX_FRAME = 16u * 1024 * 1024; // bigger frames are refused as malformed
constexpr size_t MAX_PORT_NAME = 64;

std::string DeviceRoot();
std::string RouterSocketPath();
std::string RouterLockPath();
std::string RouterPidPath();
std::string EventLogPath();

// One received or outgoing message: header and data in one buffer.
class OrxMessage
{
public:
    OrxMessage() = default;
    OrxMessage(const OrxCmd& header, const void* data, size_t length);
    OrxCmd* Cmd() { return reinterpret_cast<OrxCmd*>(m_bytes.data()); }
    const OrxCmd* Cmd() const { return reinterpret_cast<const OrxCmd*>(m_bytes.data()); }
    std::vector<BYTE>& Bytes() { return m_bytes; }
    bool Empty() const { return m_bytes.empty(); }

private:
    std::vector<BYTE> m_bytes; // vector storage is suitably aligned for the header
};

// stallMs >= 0: gives up (false, errno ETIMEDOUT) when the peer takes nothing for
// that long; < 0 waits as long as it takes.
bool WriteAll(int fd, const void* data, size_t length, int stallMs = -1);
// Room for one descriptor in a message's control data.
struct FdControl
{
    alignas(cmsghdr) char bytes[CMSG_SPACE(sizeof(int))];
};
// Makes fd travel with the message (control must outlive the send).
void AttachFd(msghdr& msg, FdControl& control, int fd);
// One frame in one call, without copying the data; passFd (>= 0) travels with
// the frame's first byte. stallMs as for WriteAll.
bool SendFrame(int fd, const OrxCmd& header, const void* data, size_t length, int passFd = -1,
               int stallMs = -1);

// Collects bytes from a socket and cuts them into frames. Descriptors that
// arrive with the bytes wait in order until taken.
class FrameReader
{
public:
    enum class Fill_
    {
        Data,
        WouldBlock, // nothing there (non-blocking socket), or the time-out of FillWithin
        Closed
    };
    FrameReader() = default;
    FrameReader(FrameReader&& other) noexcept;
    FrameReader& operator=(FrameReader&& other) noexcept;
    FrameReader(const FrameReader&) = delete;
    FrameReader& operator=(const FrameReader&) = delete;
    ~FrameReader();

    // Reads one chunk: what is available (non-blocking socket) or what arrives
    // (blocking). Descriptors that came with frames already taken and were not
    // taken with them are closed first. wait false: only what is there, whatever
    // the socket's mode and options (a socket another process had in hand may
    // block, or wait for more than is there).
    Fill_ Fill(int fd, bool wait = true);
    // The same on a blocking socket, waiting at most timeoutMs (< 0: without limit).
    Fill_ FillWithin(int fd, int timeoutMs);
    // Takes the next complete frame into out (whose buffer is reused); false
    // when none is complete. Sets bad on a malformed frame.
    bool Next(OrxMessage& out, bool& bad);
    bool HasFrame() const;
    // The oldest descriptor that arrived, or -1; the caller owns it. Taken with
    // the frame it came with, before the next Fill.
    int TakeFd();

private:
    void CloseFds();

    // Bytes m_start to m_end of m_data are received and not yet taken.
    std::unique_ptr<BYTE[]> m_data;
    size_t m_capacity = 0;
    size_t m_start = 0;
    size_t m_end = 0;
    std::vector<int> m_fds;
    int m_timeoutMs = -1; // the receive time-out set on the socket
};

// The router's socket: the file "vosrouter.sock" in the device root, or an
// abstract socket named after the root when the path is too long for a socket.
socklen_t RouterSocketAddress(sockaddr_un& addr);
// Connects to the router's socket; -1 when nobody listens.
int ConnectRouterSocket();
// Connects, starting the router beside this library when it is not running.
int ConnectRouter(ULONG& error);
// Sends one router command and waits for the answer; what arrives after the
// answer stays in the reader.
ULONG RouterRequest(int fd, FrameReader& reader, USHORT cmdId, const void* data, size_t length,
                    OrxMessage& answer, int timeoutMs);
// Asks a running router to end; true when none runs afterwards.
bool ShutdownRouter(int timeoutMs);
// Whether a router holds the lock of this device root (seen from another process).
bool RouterRunning();

OrxCmd MakeHeader(const OrxAddr& target, USHORT cmdId, USHORT stateFlags, ULONG invokeId, ULONG length,
                  ULONG errorCode = 0);
OrxAddr LocalAddr(USHORT port);
bool IsLocalNetId(const OrxNetId& id, const OrxNetId& local);

} // namespace vos
