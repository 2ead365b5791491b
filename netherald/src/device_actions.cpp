#include "device_actions.h"

#include "action_errors.h"
#include "base64.h"

#include <profilelink.h>

#include <cstring>
#include <optional>
#include <vector>

namespace netherald
{
namespace
{
struct GktAddress
{
    WORD index;
    BYTE subindex;
    BYTE flags;
};

GktAddress addressOf(ULONG indexOffset)
{
    return {static_cast<WORD>(indexOffset >> 16), static_cast<BYTE>(indexOffset >> 8),
            static_cast<BYTE>(indexOffset)};
}

bool isLocalTarget(std::u16string_view netId, LONG port)
{
    return netId.empty() && port == 0;
}

std::optional<std::vector<uint8_t>> decoded(std::u16string_view text)
{
    for (const char16_t c : text)
        if (c > 0x7F)
            return std::nullopt;
    return base64Decode(os::toUtf8(text));
}

uint32_t le32(const uint8_t* bytes)
{
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void appendLe32(std::vector<uint8_t>& bytes, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

struct SubRequest
{
    ULONG address;
    ULONG length;
};
} // namespace

// Profilelink opened for one action; closed with it, so that the user count never grows.
class GktSession
{
public:
    GktSession() : m_result(GKTOpen()) {}
    ~GktSession()
    {
        if (m_result == 0)
            GKTClose();
    }
    GktSession(const GktSession&) = delete;
    GktSession& operator=(const GktSession&) = delete;
    LONG result() const { return m_result; }

private:
    LONG m_result;
};

LONG DeviceActions::lastGktResult()
{
    std::lock_guard lock(m_mutex);
    return m_lastGkt;
}

std::string DeviceActions::lastErrorText()
{
    std::lock_guard lock(m_mutex);
    return m_lastError;
}

HRESULT DeviceActions::gktCall(LONG result)
{
    m_lastGkt = result;
    if (result == 0)
        return S_OK;
    m_log.write("GKT Error");
    return gktFailure(result);
}

HRESULT DeviceActions::openResult(const GktSession& gkt)
{
    if (gkt.result() == 0)
        return S_OK;
    m_lastGkt = gkt.result();
    m_log.write("GKT Lib Error");
    return kGktServiceMissing;
}

HRESULT DeviceActions::finish(HRESULT result)
{
    if (FAILED(result))
        m_lastError = actionErrorText(result);
    return result;
}

HRESULT DeviceActions::read(std::u16string_view netId, LONG port, ULONG indexOffset, LONG length,
                            std::string& data)
{
    std::lock_guard lock(m_mutex);
    if (!isLocalTarget(netId, port))
        return finish(kInvalidPortOrNetId);
    if (length < 1 || length > kLongestEntry)
        return finish(kInvalidLength);
    GktSession gkt;
    if (const HRESULT opened = openResult(gkt); FAILED(opened))
        return finish(opened);
    const GktAddress address = addressOf(indexOffset);
    m_log.writef("Read Query: 0x%04X, %u, %u, %d", address.index, address.subindex, address.flags,
                 static_cast<int>(length));
    // Peers see the zero byte after the data: it stays in the answer.
    std::vector<uint8_t> buffer(static_cast<size_t>(length) + 1, 0);
    DWORD bytesRead = 0;
    if (const HRESULT result = gktCall(GKTSyncRead(address.index, address.subindex, address.flags,
                                                   static_cast<DWORD>(length), buffer.data(), &bytesRead));
        FAILED(result))
        return finish(result);
    data = base64Encode(buffer.data(), buffer.size());
    return S_OK;
}

HRESULT DeviceActions::write(std::u16string_view netId, LONG port, ULONG indexOffset,
                             std::u16string_view data)
{
    std::lock_guard lock(m_mutex);
    if (!isLocalTarget(netId, port))
        return finish(kInvalidPortOrNetId);
    const auto bytes = decoded(data);
    if (!bytes)
        return finish(kInvalidData);
    if (bytes->empty() || bytes->size() > static_cast<size_t>(kLongestEntry))
        return finish(kInvalidLength);
    GktSession gkt;
    if (const HRESULT opened = openResult(gkt); FAILED(opened))
        return finish(opened);
    const GktAddress address = addressOf(indexOffset);
    return finish(gktCall(GKTSyncWrite(address.index, address.subindex, address.flags,
                                       static_cast<DWORD>(bytes->size()), bytes->data())));
}

HRESULT DeviceActions::readWrite(std::u16string_view netId, LONG port, ULONG indexGroup, ULONG indexOffset,
                                 LONG readLength, std::u16string_view writeData, std::string& readData,
                                 ULONG& returned)
{
    std::lock_guard lock(m_mutex);
    returned = 0;
    if (!isLocalTarget(netId, port))
        return finish(kInvalidPortOrNetId);
    if (indexGroup == kReadMultiple || indexGroup == kWriteMultiple)
        return finish(multiple(indexGroup, indexOffset, writeData, readData, returned));
    return finish(combined(indexOffset, readLength, writeData, readData, returned));
}

HRESULT DeviceActions::combined(ULONG indexOffset, LONG readLength, std::u16string_view writeData,
                                std::string& readData, ULONG& returned)
{
    if (readLength < 1 || readLength > kLongestEntry)
        return kInvalidLength;
    const auto bytes = decoded(writeData);
    if (!bytes)
        return kInvalidData;
    if (bytes->empty() || bytes->size() > static_cast<size_t>(kLongestEntry))
        return kInvalidLength;
    GktSession gkt;
    if (const HRESULT opened = openResult(gkt); FAILED(opened))
        return opened;
    const GktAddress address = addressOf(indexOffset);
    m_log.writef("ReadWrite: 0x%08X, 0x%04X, %u, %d", static_cast<unsigned>(indexOffset), address.index,
                 address.subindex, static_cast<int>(readLength));
    std::vector<uint8_t> buffer(static_cast<size_t>(readLength), 0);
    DWORD bytesRead = 0;
    if (const HRESULT result = gktCall(GKTSyncReadWrite(
            address.index, address.subindex, address.flags, static_cast<DWORD>(bytes->size()), bytes->data(),
            static_cast<DWORD>(readLength), buffer.data(), &bytesRead));
        FAILED(result))
        return result;
    returned = bytesRead;
    readData = base64Encode(buffer.data(), buffer.size());
    return S_OK;
}

HRESULT DeviceActions::multiple(ULONG indexGroup, ULONG count, std::u16string_view writeData,
                                std::string& readData, ULONG& returned)
{
    const bool writing = indexGroup == kWriteMultiple;
    // 12 bytes per item, counted in 64 bits: a huge count must not wrap round to a small size.
    const uint64_t itemBytes = 12 * static_cast<uint64_t>(count);
    if (count > kMostSubRequests)
        return kInvalidData;
    const auto bytes = decoded(writeData);
    if (!bytes)
        return kInvalidData;
    if (bytes->empty())
        return kInvalidLength;
    if (bytes->size() < itemBytes)
    {
        m_log.write("Invalid Data");
        return kInvalidData;
    }
    std::vector<SubRequest> items;
    uint64_t dataBytes = 0;
    for (ULONG i = 0; i < count; ++i)
    {
        const uint8_t* item = bytes->data() + 12 * static_cast<size_t>(i);
        const SubRequest request{le32(item + 4), le32(item + 8)};
        if (request.length < 1 || request.length > static_cast<ULONG>(kLongestEntry))
            return kInvalidLength;
        dataBytes += request.length;
        items.push_back(request);
    }
    if (!writing && dataBytes > kLongestMultipleRead)
        return kInvalidLength;
    if (writing && bytes->size() - itemBytes < dataBytes)
    {
        m_log.write("Invalid Data");
        return kInvalidData;
    }
    GktSession gkt;
    if (const HRESULT opened = openResult(gkt); FAILED(opened))
        return opened;

    std::vector<uint8_t> results;
    std::vector<uint8_t> data;
    const uint8_t* writeAt = bytes->data() + itemBytes;
    for (const SubRequest& item : items)
    {
        const GktAddress address = addressOf(item.address);
        m_log.writef("%s: 0x%08X, 0x%04X, %u, %u", writing ? "WriteMultiple" : "ReadMultiple",
                     static_cast<unsigned>(item.address), address.index, address.subindex,
                     static_cast<unsigned>(item.length));
        HRESULT result = S_OK;
        if (writing)
        {
            m_lastGkt = GKTSyncWrite(address.index, address.subindex, address.flags, item.length, writeAt);
            writeAt += item.length;
            if (m_lastGkt != 0)
                m_log.write("Error");
        }
        else
        {
            const size_t at = data.size();
            data.resize(at + item.length, 0);
            DWORD bytesRead = 0;
            m_lastGkt = GKTSyncRead(address.index, address.subindex, address.flags, item.length,
                                    data.data() + at, &bytesRead);
            if (m_lastGkt != 0)
            {
                // A failed item answers zero bytes, whatever the call left in its buffer.
                std::memset(data.data() + at, 0, item.length);
                m_log.write("ReadMultiple: Error");
            }
        }
        if (m_lastGkt != 0)
            result = gktFailure(m_lastGkt);
        appendLe32(results, static_cast<uint32_t>(result));
    }
    results.insert(results.end(), data.begin(), data.end());
    returned = static_cast<ULONG>(results.size());
    readData = base64Encode(results.data(), results.size());
    return S_OK;
}
} // namespace netherald
