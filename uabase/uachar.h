#ifndef UABASE_UACHAR_H
#define UABASE_UACHAR_H

#include <cstddef>
#include <cstdint>

// One character of a UTF-8 text: up to four bytes and their count.
class UaChar
{
public:
    UaChar();
    UaChar(char byte);
    // Reads the character at the start of a 0-terminated UTF-8 text; a sequence cut short by the
    // terminator is a stray byte.
    explicit UaChar(const char* utf8);
    // Reads the character at the start of a text of `available` bytes.
    UaChar(const char* utf8, std::size_t available);

    int byteCount() const { return m_count; }
    const char* bytes() const { return m_bytes; }
    // The 16-bit value of a one-, two- or three-byte character; 0 otherwise.
    std::uint16_t unicode() const;

    bool operator==(const UaChar& other) const;
    bool operator!=(const UaChar& other) const { return !(*this == other); }

private:
    char m_bytes[4];
    int m_count;
};

#endif
