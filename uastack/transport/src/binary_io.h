// Little-endian readers and writers for the few structures the transport
// encodes itself (connection and secure-conversation headers, channel
// open/close messages, faults). Reads never pass the end of the input.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace uatcp
{
using Bytes = std::vector<uint8_t>;

class BinaryWriter
{
public:
    explicit BinaryWriter(Bytes& out) : m_out(out) {}
    void byte(uint8_t v) { m_out.push_back(v); }
    void uint16(uint16_t v);
    void uint32(uint32_t v);
    void int32(int32_t v) { uint32(static_cast<uint32_t>(v)); }
    void int64(int64_t v);
    void raw(const void* data, size_t size);
    // A null string or byte string is written with length -1.
    void string(std::optional<std::string_view> text);
    void byteString(const uint8_t* data, int32_t length);
    void numericNodeId(uint16_t namespaceIndex, uint32_t id);
    size_t size() const { return m_out.size(); }
    // Writes a 32-bit value at an earlier position (sizes known only at the end).
    void patchUInt32(size_t offset, uint32_t v);

private:
    Bytes& m_out;
};

class BinaryReader
{
public:
    BinaryReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool uint8(uint8_t& v);
    bool uint16(uint16_t& v);
    bool uint32(uint32_t& v);
    bool int32(int32_t& v);
    bool int64(int64_t& v);
    bool skip(size_t count);
    // Null strings come back as std::nullopt; lengths above maxLength fail.
    bool string(std::optional<std::string>& text, uint32_t maxLength);
    bool byteString(std::optional<Bytes>& bytes, uint32_t maxLength);
    // Only plain NodeIds (no namespace URI or server index flags).
    bool nodeId(uint16_t& namespaceIndex, uint32_t& numericId, bool& isNumeric);
    bool skipExtensionObject(uint32_t maxLength);
    size_t position() const { return m_pos; }
    size_t remaining() const { return m_size - m_pos; }
    const uint8_t* current() const { return m_data + m_pos; }

private:
    bool take(size_t count, const uint8_t*& at);
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// 100-nanosecond intervals since 1601-01-01, as OPC UA counts time.
int64_t utcNowTicks();
} // namespace uatcp
