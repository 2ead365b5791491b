#include "hex_file.h"

#include <cstring>

namespace boardkit
{

namespace
{

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::string_view HexRecord::dataText() const
{
    const size_t dataSize = bytes.size() - 5;
    const auto* data = reinterpret_cast<const char*>(bytes.data() + 4);
    return std::string_view(data, strnlen(data, dataSize));
}

bool parseHexRecord(std::string_view line, HexRecord& record)
{
    line = trimmed(line);
    if (line.empty() || line.front() != ':' || (line.size() - 1) % 2 != 0)
        return false;
    std::vector<BYTE> bytes;
    bytes.reserve((line.size() - 1) / 2);
    BYTE sum = 0;
    for (size_t at = 1; at < line.size(); at += 2)
    {
        const int high = hexDigit(line[at]);
        const int low = hexDigit(line[at + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes.push_back(static_cast<BYTE>(high << 4 | low));
        sum = static_cast<BYTE>(sum + bytes.back());
    }
    // Byte count, address, type and checksum around the data.
    if (bytes.size() < 5 || bytes[0] != bytes.size() - 5 || sum != 0)
        return false;
    record.address = static_cast<WORD>(bytes[1] << 8 | bytes[2]);
    record.type = bytes[3];
    record.bytes = std::move(bytes);
    return true;
}

bool HexLineReader::fill()
{
    DWORD read = 0;
    if (!ReadFile(m_file, m_buffer, sizeof m_buffer, &read, nullptr))
    {
        m_error = GetLastError() != 0 ? GetLastError() : static_cast<DWORD>(ERROR_READ_FAULT);
        return false;
    }
    m_size = read;
    m_next = 0;
    return read > 0;
}

bool HexLineReader::next(std::string& line, bool& overlong)
{
    line.clear();
    overlong = false;
    bool any = false;
    while (true)
    {
        if (m_next == m_size && !fill())
            return any && m_error == 0;
        any = true;
        const char c = m_buffer[m_next++];
        ++m_position;
        if (c == '\n')
            return true;
        if (line.size() < kMaxLine)
            line.push_back(c);
        else if (!isBlank(c))
            overlong = true;
    }
}

} // namespace boardkit
