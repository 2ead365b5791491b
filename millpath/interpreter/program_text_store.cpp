#include "program_text_store.h"

#include <cstring>
#include <new>

#include "le_words.h"

CProgramTextStore::CProgramTextStore(std::size_t size)
{
    m_buffer.reset(new (std::nothrow) std::uint8_t[size > 0 ? size : 1]());
    if (m_buffer)
        m_size = size;
}

void CProgramTextStore::setLineInfo(std::uint8_t kind, std::uint32_t lineNumber)
{
    std::memset(m_info, 0, sizeof(m_info));
    m_info[0] = kind;
    PutLe32(m_info + 1, lineNumber);
}

bool CProgramTextStore::addLine(const char* text, std::int32_t& index)
{
    const std::size_t length = text ? std::strlen(text) : 0;
    const std::size_t needed = length + 1 + LinkSize;
    // Line indexes are 32-bit text positions.
    if (needed > m_size - m_total || m_total + needed > 0x7FFFFFFF)
        return false;
    std::uint8_t* at = m_buffer.get() + m_total;
    if (length > 0)
        std::memcpy(at, text, length);
    at[length] = 0;
    std::uint8_t* record = at + length + 1;
    std::memcpy(record, m_info, sizeof(m_info));
    PutLe32(record + LinkNextOffset, 0);
    record[LinkSize - 1] = 0;
    index = static_cast<std::int32_t>(m_total);
    if (m_previous >= 0)
    {
        const std::uint8_t* previous = m_buffer.get() + m_previous;
        const std::size_t previousLength = std::strlen(reinterpret_cast<const char*>(previous));
        PutLe32(m_buffer.get() + m_previous + previousLength + 1 + LinkNextOffset,
                static_cast<std::uint32_t>(index));
    }
    m_previous = index;
    m_total += needed;
    return true;
}

const char* CProgramTextStore::getLine(std::int32_t index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_total)
        return nullptr;
    return reinterpret_cast<const char*>(m_buffer.get() + index);
}

// The record follows the text's terminator; a position inside a line finds
// the record of that line.
const std::uint8_t* CProgramTextStore::link(std::int32_t index) const
{
    const char* text = getLine(index);
    if (!text)
        return nullptr;
    const std::size_t length = std::strlen(text);
    if (static_cast<std::size_t>(index) + length + 1 + LinkSize > m_total)
        return nullptr;
    return m_buffer.get() + index + length + 1;
}

std::int32_t CProgramTextStore::nextLine(std::int32_t index) const
{
    const std::uint8_t* record = link(index);
    return record ? static_cast<std::int32_t>(GetLe32(record + LinkNextOffset)) : 0;
}

std::uint32_t CProgramTextStore::lineNumber(std::int32_t index) const
{
    const std::uint8_t* record = link(index);
    return record ? GetLe32(record + 1) : 0;
}

void CProgramTextStore::clearText()
{
    if (m_buffer)
        std::memset(m_buffer.get(), 0, m_size);
    m_total = 0;
    m_previous = -1;
    std::memset(m_info, 0, sizeof(m_info));
    m_info[0] = NoKind;
}
