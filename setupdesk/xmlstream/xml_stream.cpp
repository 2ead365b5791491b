#include "xml_stream.h"

#include <string_view>

namespace setupdesk::xml
{
namespace
{
bool isNameStart(int c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
}

bool isNameChar(int c)
{
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

bool isBlank(int c)
{
    return c == ' ' || c == '\t';
}

bool isNewline(int c)
{
    return c == '\r' || c == '\n';
}
} // namespace

CXmlStream::CXmlStream(ReadCallback read) : m_read(std::move(read)) {}

bool CXmlStream::refill()
{
    m_fill = m_read ? m_read(m_buffer.data(), m_buffer.size()) : 0;
    m_position.read = 0;
    return m_fill > 0;
}

int CXmlStream::getChar()
{
    // A refill happens only once every character of the block was taken and no
    // push-back is pending, so moving back never leaves the block.
    if (m_position.read >= m_fill && !refill())
    {
        m_canUnget = false;
        return EOF;
    }
    m_before = m_position;
    m_canUnget = true;
    const int c = static_cast<unsigned char>(m_buffer[m_position.read++]);
    if (isNewline(c))
    {
        if (m_position.pairsWith == c)
        {
            m_position.pairsWith = 0; // the second half of CR LF or LF CR
        }
        else
        {
            ++m_position.line;
            m_position.column = 0;
            m_position.pairsWith = c == '\r' ? '\n' : '\r';
        }
    }
    else
    {
        ++m_position.column;
        m_position.pairsWith = 0;
    }
    return c;
}

void CXmlStream::ungetChar()
{
    if (!m_canUnget)
        return;
    m_position = m_before;
    m_canUnget = false;
}

bool CXmlStream::appendScratch(char c)
{
    // One byte stays free for a terminator, as the fixed buffer needs.
    if (m_scratchLength + 1 >= m_scratch.size())
    {
        m_overflow = true;
        return false;
    }
    m_scratch[m_scratchLength++] = c;
    return true;
}

int CXmlStream::readName(std::string& name)
{
    int c = getChar();
    if (!isNameStart(c))
    {
        ungetChar();
        return kTokenMalformed;
    }
    while (isNameChar(c))
    {
        if (name.size() + 1 >= kScratchSize)
        {
            m_overflow = true;
            return kTokenMalformed;
        }
        name.push_back(static_cast<char>(c));
        c = getChar();
    }
    ungetChar();
    return 0;
}

bool CXmlStream::expect(const char* rest)
{
    for (const char* p = rest; *p; ++p)
        if (getChar() != static_cast<unsigned char>(*p))
            return false;
    return true;
}

int CXmlStream::nextToken()
{
    m_name.clear();
    m_scratchLength = 0;
    m_overflow = false;
    const int c = getChar();
    if (c == EOF)
        return kTokenEnd;
    if (isNewline(c))
    {
        // The other half of CR LF or LF CR belongs to the same newline.
        appendScratch(static_cast<char>(c));
        const int next = getChar();
        if (isNewline(next) && next != c)
            appendScratch(static_cast<char>(next));
        else
            ungetChar();
        return kTokenNewline;
    }
    if (isBlank(c))
    {
        int next = c;
        while (isBlank(next))
        {
            if (!appendScratch(static_cast<char>(next)))
                return kTokenMalformed;
            next = getChar();
        }
        ungetChar();
        return kTokenBlanks;
    }
    if (m_inTag || m_inPi)
        return tagToken(c);
    if (c == '<')
        return markupToken();
    return contentToken(c);
}

int CXmlStream::contentToken(int c)
{
    while (c != EOF && c != '<')
    {
        if (!appendScratch(static_cast<char>(c)))
            return kTokenMalformed;
        c = getChar();
    }
    ungetChar();
    return kTokenText;
}

int CXmlStream::markupToken()
{
    const int c = getChar();
    if (c == '/')
    {
        if (readName(m_name) != 0)
            return kTokenMalformed;
        int next = getChar();
        while (isBlank(next) || isNewline(next))
            next = getChar();
        return next == '>' ? kTokenEndTag : kTokenMalformed;
    }
    if (c == '?')
    {
        if (readName(m_name) != 0)
            return kTokenMalformed;
        m_inPi = true;
        return kTokenPiStart;
    }
    if (c == '!')
    {
        const int next = getChar();
        if (next == '-')
            return expect("-") ? kTokenCommentStart : kTokenMalformed;
        if (next == '[')
            return expect("CDATA[") ? kTokenCdataStart : kTokenMalformed;
        if (next == 'D')
            return expect("OCTYPE") ? kTokenDoctype : kTokenMalformed;
        return kTokenMalformed;
    }
    ungetChar();
    if (readName(m_name) != 0)
        return kTokenMalformed;
    m_inTag = true;
    return kTokenStartTag;
}

int CXmlStream::tagToken(int c)
{
    if (m_inPi && c == '?')
    {
        if (getChar() != '>')
            return kTokenMalformed;
        m_inPi = false;
        return kTokenPiEnd;
    }
    if (m_inTag && c == '/')
    {
        if (getChar() != '>')
            return kTokenMalformed;
        m_inTag = false;
        return kTokenEmptyEnd;
    }
    if (m_inTag && c == '>')
    {
        m_inTag = false;
        return kTokenTagClose;
    }
    ungetChar();
    return attributeToken();
}

int CXmlStream::attributeToken()
{
    if (readName(m_name) != 0 || getChar() != '=')
        return kTokenMalformed;
    const int quote = getChar();
    if (quote != '"' && quote != '\'')
        return kTokenMalformed;
    for (int v = getChar(); v != quote; v = getChar())
    {
        if (v == EOF || !appendScratch(static_cast<char>(v)))
            return kTokenMalformed;
    }
    return kTokenAttribute;
}

bool CXmlStream::skipPast(const char* marker, std::string* content)
{
    m_inPi = false;
    m_inTag = false;
    m_overflow = false;
    const std::string_view end(marker);
    std::string seen;
    for (int c = getChar(); c != EOF; c = getChar())
    {
        seen.push_back(static_cast<char>(c));
        if (seen.size() >= end.size() && std::string_view(seen).substr(seen.size() - end.size()) == end)
        {
            if (content)
                *content = seen.substr(0, seen.size() - end.size());
            return true;
        }
        if (seen.size() >= kScratchSize + end.size())
        {
            if (content)
            {
                m_overflow = true;
                return false;
            }
            seen.erase(0, seen.size() - end.size()); // only the marker's length matters
        }
    }
    return false;
}
} // namespace setupdesk::xml
