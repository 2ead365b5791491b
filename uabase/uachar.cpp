#include "uachar.h"
#include "utf8walk.h"

#include <cstring>

UaChar::UaChar() : m_bytes{0, 0, 0, 0}, m_count(1) {}

UaChar::UaChar(char byte) : m_bytes{byte, 0, 0, 0}, m_count(1) {}

UaChar::UaChar(const char* utf8) : UaChar(utf8, utf8 ? std::strlen(utf8) + 1 : 0) {}

UaChar::UaChar(const char* utf8, std::size_t available) : m_bytes{0, 0, 0, 0}, m_count(0)
{
    if (utf8 == nullptr || available == 0)
        return;
    int announced = Utf8Walk::announcedLength(static_cast<unsigned char>(utf8[0]));
    if (announced == 0 || announced > 4 || static_cast<std::size_t>(announced) > available)
        return;
    // A 0 byte inside the sequence is the end of the text, not a continuation byte.
    for (int i = 1; i < announced; ++i)
    {
        if (utf8[i] == 0)
            return;
    }
    std::memcpy(m_bytes, utf8, static_cast<std::size_t>(announced));
    m_count = announced;
}

std::uint16_t UaChar::unicode() const
{
    const auto* b = reinterpret_cast<const unsigned char*>(m_bytes);
    switch (m_count)
    {
    case 1:
        return b[0];
    case 2:
        return static_cast<std::uint16_t>(((b[0] & 0x1F) << 6) | (b[1] & 0x3F));
    case 3:
        return static_cast<std::uint16_t>(((b[0] & 0x0F) << 12) | ((b[1] & 0x3F) << 6) | (b[2] & 0x3F));
    default:
        return 0;
    }
}

bool UaChar::operator==(const UaChar& other) const
{
    return m_count == other.m_count &&
           std::memcmp(m_bytes, other.m_bytes, static_cast<std::size_t>(m_count)) == 0;
}
