// Jumps, the block search of "goto", calls, returns and repeated parts.
#include <cmath>
#include <cstring>
#include <string>

#include "builtin_macros.h"
#include "interpreter.h"
#include "nc_numbers.h"

namespace
{
// Control bytes end a line; a tab only separates words.
bool isLineEnd(unsigned char c)
{
    return c < 0x20 && c != '\t';
}
} // namespace

// Moves to the end of the line (the next byte below 0x20), stepping over
// markers whole.
void CInterpreter::jumpEol()
{
    const char* text = code();
    while (m_cursor < codeLength())
    {
        const unsigned char b = static_cast<unsigned char>(text[m_cursor]);
        if (b >= 0x80)
            m_cursor += (b & 0x7F) ? (b & 0x7F) : 1;
        else if (isLineEnd(b))
            return;
        else
            ++m_cursor;
    }
    m_cursor = codeLength();
}

// Skips word by word up to the line end or past a word "else".
void CInterpreter::jumpElse()
{
    const char* text = code();
    while (m_cursor < codeLength())
    {
        skipBlanks();
        if (m_cursor >= codeLength())
            break;
        const unsigned char b = static_cast<unsigned char>(text[m_cursor]);
        if (b >= 0x80)
        {
            m_cursor += (b & 0x7F) ? (b & 0x7F) : 1;
            continue;
        }
        if (isLineEnd(b))
            return;
        if (take("else"))
        {
            skipBlanks();
            return;
        }
        while (m_cursor < codeLength() && text[m_cursor] != ' ' && text[m_cursor] != '\t' &&
               !isLineEnd(static_cast<unsigned char>(text[m_cursor])))
            ++m_cursor;
    }
}

void CInterpreter::gotoWord()
{
    const std::size_t start = m_cursor;
    m_cursor += 4;
    skipBlanks();
    int target = 0;
    if (take("K"))
    {
        const bool backward = take("-");
        int n = 0;
        if (!readIndex(n))
            return unknownWordAt(start);
        target = backward ? -n : n;
    }
    else if (take("R"))
    {
        int n = 0;
        if (!readRIndex(n))
            return;
        target = TruncToInt(getR(n));
    }
    else
        return unknownWordAt(start);
    m_jumpTarget = target;
    m_jumpStarted = false;
    setState(InterpreterState::JumpPending);
}

// Whether the line at start is block "N<number>": blanks, markers, "ssbreak"
// and "text<digits>" at its start are stepped over first.
bool CInterpreter::lineIsBlock(std::size_t start, int number) const
{
    const char* text = m_text.mainText();
    std::size_t pos = start;
    auto word = [&](const char* w)
    {
        const std::size_t n = std::strlen(w);
        return pos + n <= m_textLength && std::strncmp(text + pos, w, n) == 0;
    };
    for (;;)
    {
        if (pos >= m_textLength)
            return false;
        const unsigned char b = static_cast<unsigned char>(text[pos]);
        if (b >= 0x80)
            pos += (b & 0x7F) ? (b & 0x7F) : 1;
        else if (b == ' ' || b == '\t')
            ++pos;
        else if (word("ssbreak"))
            pos += 7;
        else if (word("text"))
        {
            pos += 4;
            while (pos < m_textLength && text[pos] >= '0' && text[pos] <= '9')
                ++pos;
        }
        else
            break;
    }
    if (text[pos] != 'N' && text[pos] != 'n')
        return false;
    ++pos;
    const std::string digits = std::to_string(number);
    if (pos + digits.size() > m_textLength || std::strncmp(text + pos, digits.c_str(), digits.size()) != 0)
        return false;
    pos += digits.size();
    return pos >= m_textLength || text[pos] < '0' || text[pos] > '9';
}

// One piece of the search for the jump target: at most JumpLinesPerStep lines
// per call, so that a long search is spread over several steps. Forward
// searches start with the next line, backward ones with the current line.
void CInterpreter::resolveJump()
{
    const bool backward = m_jumpTarget < 0;
    const int number = backward ? -m_jumpTarget : m_jumpTarget;
    if (!m_jumpStarted)
    {
        m_jumpLine = lineOfPosition(m_cursor) + (backward ? 0 : 1);
        m_jumpStarted = true;
    }
    for (int examined = 0; examined < JumpLinesPerStep; ++examined)
    {
        if (m_jumpLine >= m_lineStarts.size())
        {
            m_jumpStarted = false;
            return fail(NcMsg::GotoNotFound, "%d%d%d", {static_cast<long long>(m_jumpTarget)},
                        NcError::WordOrRange);
        }
        if (lineIsBlock(m_lineStarts[m_jumpLine], number))
        {
            m_jumpStarted = false;
            enterCode(ProgramCode, m_lineStarts[m_jumpLine]);
            setState(InterpreterState::Running);
            return;
        }
        if (backward)
        {
            if (m_jumpLine == 0)
                m_jumpLine = m_lineStarts.size(); // start of the text passed
            else
                --m_jumpLine;
        }
        else
            ++m_jumpLine;
    }
}

// A repeat count of 0 or less runs the part once.
bool CInterpreter::callLabel(int label, int repeat, std::int32_t returnPos, bool askChannel)
{
    const std::string name = "L" + std::to_string(label);
    std::int32_t position = 0;
    if (!m_labels.find(name.c_str(), position))
    {
        int found = 0;
        if (askChannel)
        {
            found = m_channel.findLabel(name, position);
            if (found == 1)
                m_labels.define(name.c_str(), position);
        }
        if (found != 1)
        {
            if (!askChannel)
                fail(NcMsg::StackFull, "%d%d", {}, NcError::LabelNotFound);
            else
                fail(found < 0 ? NcMsg::RepeatNoSearch : NcMsg::RepeatLabelNotFound, "%d%d%d",
                     {static_cast<long long>(label)}, NcError::LabelNotFound);
            return false;
        }
    }
    return pushFrame(ProgramCode, position, returnPos, repeat < 1 ? 1 : repeat);
}

// A frame remembers the texts of its target and of its return position, so
// that a return from a macro text goes back into the caller's text.
bool CInterpreter::pushFrame(int targetCode, std::int32_t target, std::int32_t returnPos, int repeat)
{
    const unsigned depth = m_calls.depth();
    if (!m_calls.push(target, target, returnPos, repeat))
    {
        fail(NcMsg::StackFull, "%d%d", {}, NcError::WordOrRange);
        return false;
    }
    m_frameCodes[depth][0] = targetCode;
    m_frameCodes[depth][1] = m_codeId;
    enterCode(targetCode, static_cast<std::size_t>(target));
    return true;
}

void CInterpreter::callWord()
{
    const std::size_t start = m_cursor;
    m_cursor += 4;
    BuiltinMacros::Entry entry;
    std::size_t nameLength = 0;
    if (BuiltinMacros::findEntry(code() + m_cursor, codeLength() - m_cursor, entry, nameLength))
    {
        m_cursor += nameLength;
        return callMacro(entry);
    }
    int label = 0;
    if (!readIndex(label))
        return unknownWordAt(start);
    int repeat = 1;
    const std::size_t afterLabel = m_cursor;
    skipBlanks();
    if (take("repeat"))
    {
        double count = 0.0;
        if (!readNumber(count, false))
            return unknownWordAt(start);
        repeat = TruncToInt(count);
    }
    else
        m_cursor = afterLabel;
    callLabel(label, repeat, static_cast<std::int32_t>(m_cursor), false);
}

void CInterpreter::repeatWord(int label, int repeat)
{
    callLabel(label, repeat, static_cast<std::int32_t>(m_cursor), true);
}

void CInterpreter::returnWord()
{
    bool again = false;
    if (m_calls.empty())
        return fail(NcMsg::ReturnWithoutCall, "%d%d", {}, NcError::ReturnWithoutCall);
    const unsigned top = m_calls.depth() - 1;
    if (m_calls.countDown(again) && again)
    {
        std::int32_t target = 0;
        m_calls.top(&target, nullptr, nullptr, nullptr);
        enterCode(m_frameCodes[top][0], static_cast<std::size_t>(target));
        return;
    }
    std::int32_t returnPos = 0;
    m_calls.pop(nullptr, nullptr, &returnPos, nullptr);
    enterCode(m_frameCodes[top][1], static_cast<std::size_t>(returnPos));
}

void CInterpreter::enterCode(int codeId, std::size_t position)
{
    m_codeId = codeId;
    if (codeId != ProgramCode)
    {
        const std::string& text = BuiltinMacros::text(codeId);
        m_macroCode = text.c_str();
        m_macroLength = text.size();
    }
    m_cursor = position;
}

// The entries of the cycle macros: each first takes the result of the
// comparisons run before it (the mismatch counter), then runs its text.
void CInterpreter::callMacro(BuiltinMacros::Entry entry)
{
    using BuiltinMacros::Entry;
    auto firstSide = [&]
    {
        for (int side = 1; side <= 4; ++side)
            if (m_macroSides[side - 1])
                return side;
        return 0;
    };
    auto takeResult = [&](bool& flag)
    {
        if (m_mismatches == 0)
            flag = true;
        else
            m_mismatches = 0;
    };
    int text = 0;
    switch (entry)
    {
    case Entry::ExitHighParam:
        text = BuiltinMacros::exitHighParamText();
        break;
    case Entry::EdgeRadiusValidation:
        // A cycle starts from clear flags: comparisons of the program before
        // it, or sides left set by an earlier cycle, must not select a side.
        m_mismatches = 0;
        m_cornerRadiusZero = false;
        for (bool& side : m_macroSides)
            side = false;
        text = BuiltinMacros::edgeRadiusValidationText();
        break;
    case Entry::CmpSide1Position:
        m_cornerRadiusZero = m_mismatches == 0;
        m_mismatches = 0;
        text = BuiltinMacros::sideComparisonText(1);
        break;
    case Entry::CmpSide2Position:
    case Entry::CmpSide3Position:
    case Entry::CmpSide4Position:
    {
        const int side = entry == Entry::CmpSide2Position ? 2 : (entry == Entry::CmpSide3Position ? 3 : 4);
        takeResult(m_macroSides[side - 2]);
        text = BuiltinMacros::sideComparisonText(side);
        break;
    }
    case Entry::SetOffsetG36:
    case Entry::SetOffsetG37:
    {
        takeResult(m_macroSides[3]);
        const int side = firstSide();
        if (side > 0)
            text = BuiltinMacros::startOffsetText(entry == Entry::SetOffsetG36 ? 36 : 37, side);
        break;
    }
    case Entry::MacroG36:
    case Entry::MacroG37:
    {
        const int side = firstSide();
        if (side == 0)
            break; // the tool stands on no side: no contour
        m_macroSides[side - 1] = false;
        const bool plain = m_cornerRadiusZero;
        m_cornerRadiusZero = false;
        text = BuiltinMacros::rectangleText(entry == Entry::MacroG36 ? 36 : 37, side, !plain);
        break;
    }
    case Entry::MacroG38:
    case Entry::MacroG39:
        text = BuiltinMacros::circleText(entry == Entry::MacroG38 ? 38 : 39);
        break;
    }
    if (text != 0)
        pushFrame(text, 0, static_cast<std::int32_t>(m_cursor), 1);
}
