// A source for the reader tests: a text handed out in blocks of a chosen size.
#pragma once

#include <xml_stream.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace setupdesk::xml::testing
{
class MemorySource
{
public:
    MemorySource(std::string text, size_t blockSize) : m_text(std::move(text)), m_block(blockSize) {}

    ReadCallback callback()
    {
        return [this](char* buffer, size_t size)
        {
            const size_t count = std::min({size, m_block, m_text.size() - m_position});
            std::memcpy(buffer, m_text.data() + m_position, count);
            m_position += count;
            return count;
        };
    }

private:
    std::string m_text;
    size_t m_block;
    size_t m_position = 0;
};
} // namespace setupdesk::xml::testing
