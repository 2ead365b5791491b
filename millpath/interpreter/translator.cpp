// The block translator: the walk over a block, its output and markers, the
// symbol references, comments and line ends.
#include "translator.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "interpreter.h"
#include "le_words.h"
#include "nc_text.h"
#include "token_scanners.h"

namespace
{
constexpr unsigned char LineMarker[] = {0x87, 0x01};
constexpr unsigned char BlockStartMarker[] = {0x83, 0x02, 0x83};

bool isLineEnd(char c)
{
    return c == '\n' || c == '\r';
}
} // namespace

std::uint32_t CBlockTranslator::translate(const std::string& block, bool firstOfText, std::int32_t& lineIndex)
{
    m_block = block;
    for (char& c : m_block)
        if (!std::isprint(static_cast<unsigned char>(c)))
            c = ' ';
    while (!m_block.empty() && static_cast<unsigned char>(m_block.back()) <= 32)
        m_block.pop_back();
    if (firstOfText && !m_ip.channel().textStore().addLine(block.c_str(), lineIndex))
    {
        fail(NcError::TextBufferFull);
        return m_error;
    }
    m_lineIndex = lineIndex;
    if (m_ip.traceMode() == 1 || m_ip.traceMode() == 2)
        m_ip.report(NcMsg::TraceCategory, NcMsg::TraceWord, "%d%s",
                    {static_cast<long long>(m_ip.channel().channelNumber()), m_block});

    while (m_running && !atEnd())
    {
        const std::size_t start = m_pos;
        bool replaced = false;
        word(replaced);
        // A word must move on: anything else would translate for ever.
        if (m_running && m_pos == start && !replaced)
            syntax();
    }
    // The end of the block ends its line of stack text.
    if (m_running)
        lineEnd();
    return m_error;
}

char CBlockTranslator::at(std::size_t ahead) const
{
    return m_pos + ahead < m_block.size() ? m_block[m_pos + ahead] : '\0';
}

bool CBlockTranslator::isKeyword(const char* word) const
{
    const std::size_t length = std::strlen(word);
    return m_pos + length <= m_block.size() && strncasecmp(m_block.c_str() + m_pos, word, length) == 0;
}

bool CBlockTranslator::keyword(const char* word)
{
    if (!isKeyword(word))
        return false;
    m_pos += std::strlen(word);
    return true;
}

void CBlockTranslator::skipBlanks()
{
    const char* p = cursor();
    NcScan::skipBlanks(p);
    advanceTo(p);
}

bool CBlockTranslator::expect(char c)
{
    skipBlanks();
    if (at() != c)
        return false;
    ++m_pos;
    skipBlanks();
    return true;
}

bool CBlockTranslator::readNumber(double& value)
{
    const char* p = cursor();
    if (!NcScan::number(p, value))
        return false;
    advanceTo(p);
    return true;
}

bool CBlockTranslator::readIndex(std::uint32_t& value)
{
    const char* p = cursor();
    if (!NcScan::unsignedInteger(p, value))
        return false;
    advanceTo(p);
    return true;
}

bool CBlockTranslator::readSigned(std::int32_t& value)
{
    const char* p = cursor();
    if (!NcScan::signedInteger(p, value))
        return false;
    advanceTo(p);
    return true;
}

bool CBlockTranslator::readR(std::uint32_t& index)
{
    const char* p = cursor();
    if (!NcScan::letterNumber(p, 'R', index) || index >= static_cast<std::uint32_t>(CInterpreter::RParams))
        return false;
    advanceTo(p);
    return true;
}

// "%f", then trailing zeros after the point removed while a digit precedes them.
std::string CBlockTranslator::value(double v)
{
    char text[400];
    std::snprintf(text, sizeof(text), "%f ", v);
    NcScan::trimZeros(text);
    text[std::strlen(text) - 1] = '\0';
    return text;
}

bool CBlockTranslator::emitMarkers()
{
    if (m_markersWritten)
        return true;
    m_markersWritten = true;
    unsigned char markers[10];
    std::memcpy(markers, LineMarker, 2);
    PutLe32(markers + 2, static_cast<std::uint32_t>(m_lineIndex));
    markers[6] = 0x87;
    std::memcpy(markers + 7, BlockStartMarker, 3);
    if (!m_ip.appendProgramText(reinterpret_cast<const char*>(markers), sizeof(markers)))
        return fail(NcError::TextBufferFull);
    m_lineOpen = true;
    return true;
}

bool CBlockTranslator::emitLineMarker()
{
    unsigned char marker[7] = {LineMarker[0], LineMarker[1], 0, 0, 0, 0, 0x87};
    PutLe32(marker + 2, static_cast<std::uint32_t>(m_lineIndex));
    if (!m_ip.appendProgramText(reinterpret_cast<const char*>(marker), sizeof(marker)))
        return fail(NcError::TextBufferFull);
    return true;
}

bool CBlockTranslator::emit(const std::string& piece)
{
    if (!m_running || !emitMarkers())
        return false;
    if (!m_ip.appendProgramText(piece.data(), piece.size()))
        return fail(NcError::TextBufferFull);
    m_lineOpen = true;
    m_blockStart = false;
    return true;
}

void CBlockTranslator::noteError(std::uint32_t code)
{
    if (m_error != 0)
        return;
    m_error = code;
    m_ip.setError(code);
}

bool CBlockTranslator::fail(std::uint32_t code)
{
    noteError(code);
    m_running = false;
    return false;
}

bool CBlockTranslator::syntax()
{
    return fail(NcError::Syntax);
}

void CBlockTranslator::logRange(std::uint32_t number)
{
    m_ip.report(NcMsg::Category, number, "%d", {static_cast<long long>(m_ip.channel().channelNumber())});
}

void CBlockTranslator::word(bool& replaced)
{
    const char c = at();
    switch (c)
    {
    case ' ':
    case '\t':
        ++m_pos;
        return;
    case '\n':
    case '\r':
        return lineEnd();
    case '#':
        return directive();
    case '$':
    case '_':
        return symbol(replaced);
    case '%':
        m_pos = m_block.size();
        return;
    case '(':
        return comment();
    case '/':
        return blockSkip();
    case ':':
        return wordNT();
    case '@':
        return atCommand();
    case ']':
        return closingBracket();
    default:
        break;
    }
    switch (std::toupper(static_cast<unsigned char>(c)))
    {
    case 'A':
        return wordA();
    case 'B':
    case 'I':
    case 'J':
    case 'K':
    case 'Q':
    case 'U':
    case 'X':
    case 'Y':
        return addressWord(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    case 'C':
        return wordC();
    case 'D':
        return wordD();
    case 'F':
        return wordF();
    case 'G':
        return wordG();
    case 'H':
        return r800Word(3);
    case 'L':
        return wordL();
    case 'M':
        return wordM();
    case 'N':
    case 'T':
        return wordNT();
    case 'P':
        return wordP();
    case 'R':
        return wordR();
    case 'S':
        return wordS();
    case 'W':
        return wordW();
    case 'Z':
        return wordZ();
    default:
        syntax(); // also E, O, V and digits
    }
}

// "$name" or "_name": a text symbol's text takes the place of its name and
// is translated in turn.
void CBlockTranslator::symbol(bool& replaced)
{
    const std::size_t start = m_pos;
    std::size_t end = m_pos + 1;
    while (end < m_block.size() &&
           (std::isalnum(static_cast<unsigned char>(m_block[end])) || m_block[end] == '_'))
        ++end;
    const std::size_t length = end - start;
    if (length < 2 || length > 31)
    {
        fail(NcError::SymbolNameLength);
        return;
    }
    std::u16string name;
    NcNarrowToWide(m_block.substr(start, length).c_str(), name);
    const CSymbol* found = m_ip.symbols().find(name);
    if (!found)
    {
        fail(NcError::SymbolUnknown);
        return;
    }
    if (found->type() != SymbolType::Text)
        return; // the block stays as it is
    if (++m_replacements > ReplacementLimit)
    {
        syntax();
        return;
    }
    m_block = m_block.substr(0, start) + found->text() + m_block.substr(end);
    replaced = true;
}

void CBlockTranslator::comment()
{
    const char* p = cursor();
    NcScan::skipComment(p);
    advanceTo(p);
}

// The channel's state from the kernel as an Orx signal of its 112 bytes.
bool CBlockTranslator::kernelRead()
{
    std::uint8_t state[IInterpreterChannel::ChannelStateSize];
    const std::uint32_t error = m_ip.channel().readChannelState(state);
    if (error != 0)
    {
        // No signal is written from bytes that never came.
        m_ip.report(NcMsg::Category, NcMsg::KernelTranslation, "%d%x",
                    {static_cast<long long>(m_ip.channel().channelNumber()), static_cast<long long>(error)});
        return syntax();
    }
    std::string text = "ORX1(";
    char hex[4];
    for (std::size_t i = 0; i < sizeof(state); ++i)
    {
        std::snprintf(hex, sizeof(hex), i == 0 ? "%02x" : ",%02x", state[i]);
        text += hex;
    }
    return emit(text + ")\n");
}

void CBlockTranslator::lineEnd()
{
    if (m_pendingRead)
    {
        if (!emit("\nh0\n") || !kernelRead() || !emit("wait_idle "))
            return;
        m_pendingRead = false;
    }
    if (m_lineOpen)
    {
        if (!m_ip.appendProgramText("\n", 1))
        {
            fail(NcError::TextBufferFull);
            return;
        }
        m_lineOpen = false;
    }
    while (isLineEnd(at()))
        ++m_pos;
    m_blockStart = true;
}
