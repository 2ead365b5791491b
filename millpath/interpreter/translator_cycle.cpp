// Cycle parameter blocks of G36 to G39: the P parameters of the block load
// the cycle registers G0 to G12. The pieces of this text carry no blank of
// their own, and the constant pieces start a new line. A wrong parameter
// gives its message and error, and the walk goes on to the block's end.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "interpreter.h"
#include "token_scanners.h"
#include "translator.h"

namespace
{
constexpr int Registers = 20;

std::string constantPiece(double v, int reg)
{
    char text[400];
    std::snprintf(text, sizeof(text), "\npushc%.6f popcG%i", v, reg);
    return text;
}

std::string registerPiece(std::uint32_t r, int reg)
{
    return "pushcR" + std::to_string(r) + " popcG" + std::to_string(reg);
}

bool isUpper(char c, char letter)
{
    return std::toupper(static_cast<unsigned char>(c)) == letter;
}

enum class Value
{
    Missing,
    Wrong,
    Taken,
};
} // namespace

void CBlockTranslator::cycleMessage(int cycle, int index, const char* what)
{
    char text[256];
    std::snprintf(text, sizeof(text), what, cycle, index);
    m_message = text;
    m_ip.setTranslationMessage(m_message);
    noteError(NcError::CycleParameter);
}

// The value of parameter P<index> at the cursor.
bool CBlockTranslator::cycleValue(int cycle, int index)
{
    const bool circle = cycle >= 38;
    // A number (a digit, "." or "-" first) or R<m> into register reg.
    auto numberOrR = [&](int reg)
    {
        const char c = at();
        double v = 0.0;
        std::uint32_t r = 0;
        if ((std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-') && readNumber(v))
            return emit(constantPiece(v, reg)) ? Value::Taken : Value::Wrong;
        if (readR(r))
            return emit(registerPiece(r, reg)) ? Value::Taken : Value::Wrong;
        return Value::Missing;
    };
    // "<letter><v>" or "<letter>=R<m>".
    auto axisForm = [&](char letter, int reg)
    {
        if (!isUpper(at(), letter))
            return Value::Missing;
        ++m_pos;
        if (at() == '=')
        {
            ++m_pos;
            std::uint32_t r = 0;
            if (!readR(r))
                return Value::Wrong;
            return emit(registerPiece(r, reg)) ? Value::Taken : Value::Wrong;
        }
        double v = 0.0;
        if (!readNumber(v))
            return Value::Wrong;
        return emit(constantPiece(v, reg)) ? Value::Taken : Value::Wrong;
    };
    auto feed = [&](int reg)
    {
        if (!isUpper(at(), 'F'))
            return Value::Missing;
        ++m_pos;
        return emit("pushcF popcG" + std::to_string(reg)) ? Value::Taken : Value::Wrong;
    };
    auto either = [](Value a, auto&& next) { return a == Value::Missing ? next() : a; };

    switch (index)
    {
    case 1:
    case 2:
        if (numberOrR(index - 1) != Value::Taken)
            cycleMessage(cycle, index, "G%d command: invalid P%d parameter (value is not defined)");
        return true;
    case 3:
    {
        static const char* const names[] = {"x", "y", "z"};
        for (int a = 0; a < 3; ++a)
        {
            const Value v = axisForm(static_cast<char>('X' + a), 2 + a);
            char what[160];
            if (v == Value::Missing)
                std::snprintf(what, sizeof(what),
                              "G%%d command: invalid P%%d parameter (center %s coordinate is not defined)",
                              names[a]);
            else if (v == Value::Wrong)
                std::snprintf(
                    what, sizeof(what),
                    "G%%d command: invalid value of P%%d parameter (center %s coordinate value is not "
                    "correct)",
                    names[a]);
            if (v != Value::Taken)
            {
                cycleMessage(cycle, index, what);
                return true;
            }
            skipBlanks();
        }
        return true;
    }
    case 4:
        if (either(numberOrR(5), [&] { return feed(5); }) != Value::Taken)
            cycleMessage(cycle, index, "G%d command: invalid P%d parameter (optional infeed is undefined)");
        return true;
    case 5:
    {
        const Value v =
            either(axisForm('X', 6), [&] { return either(numberOrR(6), [&] { return feed(6); }); });
        if (v == Value::Wrong)
            cycleMessage(cycle, index, "G%d command: invalid P%d parameter (invalid x side length value)");
        else if (v == Value::Missing)
            cycleMessage(cycle, index, "G%d command: invalid P%d parameter (x side length is undefined)");
        return true;
    }
    case 6:
    {
        const Value v = either(axisForm('Y', 7), [&] { return numberOrR(7); });
        if (v != Value::Taken && circle)
            cycleMessage(cycle, index,
                         "G%d command: invalid P%d parameter (invalid xy-plane edge rounding value)");
        else if (v == Value::Wrong)
            cycleMessage(cycle, index, "G%d command: invalid P%d parameter (invalid y side length value)");
        else if (v == Value::Missing)
            cycleMessage(cycle, index, "G%d command: invalid P%d parameter (parameter value is undefined)");
        return true;
    }
    case 7:
        if (either(numberOrR(8), [&] { return feed(8); }) != Value::Taken)
            cycleMessage(cycle, index,
                         circle ? "G%d command: invalid P%d parameter (invalid xz-plane edge rounding value)"
                                : "G%d command: invalid P%d parameter (optional feed is undefined)");
        return true;
    default:
        if (numberOrR(index + 1) != Value::Taken)
            cycleMessage(cycle, index, "G%d command: invalid P%d parameter");
        return true;
    }
}

// The rest of the block from the cycle's G word. True when every parameter
// was taken; the text of the valid ones is appended in any case.
bool CBlockTranslator::cycleBlock(int cycle)
{
    const std::uint32_t errorBefore = m_error;
    const char* p = cursor();
    std::uint32_t n = 0;
    if (!isUpper(*p, 'G') || !(++p, NcScan::unsignedInteger(p, n)))
        return syntax();
    advanceTo(p);
    for (int reg = 0; reg < Registers; ++reg)
        if (!emit("pushc0.0 popcG" + std::to_string(reg)))
            return false;
    bool seen = false, p4 = false, p5 = false, p7 = false, high = false, commentOpen = false;
    const bool circle = cycle >= 38;
    while (!atEnd() && m_running)
    {
        const char c = at();
        if (c == '(')
        {
            const std::size_t close = m_block.find(')', m_pos);
            if (close == std::string::npos)
            {
                commentOpen = true;
                m_pos = m_block.size();
            }
            else
                m_pos = close + 1;
            continue;
        }
        if (!isUpper(c, 'P'))
        {
            ++m_pos;
            continue;
        }
        ++m_pos;
        std::uint32_t index = 0;
        if (!readIndex(index))
        {
            cycleMessage(cycle, 0, "G%d command: invalid P-parameter index (index is not defined)");
            continue;
        }
        if (index == 0 || index >= 12)
        {
            noteError(NcError::Syntax);
            continue;
        }
        seen = true;
        p4 = p4 || index == 4;
        p5 = p5 || index == 5;
        p7 = p7 || index == 7;
        high = high || index == 11 || (index == 8 && circle);
        skipBlanks();
        cycleValue(cycle, static_cast<int>(index));
    }
    if (!m_running)
        return false;
    if (commentOpen)
        noteError(NcError::Syntax);
    if (seen && !high)
        emit("callExitHighParam");
    if ((high || !seen) && circle)
        emit("pushcR9 popcG12");
    if (seen && !p4)
        emit("pushcF popcG5");
    // The circle's feed comes from P5; only without it the current feed
    // stands in, whatever P7 says.
    if (seen && !circle && !p7)
        emit("pushcF popcG8");
    if (seen && circle && !p5)
        emit("pushcF popcG6");
    if (!seen)
    {
        char text[64];
        std::snprintf(text, sizeof(text), "G%d command no parameters defined", cycle);
        m_message = text;
        m_ip.setTranslationMessage(m_message);
        noteError(NcError::CycleParameter);
    }
    if (m_error != errorBefore)
    {
        m_running = false; // an error of the cycle stops the block
        return false;
    }
    return m_running;
}
