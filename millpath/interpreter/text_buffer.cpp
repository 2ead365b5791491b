#include "text_buffer.h"

#include <cstring>
#include <new>

CTextBuffer::CTextBuffer(std::size_t mainSize)
{
    if (mainSize > 0)
    {
        m_main.reset(new (std::nothrow) char[mainSize]());
        if (m_main)
            m_mainSize = mainSize;
    }
    m_second.reset(new (std::nothrow) char[SecondSize]());
    if (m_second)
        m_secondSize = SecondSize;
}

bool CTextBuffer::resetMain()
{
    if (!m_main)
        return false;
    m_mainPos = 0;
    m_main[0] = '\0';
    return true;
}

bool CTextBuffer::resetSecond()
{
    if (!m_second)
        return false;
    m_secondPos = 0;
    m_second[0] = '\0';
    return true;
}

bool CTextBuffer::append(char* buffer, std::size_t size, std::size_t& pos, const void* bytes,
                         std::size_t length)
{
    if (!buffer || pos + length >= size)
        return false;
    std::memcpy(buffer + pos, bytes, length);
    pos += length;
    buffer[pos] = '\0';
    return true;
}

bool CTextBuffer::appendMain(const char* text)
{
    return text && append(m_main.get(), m_mainSize, m_mainPos, text, std::strlen(text));
}

bool CTextBuffer::appendMainBytes(const void* bytes, std::size_t length)
{
    return bytes && append(m_main.get(), m_mainSize, m_mainPos, bytes, length);
}

bool CTextBuffer::appendSecond(const char* text)
{
    return text && append(m_second.get(), m_secondSize, m_secondPos, text, std::strlen(text));
}

void CTextBuffer::freeAll()
{
    m_main.reset();
    m_second.reset();
    m_mainSize = m_secondSize = m_mainPos = m_secondPos = 0;
}
