// Device-file handles: each call goes over a connection to the device manager.
// A handle keeps a small pool of connections so that calls of several threads
// on one handle run in the driver at the same time; the connection that opened
// the device stays in the pool, and the manager closes the open device when
// that connection ends with the process.
#include <os/devio.h>
#include <os/handle.h>
#include <os/text.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace os::devio
{

namespace
{

int connectManager()
{
    const std::string path = managerSocketPath();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return -1;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Sends a request and waits for its reply on one connection.
bool exchange(int fd, const Message& request, Message& reply)
{
    return sendMessage(fd, request) && receiveMessage(fd, reply);
}

class DeviceFile : public HandleObject
{
public:
    DeviceFile(uint64_t id, int openingConnection) : m_id(id) { m_idle.push_back(openingConnection); }

    ~DeviceFile() override
    {
        for (int fd : m_idle)
            ::close(fd);
    }

    BOOL close() override
    {
        Message request = newRequest(Op::close);
        Message reply;
        uint32_t ok = 0, error = 0;
        if (!call(request, reply) || !reply.getU32(ok) || !reply.getU32(error))
            return fail(ERROR_DEV_NOT_EXIST);
        return finish(ok, error);
    }

    BOOL ioControl(DWORD code, void* input, DWORD inputSize, void* output, DWORD outputSize,
                   DWORD* returned) override
    {
        if ((input && inputSize > kMaxTransfer) || (output && outputSize > kMaxTransfer))
            return fail(ERROR_INVALID_PARAMETER);
        Message request = newRequest(Op::ioControl);
        request.putU32(code);
        request.putU32((input ? kHasInput : 0) | (output ? kHasOutput : 0) | (returned ? kHasReturned : 0));
        request.putU32(inputSize);
        request.putU32(outputSize);
        request.putBytes(input, input ? inputSize : 0);
        request.putBytes(output, output ? outputSize : 0);
        Message reply;
        uint32_t ok = 0, error = 0, count = 0;
        std::vector<uint8_t> inputAfter, outputAfter;
        if (!call(request, reply) || !reply.getU32(ok) || !reply.getU32(error) || !reply.getU32(count) ||
            !reply.getBytes(inputAfter) || !reply.getBytes(outputAfter))
            return fail(ERROR_DEV_NOT_EXIST);
        // The driver may write into both buffers (a status into the input block, for one).
        // The input is written back only when it changed: callers may pass constant data.
        const size_t inputBack = std::min<size_t>(inputAfter.size(), input ? inputSize : 0);
        if (inputBack > 0 && std::memcmp(input, inputAfter.data(), inputBack) != 0)
            std::memcpy(input, inputAfter.data(), inputBack);
        if (output)
            std::memcpy(output, outputAfter.data(), std::min<size_t>(outputAfter.size(), outputSize));
        if (returned)
            *returned = count;
        return finish(ok, error);
    }

    BOOL read(void* buffer, DWORD size, DWORD* done) override
    {
        if (size > kMaxTransfer)
            return fail(ERROR_INVALID_PARAMETER);
        Message request = newRequest(Op::read);
        request.putU32(size);
        Message reply;
        uint32_t ok = 0, error = 0;
        std::vector<uint8_t> data;
        if (!call(request, reply) || !reply.getU32(ok) || !reply.getU32(error) || !reply.getBytes(data) ||
            data.size() > size)
            return fail(ERROR_DEV_NOT_EXIST);
        if (!data.empty())
            std::memcpy(buffer, data.data(), data.size());
        if (done)
            *done = static_cast<DWORD>(data.size());
        return finish(ok, error);
    }

    BOOL write(const void* buffer, DWORD size, DWORD* done) override
    {
        if (size > kMaxTransfer)
            return fail(ERROR_INVALID_PARAMETER);
        Message request = newRequest(Op::write);
        request.putBytes(buffer, size);
        Message reply;
        uint32_t ok = 0, error = 0, count = 0;
        if (!call(request, reply) || !reply.getU32(ok) || !reply.getU32(error) || !reply.getU32(count))
            return fail(ERROR_DEV_NOT_EXIST);
        if (done)
            *done = count;
        return finish(ok, error);
    }

    DWORD seek(LONG distance, LONG* distanceHigh, DWORD method) override
    {
        if (!narrowSeekDistance(distance, distanceHigh))
            return 0xFFFFFFFFu;
        Message request = newRequest(Op::seek);
        request.putU32(static_cast<uint32_t>(distance));
        request.putU32(method);
        Message reply;
        uint32_t position = 0, error = 0;
        if (!call(request, reply) || !reply.getU32(position) || !reply.getU32(error))
        {
            SetLastError(ERROR_DEV_NOT_EXIST);
            return 0xFFFFFFFFu;
        }
        SetLastError(error);
        return position;
    }

private:
    Message newRequest(Op op) const
    {
        Message request;
        request.putU32(static_cast<uint32_t>(op));
        request.putU64(m_id);
        return request;
    }

    static BOOL fail(DWORD error)
    {
        SetLastError(error);
        return FALSE;
    }

    static BOOL finish(uint32_t ok, uint32_t error)
    {
        SetLastError(error);
        return ok ? TRUE : FALSE;
    }

    // A pooled connection that takes no request any more (the manager it led to has
    // ended) is dropped and the request sent on the next one: it reached no one. A
    // connection that ends before the reply may have carried the request: that fails.
    bool call(const Message& request, Message& reply)
    {
        for (;;)
        {
            int fd = -1;
            {
                std::lock_guard guard(m_lock);
                if (!m_idle.empty())
                {
                    fd = m_idle.back();
                    m_idle.pop_back();
                }
            }
            const bool pooled = fd >= 0;
            if (!pooled)
                fd = connectManager();
            if (fd < 0)
                return false;
            if (!sendMessage(fd, request))
            {
                ::close(fd);
                if (pooled)
                    continue;
                return false;
            }
            if (!receiveMessage(fd, reply))
            {
                ::close(fd);
                return false;
            }
            std::lock_guard guard(m_lock);
            m_idle.push_back(fd);
            return true;
        }
    }

    const uint64_t m_id;
    std::mutex m_lock;
    std::vector<int> m_idle;
};

HANDLE openDeviceFile(const std::u16string& name, DWORD access, DWORD share, DWORD, DWORD)
{
    const int fd = connectManager();
    if (fd < 0)
    {
        // No device manager: as on a device without the driver.
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    Message request;
    request.putU32(static_cast<uint32_t>(Op::open));
    request.putText(toUtf8(name));
    request.putU32(access);
    request.putU32(share);
    Message reply;
    uint32_t ok = 0, error = 0;
    uint64_t id = 0;
    if (!exchange(fd, request, reply) || !reply.getU32(ok) || !reply.getU32(error) || !reply.getU64(id))
    {
        ::close(fd);
        SetLastError(ERROR_DEV_NOT_EXIST);
        return INVALID_HANDLE_VALUE;
    }
    if (!ok)
    {
        ::close(fd);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    return registerHandle(std::make_shared<DeviceFile>(id, fd));
}

struct OpenerRegistration
{
    OpenerRegistration() { setDeviceFileOpener(openDeviceFile); }
} g_openerRegistration;

} // namespace

} // namespace os::devio
