// Messages between device-file users and the device manager.
#include <os/deviceroot.h>
#include <os/devio.h>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace os::devio
{

std::string managerSocketPath()
{
    return deviceRoot() + "/devmgr.sock";
}

bool narrowSeekDistance(LONG& distance, LONG* distanceHigh)
{
    if (!distanceHigh)
        return true;
    const int64_t wide = static_cast<int64_t>(
        static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32 | static_cast<uint32_t>(distance));
    if (wide < INT32_MIN || wide > INT32_MAX)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    distance = static_cast<LONG>(wide);
    *distanceHigh = 0;
    return true;
}

void Message::putU32(uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        m_bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void Message::putU64(uint64_t value)
{
    putU32(static_cast<uint32_t>(value));
    putU32(static_cast<uint32_t>(value >> 32));
}

void Message::putBytes(const void* data, uint32_t size)
{
    putU32(size);
    const auto* begin = static_cast<const uint8_t*>(data);
    if (size > 0)
        m_bytes.insert(m_bytes.end(), begin, begin + size);
}

void Message::putText(const std::string& text)
{
    putBytes(text.data(), static_cast<uint32_t>(text.size()));
}

bool Message::getU32(uint32_t& value)
{
    if (m_bytes.size() - m_readPos < 4)
        return false;
    value = 0;
    for (int i = 0; i < 4; ++i)
        value |= static_cast<uint32_t>(m_bytes[m_readPos + i]) << (8 * i);
    m_readPos += 4;
    return true;
}

bool Message::getU64(uint64_t& value)
{
    uint32_t low = 0, high = 0;
    if (!getU32(low) || !getU32(high))
        return false;
    value = static_cast<uint64_t>(high) << 32 | low;
    return true;
}

bool Message::getBytes(std::vector<uint8_t>& bytes)
{
    uint32_t size = 0;
    if (!getU32(size) || m_bytes.size() - m_readPos < size)
        return false;
    bytes.assign(m_bytes.begin() + static_cast<ptrdiff_t>(m_readPos),
                 m_bytes.begin() + static_cast<ptrdiff_t>(m_readPos + size));
    m_readPos += size;
    return true;
}

bool Message::getText(std::string& text)
{
    std::vector<uint8_t> bytes;
    if (!getBytes(bytes))
        return false;
    text.assign(bytes.begin(), bytes.end());
    return true;
}

namespace
{

bool sendAll(int fd, const uint8_t* data, size_t size)
{
    while (size > 0)
    {
        const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

bool receiveAll(int fd, uint8_t* data, size_t size)
{
    while (size > 0)
    {
        const ssize_t received = ::recv(fd, data, size, 0);
        if (received < 0 && errno == EINTR)
            continue;
        if (received <= 0)
            return false;
        data += received;
        size -= static_cast<size_t>(received);
    }
    return true;
}

// Room for both buffers of the largest call and the fields around them.
constexpr uint32_t kMaxMessage = 2 * kMaxTransfer + 1024;

} // namespace

bool sendMessage(int fd, const Message& message)
{
    const auto& bytes = message.bytes();
    if (bytes.size() > kMaxMessage)
        return false;
    uint8_t length[4];
    for (int i = 0; i < 4; ++i)
        length[i] = static_cast<uint8_t>(bytes.size() >> (8 * i));
    return sendAll(fd, length, 4) && sendAll(fd, bytes.data(), bytes.size());
}

bool receiveMessage(int fd, Message& message)
{
    uint8_t length[4];
    if (!receiveAll(fd, length, 4))
        return false;
    const uint32_t size =
        length[0] | length[1] << 8 | length[2] << 16 | static_cast<uint32_t>(length[3]) << 24;
    if (size > kMaxMessage)
        return false;
    message = Message();
    message.bytes().resize(size);
    return receiveAll(fd, message.bytes().data(), size);
}

} // namespace os::devio
