// Operand stack words: "pushc", "popc" with its setters, and "calc".
#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>

#include "interpreter.h"
#include "nc_numbers.h"
#include "rotation.h"

namespace
{
constexpr double Pi = 3.14159265358979323846;
constexpr double Tolerance = 0.000001;

double radians(double degrees)
{
    return degrees * Pi / 180.0;
}
} // namespace

bool CInterpreter::push(double value)
{
    if (!m_stack.push(value))
    {
        fail(NcMsg::StackFull, "%d%d", {}, NcError::WordOrRange);
        return false;
    }
    return true;
}

bool CInterpreter::pop(double& value)
{
    if (!m_stack.pop(value))
    {
        fail(NcMsg::StackEmpty, "%d%d", {}, NcError::StackEmpty);
        return false;
    }
    return true;
}

// "P<n>": the value of R<n>, truncated, selects the R parameter.
bool CInterpreter::readIndirectIndex(int& index)
{
    int n = 0;
    if (!readRIndex(n))
        return false;
    const double selector = std::trunc(getR(n));
    if (selector < 0 || selector >= RParams)
    {
        fail(NcMsg::IndirectIndex, "%d%d%d%d", {selector, static_cast<long long>(n)},
             NcError::ParameterIndex);
        return false;
    }
    index = static_cast<int>(selector);
    return true;
}

bool CInterpreter::readIndirect(double& value)
{
    int index = 0;
    if (!readIndirectIndex(index))
        return false;
    value = getR(index);
    return true;
}

void CInterpreter::pushc()
{
    if (m_stack.full())
        return (void)push(0.0);
    double v = 0.0;
    const std::size_t start = m_cursor;
    int n = 0;
    if (readNumber(v, true))
    {
    }
    else if (take("R"))
    {
        if (!readRIndex(n))
            return;
        v = getR(n);
    }
    else if (take("PI"))
        v = Pi;
    else if (take("P"))
    {
        if (!readIndirect(v))
            return;
    }
    else if (take("G"))
    {
        if (!readIndex(n))
            return unknownWord();
        if (n >= GParams)
            return fail(NcMsg::ParameterIndex, "%d%d%d", {static_cast<long long>(n)},
                        NcError::ParameterIndex);
        v = m_g[n];
    }
    else if (take("F"))
        v = m_block.m_feed;
    else if (take("S"))
        v = m_block.m_spindleSpeed;
    else if (take("X"))
    {
        int axis = 0;
        if (!readIndex(n))
            return unknownWordAt(start);
        if (!axisIndex(n, axis, "X"))
            return;
        v = currentAxis(axis);
    }
    else if (take("Q"))
    {
        if (!readIndex(n))
            return unknownWord();
        if (n < 1 || n > CBlockState::AuxAxes)
            return fail(NcMsg::QIndex, "%d%d%d", {static_cast<long long>(n)}, NcError::AddressIndex);
        v = m_block.m_aux[n - 1];
    }
    else
        return unknownWordAt(start);
    push(v);
}

namespace
{
struct Range
{
    const char* name;
    double minimum;
    double maximum;
    std::uint32_t message;
};
} // namespace

void CInterpreter::popc()
{
    skipBlanks();
    const std::size_t start = m_cursor;
    double v = 0.0;
    if (!pop(v))
        return;
    int n = 0;
    const char* text = code();
    auto digitAfterLetter = [&]
    { return m_cursor + 1 < codeLength() && std::isdigit(static_cast<unsigned char>(text[m_cursor + 1])); };
    if (at("R") && digitAfterLetter())
    {
        ++m_cursor;
        if (!readRIndex(n))
            return;
        return setR(n, v);
    }
    if (at("P") && digitAfterLetter())
    {
        // The indirect destination: R<n> selects the R parameter, as for "pushc".
        ++m_cursor;
        int target = 0;
        if (!readIndirectIndex(target))
            return;
        return setR(target, v);
    }
    if (at("G") && digitAfterLetter())
    {
        ++m_cursor;
        readIndex(n);
        if (n >= GParams)
            return fail(NcMsg::ParameterIndex, "%d%d%d", {static_cast<long long>(n)},
                        NcError::ParameterIndex);
        m_g[n] = v;
        return;
    }
    const bool centreLetter = at("I") || at("J") || at("K");
    if ((at("X") && digitAfterLetter()) ||
        (centreLetter &&
         !(m_cursor + 1 < codeLength() && std::isalpha(static_cast<unsigned char>(text[m_cursor + 1])))))
    {
        const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(code()[m_cursor])));
        ++m_cursor;
        // Centres may name their group; axes always name group and axis.
        if (!readIndex(n) && letter == 'X')
            return unknownWordAt(start);
        int axis = 0;
        if (letter == 'X')
        {
            if (axisIndex(n, axis, "X"))
                setAxis(axis, v);
            return;
        }
        if (n > 1)
            return unknownWordAt(start);
        if (!setCentre(letter - 'I', v))
            unknownWordAt(start);
        return;
    }
    if (at("Q") && digitAfterLetter())
    {
        ++m_cursor;
        readIndex(n);
        setAux(n, v);
        return;
    }
    if (at("F") &&
        !(m_cursor + 1 < codeLength() && std::isalpha(static_cast<unsigned char>(text[m_cursor + 1]))))
    {
        ++m_cursor;
        setFeed(v);
        return;
    }
    if (!popSetter(v))
        unknownWordAt(start);
}

// Setters of several values take one value per word; the values come off the
// stack last first. True once the last has come.
bool CInterpreter::collectValue(double v, int count)
{
    m_set.setterValues[count - 1 - m_set.setterIndex] = v;
    if (++m_set.setterIndex < count)
        return false;
    m_set.setterIndex = 0;
    return true;
}

// Three values of one function entry (value1..value3), queued once the last came.
void CInterpreter::collectThreeValues(double v, std::uint32_t code)
{
    if (!collectValue(v, 3))
        return;
    CEntryFunk f;
    f.m_value1 = m_set.setterValues[0];
    f.m_value2 = m_set.setterValues[1];
    f.m_value3 = m_set.setterValues[2];
    queueFunction(code, f);
}

bool CInterpreter::checkRange(double value, double minimum, double maximum, std::uint32_t message)
{
    if (value < minimum || value > maximum)
    {
        fail(message, "%d%d%f", {value}, NcError::WordOrRange);
        return false;
    }
    return true;
}

// Named setters; each pops its value (already taken), checks its range and
// stores it. Setters of several values take one value per word and act when
// the last has come.
bool CInterpreter::popSetter(double v)
{
    constexpr double Any = 1e300;
    CEntryFunk f;
    auto collect = [&](int count) { return collectValue(v, count); };
    if (take("AutoAccurateStop "))
    {
        if (!checkRange(v, 0, 360, 0xC77))
            return true;
        f.m_value1 = v > 0 ? v : 0.0;
        f.m_word3 = v > 0 ? 1 : 3;
        queueFunction(17, f);
        return true;
    }
    if (take("AxDyn "))
    {
        // Taken top first: the axis index, then jerk, deceleration, acceleration.
        if (m_set.setterIndex == 0)
        {
            if (v < -0.0001 || v > 7.0001)
            {
                fail(0xC9B, "%d%d%d", {v}, NcError::WordOrRange);
                return true;
            }
        }
        else
        {
            static const std::uint32_t messages[] = {0xC9E, 0xC9D, 0xC9C};
            if (!checkRange(v, 0, Any, messages[(m_set.setterIndex - 1) % 3]))
                return true;
        }
        if (collect(4))
        {
            f.m_word1 = static_cast<std::int32_t>(std::lround(m_set.setterValues[3]));
            f.m_value2 = m_set.setterValues[0];
            f.m_value3 = m_set.setterValues[1];
            f.m_value4 = m_set.setterValues[2];
            queueFunction(22, f);
        }
        return true;
    }
    if (take("Ang "))
    {
        if (!checkRange(v, -360, 360, 0xCA3))
            return true;
        m_block.m_angle = v;
        m_block.m_angleProgrammed = true;
        m_block.m_programmedAxes += 2;
        markOutput();
        return true;
    }
    if (take("BwMod "))
    {
        // The value names the modulo axis: the character code of X, Y or Z,
        // or 1 to 5 for Q1 to Q5. Each axis has its own bit, so that several
        // modulo axes stay apart.
        int bit = -1;
        if (v == std::trunc(v) && v >= 'X' && v <= 'Z')
            bit = static_cast<int>(v) - 'X';
        else if (v == std::trunc(v) && v >= 1 && v <= CBlockState::AuxAxes)
            bit = 2 + static_cast<int>(v);
        if (bit < 0)
            return false;
        m_set.modeMask |= 1 << bit;
        return true;
    }
    if (take("Chf ") || take("Chr ") || take("Rnd "))
    {
        const char kind = code()[m_cursor - 2];
        if (v < 0)
        {
            fail(kind == 'd' ? 0xCAF : 0xCA7, "%d%d", {}, NcError::WordOrRange);
            return true;
        }
        announceCorner(kind == 'f' ? 2 : (kind == 'r' ? 1 : 3), v);
        return true;
    }
    if (take("DynOvr"))
    {
        if (checkRange(v, 0.01, 1.0, 0xC67))
        {
            m_set.dynOvr = v;
            f.m_value1 = v;
            queueFunction(6, f);
        }
        return true;
    }
    if (take("D"))
    {
        if (checkRange(v, 0, 255, 0xC98))
            selectToolCorrection(static_cast<int>(v));
        return true;
    }
    if (take("Lims"))
    {
        m_set.spindleLimit = v;
        f.m_value1 = v;
        queueFunction(19, f);
        return true;
    }
    if (take("L"))
    {
        // Indirect call: the label came last, "popcRepeat" takes the count.
        skipBlanks();
        if (!take("popcRepeat"))
            return false;
        double count = 0.0;
        if (!pop(count))
            return true;
        repeatWord(TruncToInt(v), TruncToInt(count));
        return true;
    }
    if (take("MFunc"))
    {
        if (v < 0 || v >= MDefCount)
        {
            fail(NcMsg::MFuncRange, "%d, %d, %d", {v}, NcError::WordOrRange);
            return true;
        }
        executeM(0, static_cast<int>(v));
        return true;
    }
    if (take("PathDynamic "))
    {
        static const std::uint32_t messages[] = {0xC6B, 0xC6D, 0xC6C};
        if (!checkRange(v, 0, Any, messages[m_set.setterIndex % 3]))
            return true;
        collectThreeValues(v, 5);
        return true;
    }
    if (take("RadiusPrec "))
    {
        if (checkRange(v, 0.001, 1.0, 0xC81))
            m_radiusPrecision = v;
        return true;
    }
    if (take("radius"))
    {
        setRadius(v);
        return true;
    }
    if (at("Seg ") || at("Scale "))
    {
        const bool segment = take("Seg ");
        if (!segment)
            take("Scale ");
        if (v < 0)
        {
            fail(0xCA4, "%d%d", {}, NcError::WordOrRange);
            return true;
        }
        if (segment)
        {
            m_set.segment = v;
            m_set.segmentSet = true;
            markOutput();
        }
        else if (collectValue(v, 3))
        {
            // Scale factors of X, Y and Z for the axis and centre words.
            std::copy(m_set.setterValues, m_set.setterValues + 3, m_set.scale);
            m_set.scaling = true;
        }
        return true;
    }
    if (take("SF "))
    {
        if (checkRange(v, 0, 359.99999, 0xC67))
            m_set.spindleOrientation = v;
        return true;
    }
    if (take("VeloJump "))
    {
        if (!checkRange(v, 0, Any, 0xC6E))
            return true;
        collectThreeValues(v, 9);
        return true;
    }
    if (popMultiValueSetter(v) || popOneAxisSetter(v) || popToolSetter(v))
        return true;
    static const struct
    {
        const char* name;
        double minimum;
        double maximum;
        std::uint32_t message;
        std::uint32_t code;
    } single[] = {
        {"CircularSmoothing ", 0, Any, 0xC69, 16},
        {"SplineSmoothing ", 0, Any, 0xC74, 11},
        {"VeloMin ", 0, Any, 0xC6F, 7},
        {"VeloReductionC1 ", 0, 1.0, 0xC68, 8},
        {"VeloReductionC2 ", 0, Any, 0xC75, 12},
    };
    for (const auto& s : single)
        if (take(s.name))
        {
            if (checkRange(v, s.minimum, s.maximum, s.message))
            {
                f.m_value1 = v;
                queueFunction(s.code, f);
            }
            return true;
        }
    if (take("ZS "))
    {
        if (v < 54 || v > 57)
            fail(0xCB5, "%d%d%d", {v}, NcError::WordOrRange);
        else
            executeG(0, static_cast<int>(v));
        return true;
    }
    return false;
}

bool CInterpreter::calcRelation(const std::string& op)
{
    static const char* const equal[] = {"=", "=="};
    static const char* const notEqual[] = {"!=", "<>", "><", "=!"};
    static const char* const greaterEqual[] = {">=", "=>", "!<", "<!"};
    static const char* const lessEqual[] = {"<=", "=<", "!>", ">!"};
    auto in = [&](const auto& list)
    {
        for (const char* s : list)
            if (op == s)
                return true;
        return false;
    };
    int kind = 0;
    if (in(equal))
        kind = 1;
    else if (in(notEqual))
        kind = 2;
    else if (in(greaterEqual))
        kind = 3;
    else if (in(lessEqual))
        kind = 4;
    else if (op == ">")
        kind = 5;
    else if (op == "<")
        kind = 6;
    else
        return false;
    if (m_stack.depth() < 2)
    {
        fail(NcMsg::StackEmpty, "%d%d", {}, NcError::StackEmpty);
        return true;
    }
    double a = 0.0, b = 0.0;
    m_stack.pop(b);
    m_stack.pop(a);
    bool result = false;
    switch (kind)
    {
    case 1:
        result = std::fabs(a - b) <= Tolerance;
        break;
    case 2:
        result = std::fabs(a - b) > Tolerance;
        break;
    case 3:
        result = a >= b;
        break;
    case 4:
        result = a <= b;
        break;
    case 5:
        result = a > b;
        break;
    default:
        result = a < b;
        break;
    }
    m_condition = result ? 1 : 0;
    if (!result && (kind == 1 || kind >= 5))
        ++m_mismatches;
    return true;
}

bool CInterpreter::calcRotation(const std::string& op)
{
    const bool rotVec = op == "RotVec";
    if (!rotVec && op != "Rot" && op != "InvRot")
        return false;
    const unsigned needed = rotVec ? 6 : 3;
    if (m_stack.depth() < needed)
    {
        fail(NcMsg::StackEmpty, "%d%d", {}, NcError::StackEmpty);
        return true;
    }
    double angles[3] = {m_set.rotationAngles[0], m_set.rotationAngles[1], m_set.rotationAngles[2]};
    if (rotVec)
        for (int i = 2; i >= 0; --i)
            m_stack.pop(angles[i]);
    double xyz[3];
    for (int i = 2; i >= 0; --i)
        m_stack.pop(xyz[i]);
    const CVec3d in(xyz[0], xyz[1], xyz[2]);
    const CVec3d v = op == "InvRot" ? RotateBackByAngles(in, angles) : RotateByAngles(in, angles);
    m_stack.push(v.GetX());
    m_stack.push(v.GetY());
    m_stack.push(v.GetZ());
    return true;
}

void CInterpreter::calc()
{
    skipBlanks();
    const char* text = code();
    const std::size_t start = m_cursor;
    std::size_t end = m_cursor;
    while (end < codeLength() && static_cast<unsigned char>(text[end]) > ' ' &&
           static_cast<unsigned char>(text[end]) < 0x80)
        ++end;
    const std::string op(text + start, end - start);
    m_cursor = end;
    if (op.empty())
        return unknownWord();
    if (calcRelation(op) || calcRotation(op))
        return;

    auto need = [&](unsigned count)
    {
        if (m_stack.depth() >= count)
            return true;
        fail(NcMsg::StackEmpty, "%d%d", {}, NcError::StackEmpty);
        return false;
    };
    if (op == "+" || op == "-" || op == "*" || op == "/" || op == "min" || op == "max" || op == "exchange")
    {
        if (!need(2))
            return;
        double a = 0.0, b = 0.0;
        m_stack.pop(b);
        m_stack.pop(a);
        if (op == "exchange")
        {
            m_stack.push(b);
            m_stack.push(a);
            return;
        }
        double r = 0.0;
        switch (op[0])
        {
        case '+':
            r = a + b;
            break;
        case '-':
            r = a - b;
            break;
        case '*':
            r = a * b;
            break;
        case '/':
            if (std::fabs(b) < Tolerance)
                return fail(NcMsg::DivisionByZero, "%d%d", {}, NcError::DivisionByZero);
            r = a / b;
            break;
        default:
            r = op == "min" ? (a < b ? a : b) : (a > b ? a : b);
            break;
        }
        m_stack.push(r);
        return;
    }
    if (op == "read_md_bit")
    {
        if (!need(2))
            return;
        double word = 0.0, bit = 0.0;
        m_stack.pop(bit);
        m_stack.pop(word);
        int value = 0;
        if (readMdBit(TruncToInt(word), TruncToInt(bit), value))
            m_stack.push(value);
        return;
    }
    if (op == "write_md_bit" || op == "GetBit")
    {
        if (!need(3))
            return;
        double a = 0.0, b = 0.0, c = 0.0;
        m_stack.pop(c);
        m_stack.pop(b);
        m_stack.pop(a);
        if (op == "GetBit")
        {
            const long long bits = TruncToInt64(b);
            const long long bit = TruncToInt64(c);
            m_stack.push((bit >= 0 && bit < 63 && ((bits >> bit) & 1)) ? 1.0 : 0.0);
        }
        else
            writeMdBit(TruncToInt(a), TruncToInt(b), TruncToInt(c));
        return;
    }

    static const char* const unary[] = {"asin", "sin", "acos", "cos", "atan", "tan",
                                        "cot",  "abs", "neg",  "int", "sqrt", "sqr"};
    bool known = false;
    for (const char* u : unary)
        known = known || op == u;
    if (!known)
        return unknownWordAt(start); // also "acot", which has no computation
    if (!need(1))
        return;
    double a = 0.0;
    m_stack.pop(a);
    double r = 0.0;
    if (op == "sin")
        r = std::sin(radians(a));
    else if (op == "cos")
        r = std::cos(radians(a));
    else if (op == "tan")
    {
        if (std::fmod(a - 90.0, 180.0) == 0.0)
            return fail(NcMsg::TanDomain, "%d%d%f", {a}, NcError::ArithmeticDomain);
        r = std::tan(radians(a));
    }
    else if (op == "cot")
    {
        const double s = std::sin(radians(a));
        if (std::fabs(s) <= 1e-10)
            return fail(NcMsg::CotDomain, "%d%d%f", {a}, NcError::ArithmeticDomain);
        r = std::cos(radians(a)) / s;
    }
    else if (op == "asin" || op == "acos")
    {
        if (std::fabs(a) > 1.0)
            return fail(NcMsg::ArcDomain, "%d%d%f", {a}, NcError::ArithmeticDomain);
        r = op == "asin" ? std::asin(a) : std::acos(a);
    }
    else if (op == "atan")
        r = std::atan(a);
    else if (op == "sqr")
        r = a * a;
    else if (op == "sqrt")
    {
        if (a < 0)
            return fail(NcMsg::SqrtDomain, "%d%d", {}, NcError::ArithmeticDomain);
        r = std::sqrt(a);
    }
    else if (op == "abs")
        r = std::fabs(a);
    else if (op == "neg")
        r = -a;
    else
        r = std::trunc(a);
    m_stack.push(r);
}
