#include "binary_io.h"

#include <chrono>
#include <cstring>

namespace uatcp
{
void BinaryWriter::uint16(uint16_t v)
{
    m_out.push_back(static_cast<uint8_t>(v));
    m_out.push_back(static_cast<uint8_t>(v >> 8));
}

void BinaryWriter::uint32(uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        m_out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void BinaryWriter::int64(int64_t v)
{
    auto u = static_cast<uint64_t>(v);
    for (int i = 0; i < 8; ++i)
        m_out.push_back(static_cast<uint8_t>(u >> (8 * i)));
}

void BinaryWriter::raw(const void* data, size_t size)
{
    auto* p = static_cast<const uint8_t*>(data);
    m_out.insert(m_out.end(), p, p + size);
}

void BinaryWriter::string(std::optional<std::string_view> text)
{
    if (!text)
    {
        int32(-1);
        return;
    }
    int32(static_cast<int32_t>(text->size()));
    raw(text->data(), text->size());
}

void BinaryWriter::byteString(const uint8_t* data, int32_t length)
{
    if (data == nullptr || length < 0)
    {
        int32(-1);
        return;
    }
    int32(length);
    raw(data, static_cast<size_t>(length));
}

void BinaryWriter::numericNodeId(uint16_t namespaceIndex, uint32_t id)
{
    if (namespaceIndex == 0 && id <= 0xFF)
    {
        byte(0x00);
        byte(static_cast<uint8_t>(id));
    }
    else if (namespaceIndex <= 0xFF && id <= 0xFFFF)
    {
        byte(0x01);
        byte(static_cast<uint8_t>(namespaceIndex));
        uint16(static_cast<uint16_t>(id));
    }
    else
    {
        byte(0x02);
        uint16(namespaceIndex);
        uint32(id);
    }
}

void BinaryWriter::patchUInt32(size_t offset, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        m_out[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

bool BinaryReader::take(size_t count, const uint8_t*& at)
{
    if (count > m_size - m_pos)
        return false;
    at = m_data + m_pos;
    m_pos += count;
    return true;
}

bool BinaryReader::uint8(uint8_t& v)
{
    const uint8_t* p;
    if (!take(1, p))
        return false;
    v = p[0];
    return true;
}

bool BinaryReader::uint16(uint16_t& v)
{
    const uint8_t* p;
    if (!take(2, p))
        return false;
    v = static_cast<uint16_t>(p[0] | (p[1] << 8));
    return true;
}

bool BinaryReader::uint32(uint32_t& v)
{
    const uint8_t* p;
    if (!take(4, p))
        return false;
    v = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
        (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    return true;
}

bool BinaryReader::int32(int32_t& v)
{
    uint32_t u;
    if (!uint32(u))
        return false;
    v = static_cast<int32_t>(u);
    return true;
}

bool BinaryReader::int64(int64_t& v)
{
    const uint8_t* p;
    if (!take(8, p))
        return false;
    uint64_t u = 0;
    for (int i = 7; i >= 0; --i)
        u = (u << 8) | p[i];
    v = static_cast<int64_t>(u);
    return true;
}

bool BinaryReader::skip(size_t count)
{
    const uint8_t* p;
    return take(count, p);
}

bool BinaryReader::string(std::optional<std::string>& text, uint32_t maxLength)
{
    int32_t length;
    if (!int32(length))
        return false;
    if (length < 0)
    {
        text.reset();
        return true;
    }
    const uint8_t* p;
    if (static_cast<uint32_t>(length) > maxLength || !take(static_cast<size_t>(length), p))
        return false;
    text.emplace(reinterpret_cast<const char*>(p), static_cast<size_t>(length));
    return true;
}

bool BinaryReader::byteString(std::optional<Bytes>& bytes, uint32_t maxLength)
{
    int32_t length;
    if (!int32(length))
        return false;
    if (length < 0)
    {
        bytes.reset();
        return true;
    }
    const uint8_t* p;
    if (static_cast<uint32_t>(length) > maxLength || !take(static_cast<size_t>(length), p))
        return false;
    bytes.emplace(p, p + length);
    return true;
}

bool BinaryReader::nodeId(uint16_t& namespaceIndex, uint32_t& numericId, bool& isNumeric)
{
    uint8_t form;
    if (!uint8(form))
        return false;
    isNumeric = true;
    numericId = 0;
    namespaceIndex = 0;
    switch (form)
    {
    case 0x00:
    {
        uint8_t id;
        if (!uint8(id))
            return false;
        numericId = id;
        return true;
    }
    case 0x01:
    {
        uint8_t ns;
        uint16_t id;
        if (!uint8(ns) || !uint16(id))
            return false;
        namespaceIndex = ns;
        numericId = id;
        return true;
    }
    case 0x02:
        return uint16(namespaceIndex) && uint32(numericId);
    case 0x03:
    case 0x05:
    {
        isNumeric = false;
        int32_t length;
        if (!uint16(namespaceIndex) || !int32(length))
            return false;
        return length < 0 || skip(static_cast<size_t>(length));
    }
    case 0x04:
        isNumeric = false;
        return uint16(namespaceIndex) && skip(16);
    default:
        return false;
    }
}

bool BinaryReader::skipExtensionObject(uint32_t maxLength)
{
    uint16_t ns;
    uint32_t id;
    bool numeric;
    uint8_t encoding;
    if (!nodeId(ns, id, numeric) || !uint8(encoding))
        return false;
    if (encoding == 0)
        return true;
    if (encoding != 1 && encoding != 2)
        return false;
    int32_t length;
    if (!int32(length))
        return false;
    if (length < 0)
        return true;
    return static_cast<uint32_t>(length) <= maxLength && skip(static_cast<size_t>(length));
}

int64_t utcNowTicks()
{
    using namespace std::chrono;
    constexpr int64_t epochDifference = 116444736000000000LL; // 1601 to 1970 in 100 ns
    auto sinceEpoch = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
    return epochDifference + sinceEpoch / 100;
}
} // namespace uatcp
