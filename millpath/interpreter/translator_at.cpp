// The "@" commands of the block translator: parameter saving, jumps and
// comparisons, machine-data bits, outputs and arithmetic functions.
#include <cctype>
#include <cmath>
#include <cstring>

#include "interpreter.h"
#include "token_scanners.h"
#include "translator.h"

namespace
{
std::string operandText(char kind, double v)
{
    return std::string(1, kind) + std::to_string(static_cast<long long>(v));
}

// "pushcR5 ", "pushcP5 " or, for a constant, "pushc5 ".
std::string pushInteger(char kind, double v)
{
    return kind == 'K' ? "pushc" + std::to_string(static_cast<long long>(v)) + " "
                       : "pushc" + operandText(kind, v) + " ";
}
} // namespace

// The next operand, one of kinds ("R", "P" or "K"): R and P take an index
// below 1000, K a signed number.
bool CBlockTranslator::atOperand(const char* kinds, char& kind, double& v)
{
    skipBlanks();
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(at())));
    if (letter == '\0' || !std::strchr(kinds, letter))
        return false;
    ++m_pos;
    if (letter == 'K')
    {
        if (!readNumber(v))
            return false;
    }
    else
    {
        std::uint32_t n = 0;
        if (!readIndex(n) || n >= static_cast<std::uint32_t>(CInterpreter::RParams))
            return false;
        v = n;
    }
    kind = letter;
    return true;
}

void CBlockTranslator::atCommand()
{
    ++m_pos;
    const char* p = cursor();
    std::uint32_t code = 0;
    if (!NcScan::hexNumber(p, code))
        return (void)syntax();
    advanceTo(p);
    char k[3] = {};
    double v[3] = {};
    auto operands = [&](std::initializer_list<const char*> kinds)
    {
        int i = 0;
        for (const char* kind : kinds)
        {
            if (!atOperand(kind, k[i], v[i]))
                return syntax();
            ++i;
        }
        return true;
    };
    auto index = [&](int i) { return static_cast<long long>(v[i]); };
    auto r = [&](long long n) { return "R" + std::to_string(n); };
    std::string text;
    switch (code)
    {
    case 0x40:
    case 0x42:
    {
        if (!operands({"K"}) || v[0] < 0 || v[0] != std::trunc(v[0]))
            return (void)syntax();
        const long long count = index(0);
        for (long long i = 0; i < count; ++i)
        {
            char kind = 0;
            double n = 0.0;
            if (!atOperand("R", kind, n))
                return (void)syntax();
            const std::string name = r(static_cast<long long>(n));
            text += code == 0x40 ? "pushc" + name + " " + name + "=0 " : "popc" + name + " ";
        }
        break;
    }
    case 0x41:
    case 0x43:
        if (!operands({"R", "R"}))
            return;
        if (code == 0x41)
            for (long long i = index(0); i <= index(1); ++i)
                text += "pushc" + r(i) + " " + r(i) + "=0 ";
        else
            for (long long i = index(1); i >= index(0); --i)
                text += "popc" + r(i) + " ";
        break;
    case 0x100:
        if (!operands({"KR"}))
            return;
        if (k[0] == 'K' && (v[0] < 0 || v[0] != std::trunc(v[0])))
            return (void)syntax();
        text = "goto " + operandText(k[0], v[0]) + " ";
        break;
    case 0x111:
    {
        if (!operands({"RP"}))
            return;
        const std::string selector = "pushc" + operandText(k[0], v[0]) + " ";
        int pairs = 0;
        for (;;)
        {
            // The pairs may go on over the following lines of the block.
            while (at() == ' ' || at() == '\t' || at() == '\n' || at() == '\r')
                ++m_pos;
            char kind = 0, blockKind = 0;
            double value = 0.0, block = 0.0;
            const std::size_t before = m_pos;
            if (!atOperand("RPK", kind, value))
            {
                m_pos = before;
                break;
            }
            if (!atOperand("K", blockKind, block) || block < 0 || block != std::trunc(block))
                return (void)syntax();
            text += selector + pushInteger(kind, value) + "calc != jumpelse_c goto K" +
                    std::to_string(static_cast<long long>(block)) + " else ";
            ++pairs;
        }
        if (pairs == 0)
            return (void)syntax();
        break;
    }
    case 0x200:
        if (!operands({"RP"}))
            return;
        text = "pushc0 popc" + operandText(k[0], v[0]) + " ";
        break;
    case 0x202:
        if (!operands({"RP", "RP"}))
            return;
        text = "pushc" + operandText(k[0], v[0]) + " pushc" + operandText(k[1], v[1]) + " popc" +
               operandText(k[0], v[0]) + " popc" + operandText(k[1], v[1]) + " ";
        break;
    case 0x302:
        if (!operands({"RPK", "RPK", "RP"}))
            return;
        text = pushInteger(k[0], v[0]) + pushInteger(k[1], v[1]) + "calc read_md_bit popc" +
               operandText(k[2], v[2]) + " ";
        break;
    case 0x361:
        // The output request reads R800 and R801: the operands' values go
        // there, and both are restored after H1.
        if (!operands({"RP", "RPK"}))
            return;
        text = "pushcR800 pushcR801 pushc" + operandText(k[0], v[0]) + " popcR800 " +
               pushInteger(k[1], v[1]) + "popcR801 H1 popcR801 popcR800 ";
        break;
    case 0x372:
        if (!operands({"RP"}))
            return;
        text = "pushc" + std::to_string(m_ip.channel().channelNumber()) + " popc" + operandText(k[0], v[0]) +
               " ";
        break;
    case 0x402:
        if (!operands({"RPK", "RPK", "RPK"}))
            return;
        text = pushInteger(k[0], v[0]) + pushInteger(k[1], v[1]) + pushInteger(k[2], v[2]) +
               "calc write_md_bit ";
        if (k[0] == 'K' && k[1] == 'K' && k[2] == 'K' && v[0] == 5003 && v[1] == 5)
            m_ip.setEdgeRadiusValidation(v[2] != 0);
        break;
    case 0x610:
    case 0x613:
    case 0x630:
    case 0x631:
    case 0x632:
    case 0x633:
    case 0x634:
    case 0x635:
    case 0x636:
    {
        if (!operands({"R", "R"}))
            return;
        static const struct
        {
            std::uint32_t code;
            const char* calc;
        } functions[] = {
            {0x610, "calc abs "},
            {0x613, "calc sqrt "},
            {0x630, "calc sin "},
            {0x631, "calc cos "},
            {0x632, "calc tan "},
            {0x633, "calc cot "},
            {0x634, "calc asin pushc180 calc * pushcPI calc / "},
            {0x635, "calc acos pushc180 calc * pushcPI calc / "},
            {0x636, "calc atan pushc180 calc * pushcPI calc / "},
        };
        for (const auto& f : functions)
            if (f.code == code)
                text = "pushc" + r(index(1)) + " " + f.calc + "popc" + r(index(0)) + " ";
        break;
    }
    case 0x614:
        if (!operands({"R", "R", "R"}))
            return;
        text = "pushc" + r(index(1)) + " calc abs calc sqr pushc" + r(index(2)) +
               " calc abs calc sqr calc + calc sqrt popc" + r(index(0)) + " ";
        break;
    case 0x620:
    case 0x621:
    case 0x622:
    {
        if (!operands({"R"}))
            return;
        static const char* const steps[] = {"pushc1 calc + calc int ", "pushc1 calc - calc int ",
                                            "calc int "};
        text = "pushc" + r(index(0)) + " " + steps[code - 0x620] + "popc" + r(index(0)) + " ";
        break;
    }
    case 0x714:
        // The kernel is asked for the channel's state at the line end.
        m_pendingRead = true;
        return;
    case 0x716:
        text = "\nh5\n";
        break;
    case 0x717:
        text = "\nh6\n";
        break;
    default:
    {
        // The comparisons: the jump is taken when the relation does not hold
        // (the jumpeol_c skips it when it does); programs rely on that.
        static const char* const relations[] = {"==", "!=", ">", ">=", "<", "<="};
        const std::uint32_t family = code & ~0xFu;
        const std::uint32_t which = code & 0xFu;
        int relation = -1;
        if ((family == 0x120 || family == 0x130 || family == 0x140) && which >= 1 && which <= 6)
            relation = static_cast<int>(which) - 1;
        else if (code == 0x151 || code == 0x161)
            relation = 1;
        if (relation < 0)
            return (void)syntax();
        if (!operands({"RP", "RPK", "K"}))
            return;
        if (v[2] < 0 || v[2] != std::trunc(v[2]))
            return (void)syntax();
        text = "pushc" + operandText(k[0], v[0]) + " " +
               (k[1] == 'K' ? "pushc" + value(v[1]) + " " : "pushc" + operandText(k[1], v[1]) + " ") +
               "calc " + relations[relation] + " jumpeol_c goto K" + std::to_string(index(2)) + " ";
        break;
    }
    }
    emit(text);
}
