// The block translator's words: expressions, address words, G, H, L, M, N,
// T, R, S and P words and the keywords.
#include <cctype>
#include <cstring>

#include "interpreter.h"
#include "token_scanners.h"
#include "translator.h"

namespace
{
bool isOperator(char c)
{
    return c == '+' || c == '-' || c == '*' || c == '/';
}

bool isWordEnd(char c)
{
    return c == '\0' || c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool startsNumber(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == ',';
}

// The executor's registers of the three main axes.
std::string axisRegister(int axis)
{
    return "X1" + std::to_string(axis + 1);
}
} // namespace

// One operand of an expression, pushed. The first may carry a sign (a "-"
// before a parameter or axis negates it) and may be the spindle speed.
bool CBlockTranslator::operand(bool first)
{
    bool negate = false;
    if (first && (at() == '+' || at() == '-') && !startsNumber(at(1)))
    {
        negate = at() == '-';
        ++m_pos;
    }
    double v = 0.0;
    std::uint32_t n = 0;
    std::string push;
    const char* p = cursor();
    const int axis = NcScan::axisLetter(p);
    if ((at() == '+' || at() == '-' || startsNumber(at())) && readNumber(v))
        return emit("pushc" + value(v) + " ");
    if (readR(n))
        push = "pushcR" + std::to_string(n) + " ";
    else if (p = cursor(); NcScan::letterNumber(p, 'P', n) && n < 1000)
    {
        advanceTo(p);
        push = "pushcP" + std::to_string(n) + " ";
    }
    else if (axis >= 0)
    {
        ++m_pos;
        push = "pushc" + axisRegister(axis) + " ";
    }
    else if (first && std::toupper(static_cast<unsigned char>(at())) == 'S')
    {
        ++m_pos;
        push = "pushcS ";
    }
    else
        return false;
    return emit(push) && (!negate || emit("calc neg "));
}

// Strictly from left to right, with no precedence and no parentheses.
bool CBlockTranslator::expression(const char* destination)
{
    if (!operand(true))
        return syntax();
    while (isOperator(at()))
    {
        const char op = at();
        ++m_pos;
        if (!operand(false))
            return syntax();
        if (!emit(std::string("calc ") + op + " "))
            return false;
    }
    return emit(std::string("popc") + destination + " ");
}

bool CBlockTranslator::assignR()
{
    std::uint32_t index = 0;
    if (!readR(index) || at() != '=')
        return syntax();
    ++m_pos;
    const std::size_t valueStart = m_pos;
    double v = 0.0;
    if (readNumber(v) && isWordEnd(at()))
        return emit("R" + std::to_string(index) + "=" + value(v) + " ");
    m_pos = valueStart;
    return expression(("R" + std::to_string(index)).c_str());
}

// "P<n>=<expression>": the R parameter that R<n> selects.
bool CBlockTranslator::assignP()
{
    const char* p = cursor();
    std::uint32_t index = 0;
    if (!NcScan::letterNumber(p, 'P', index) || index >= 1000 || *p != '=')
        return syntax();
    advanceTo(p + 1);
    return expression(("P" + std::to_string(index)).c_str());
}

// B F I J K Q U X Y Z (and C when no keyword matched).
void CBlockTranslator::addressWord(char letter)
{
    ++m_pos;
    const int axis = letter >= 'X' && letter <= 'Z' ? letter - 'X' : -1;
    if (at() == '=')
    {
        ++m_pos;
        if (letter == 'Q')
            return (void)syntax();
        const std::string destination =
            axis >= 0 ? axisRegister(axis)
                      : (letter == 'B' || letter == 'U' ? "radius" : std::string(1, letter));
        expression(destination.c_str());
        return;
    }
    if (letter == 'Q' && (at() == '+' || at() == '-') && !startsNumber(at(1)))
    {
        const char sign = at();
        ++m_pos;
        emit(std::string("Q") + sign + " ");
        return;
    }
    // "<letter><digits>=": an indexed axis or Q value.
    const std::size_t afterLetter = m_pos;
    std::uint32_t index = 0;
    if (readIndex(index) && at() == '=')
    {
        ++m_pos;
        if (axis < 0 && letter != 'Q')
            return (void)syntax();
        const std::string name =
            (letter == 'Q' ? "Q" : "X") + std::to_string(letter == 'Q' ? index : index * 10 + axis + 1);
        const std::size_t valueStart = m_pos;
        double v = 0.0;
        if (readNumber(v) && isWordEnd(at()))
            emit(name + "=" + value(v) + " ");
        else
        {
            m_pos = valueStart;
            expression(name.c_str());
        }
        return;
    }
    m_pos = afterLetter;
    double v = 0.0;
    if (!readNumber(v))
        return (void)syntax();
    if (letter == 'Q')
        emit("Q" + std::to_string(static_cast<long long>(v)) + " ");
    else if (letter == 'B' || letter == 'U')
        emit("radius=" + value(v) + " ");
    else if (axis >= 0)
        emit(axisRegister(axis) + "=" + value(v) + " ");
    else
        emit(std::string(1, letter) + "=" + value(v) + " ");
}

// "<prefix><value> " for a constant, "pushcR<n> popc<setter> " for R<n>.
bool CBlockTranslator::valueOrR(const char* constantPrefix, const char* setter)
{
    std::uint32_t n = 0;
    if (readR(n))
        return emit("pushcR" + std::to_string(n) + " popc" + setter + " ");
    double v = 0.0;
    if (!readNumber(v))
        return syntax();
    return emit(constantPrefix + value(v) + " ");
}

// As valueOrR, with a range for the constant: outside it the word is a
// syntax error, logged with the channel number.
bool CBlockTranslator::rangedValueOrR(const char* constantPrefix, const char* setter, double minimum,
                                      double maximum)
{
    const std::size_t start = m_pos;
    std::uint32_t r = 0;
    double v = 0.0;
    if (!readR(r) && readNumber(v) && (v < minimum || v > maximum))
    {
        logRange(NcMsg::RangeKeyword);
        return syntax();
    }
    m_pos = start;
    return valueOrR(constantPrefix, setter);
}

void CBlockTranslator::wordA()
{
    if (keyword("arot"))
        return (void)emit("arot ");
    if (keyword("ANG="))
        return (void)rangedValueOrR("ang=", "Ang", -360.0, 360.0);
    syntax();
}

// "[R<a>;R<b>;...]" of count operands (R parameters only, or numbers too):
// their pushes and the R indexes.
bool CBlockTranslator::bracketList(char open, char close, int count, std::string& pushes,
                                   std::uint32_t* indexes, bool rOnly)
{
    if (at() != open)
        return syntax();
    ++m_pos;
    for (int i = 0; i < count; ++i)
    {
        skipBlanks();
        if (rOnly)
        {
            if (!readR(indexes[i]))
                return syntax();
            pushes += "pushcR" + std::to_string(indexes[i]) + " ";
        }
        else if (!argumentOperand(pushes))
            return syntax();
        skipBlanks();
        if (at() != (i + 1 < count ? ';' : close))
            return syntax();
        ++m_pos;
    }
    return true;
}

// A signed number ("pushc%f ") or an unsigned R parameter ("pushcR%d ").
bool CBlockTranslator::argumentOperand(std::string& push)
{
    std::uint32_t n = 0;
    if (readR(n))
    {
        push += "pushcR" + std::to_string(n) + " ";
        return true;
    }
    double v = 0.0;
    if (!readNumber(v))
        return false;
    push += "pushc" + value(v) + " ";
    return true;
}

void CBlockTranslator::wordC()
{
    // "CF" with a capital F is one of the contour-feed keywords only.
    if (at(1) == 'F')
    {
        for (const char* kw : {"cftcp", "cfc", "cfin"})
            if (keyword(kw))
                return (void)emit(std::string(kw) + " ");
        return (void)syntax();
    }
    if (keyword("cip"))
        return (void)emit("set lineflag CIPaktiv ");
    for (const char* kw : {"cftcp", "cfc", "cfin", "cdon", "cdof", "cpcon", "cpcof"})
        if (keyword(kw))
            return (void)emit(std::string(kw) + " ");
    if (keyword("CHF="))
        return (void)valueOrR("chf=", "Chf");
    if (keyword("CHR="))
        return (void)valueOrR("chr=", "Chr");
    const bool inverse = isKeyword("CalcInvRot");
    if (keyword("CalcRot") || keyword("CalcInvRot"))
    {
        std::string pushes;
        std::uint32_t r[3];
        if (!bracketList('[', ']', 3, pushes, r, true))
            return;
        emit(pushes + (inverse ? "calcInvRot " : "calcRot ") + "popcR" + std::to_string(r[2]) + " popcR" +
             std::to_string(r[1]) + " popcR" + std::to_string(r[0]) + " ");
        return;
    }
    addressWord('C');
}

void CBlockTranslator::wordD()
{
    if (keyword("DIAMON"))
        return (void)emit("DIAMON ");
    if (keyword("DIAMOF"))
        return (void)emit("DIAMOF ");
    if (keyword("deldtg"))
        return (void)emit("deldtg ");
    if (keyword("dynovr="))
        return (void)rangedValueOrR("dynovr=", "DynOvr", 0.01, 1.0);
    ++m_pos;
    std::uint32_t n = 0;
    if (at() == '=')
    {
        ++m_pos;
        if (readR(n))
            return (void)emit("pushcR" + std::to_string(n) + " popcD ");
    }
    if (!readIndex(n))
        return (void)syntax();
    emit("D" + std::to_string(n) + " ");
}

void CBlockTranslator::wordF()
{
    if (keyword("FConst"))
        return (void)emit("fconst ");
    if (keyword("FLin"))
        return (void)emit("flin ");
    addressWord('F');
}

void CBlockTranslator::wordZ()
{
    if (!keyword("ZeroShiftInc"))
        return addressWord('Z');
    skipBlanks();
    std::uint32_t n = 0;
    const char* p = cursor();
    if (!NcScan::letterNumber(p, 'X', n))
        return (void)syntax();
    advanceTo(p);
    skipBlanks();
    const char* setting = keyword("On") ? "ZeroShiftIncOn " : (keyword("Off") ? "ZeroShiftIncOff " : nullptr);
    if (!setting)
        return (void)syntax();
    emit("X" + std::to_string(n) + " " + setting);
}

void CBlockTranslator::wordG()
{
    const char letter = at();
    ++m_pos;
    const std::size_t digitsStart = m_pos;
    std::uint32_t n = 0;
    if (!readIndex(n))
        return (void)syntax();
    if (m_ip.restrictedMode() && (n == 58 || n == 59))
        return (void)syntax();
    if (n >= 36 && n <= 39)
    {
        m_pos = digitsStart - 1;
        const bool contour = n <= 37;
        const bool validation = contour && m_ip.edgeRadiusValidation();
        if (validation && !emit("pushc5003 pushc5.0 pushc0.0 calc write_md_bit "))
            return;
        if (!cycleBlock(static_cast<int>(n)))
            return;
        const std::string c = std::to_string(n);
        if (contour)
        {
            emit("callEdgeRadiusValidation");
            emit("pushc1.0 pushc2.0 calc / pushcG6 calc * popcG13 pushc-1.0 pushc2.0 calc / pushcG7 calc * "
                 "popcG14");
            for (int side = 1; side <= 4; ++side)
                emit("callCmpSide" + std::to_string(side) + "Position");
            emit("callSetXY_OffsetPosSideG" + c);
        }
        emit("callMacroG" + c);
        if (validation)
            emit("pushc5003 pushc5.0 pushc1.0 calc write_md_bit ");
        return;
    }
    std::string text = std::string(1, letter) + m_block.substr(digitsStart, m_pos - digitsStart);
    if (at() == '=')
    {
        const std::size_t equals = m_pos++;
        std::uint32_t more = 0;
        readIndex(more);
        text += m_block.substr(equals, m_pos - equals);
    }
    if (!emit(text))
        return;
    if (m_ip.restrictedMode())
    {
        // A G word ends its block; only a comment may follow.
        for (;;)
        {
            skipBlanks();
            if (at() == '(')
                comment();
            else
                break;
        }
        if (!atEnd())
            syntax();
    }
}

// H and S words pass their value through R800, saved around the executor's
// operation h3 (H, a signed integer) or h4 (S, the spindle speed); "<k>="
// selects value k of several.
void CBlockTranslator::r800Word(int operation)
{
    ++m_pos;
    const bool integer = operation == 3;
    std::uint32_t m = 0;
    auto constant = [&](std::string& text)
    {
        double v = 0.0;
        std::int32_t n = 0;
        if (integer ? !readSigned(n) : !readNumber(v))
            return false;
        text = integer ? std::to_string(n) : value(v);
        return true;
    };
    const std::string h = " h" + std::to_string(operation) + " popcR800 ";
    std::string text;
    if (at() == '=')
    {
        ++m_pos;
        if (readR(m))
            return (void)emit("pushcR800 pushcR" + std::to_string(m) + " popcR800" + h);
        if (!constant(text))
            return (void)syntax();
        return (void)emit("pushcR800 r800=" + text + h);
    }
    const std::size_t start = m_pos;
    std::uint32_t k = 0;
    if (readIndex(k) && at() == '=')
    {
        ++m_pos;
        const std::string hk = " h" + std::to_string(k) + "=" + std::to_string(operation) + " popcR800 ";
        if (readR(m))
            return (void)emit("pushcR800 pushcR" + std::to_string(m) + " popcR800" + hk);
        if (!constant(text))
            return (void)syntax();
        return (void)emit("pushcR800 r800=" + text + hk);
    }
    m_pos = start;
    if (!constant(text))
        return (void)syntax();
    emit("pushcR800 R800=" + text + h);
}

void CBlockTranslator::wordS()
{
    if (keyword("SF="))
        return (void)rangedValueOrR("SF=", "SF", 0.0, 359.99999);
    if (keyword("SEG="))
        return (void)valueOrR("seg=", "Seg");
    if (keyword("Scale"))
    {
        std::string pushes;
        std::uint32_t unused[3];
        if (bracketList('[', ']', 3, pushes, unused, false))
            emit(pushes + "popcScale popcScale popcScale ");
        return;
    }
    if (keyword("SyncWith"))
    {
        bool any = false;
        for (;;)
        {
            skipBlanks();
            const char* p = cursor();
            std::uint32_t channel = 0;
            if (!NcScan::letterNumber(p, 'K', channel))
                break;
            advanceTo(p);
            any = true;
            if (!emit("SyncWith K" + std::to_string(channel) + " "))
                return;
        }
        if (!any)
            syntax();
        return;
    }
    r800Word(4);
}

void CBlockTranslator::wordL()
{
    if (keyword("lims="))
        return (void)valueOrR("lims=", "Lims");
    ++m_pos;
    if (at() == '=')
    {
        // Indirect call: the repeat count goes on the stack first.
        ++m_pos;
        std::uint32_t label = 0;
        if (!readR(label) || isOperator(at()))
            return (void)syntax();
        std::string count = "pushc1 ";
        skipBlanks();
        if (std::toupper(static_cast<unsigned char>(at())) == 'P')
        {
            ++m_pos;
            std::uint32_t k = 0;
            if (at() == '=')
            {
                ++m_pos;
                if (!readR(k))
                    return (void)syntax();
                count = "pushcR" + std::to_string(k) + " ";
            }
            else if (readIndex(k))
                count = "pushc" + std::to_string(k) + " ";
            else
                return (void)syntax();
        }
        emit(count + "pushcR" + std::to_string(label) + " popcL popcRepeat ");
        return;
    }
    std::uint32_t n = 0;
    if (!readIndex(n))
        return (void)syntax();
    const std::string name = "L" + std::to_string(n);
    // A "P<k>" after the label makes the word a call, even at block start.
    const std::size_t afterLabel = m_pos;
    skipBlanks();
    std::uint32_t repeat = 1;
    bool call = !m_blockStart;
    const char* p = cursor();
    if (NcScan::letterNumber(p, 'P', repeat))
    {
        advanceTo(p);
        call = true;
    }
    else
    {
        repeat = 1;
        m_pos = afterLabel;
    }
    if (call)
    {
        if (!m_ip.referenceLabel(name))
            return (void)fail(NcError::LabelNotFound);
        emit("call" + std::to_string(n) + " repeat" + std::to_string(repeat) + " ");
        return;
    }
    if (!emitMarkers())
        return;
    const auto position = static_cast<std::int32_t>(m_ip.programTextLength());
    if (!emit(name + " "))
        return;
    if (const std::uint32_t error = m_ip.registerLabel(name, position); error != 0)
        return (void)fail(error);
    emitLineMarker();
}

void CBlockTranslator::wordM()
{
    if (m_ip.secondDialect() && keyword("MSG("))
        return (void)siemensMessage();
    if (keyword("mirror"))
    {
        std::string axes;
        while (axes.size() < 3)
        {
            const std::size_t before = m_pos;
            skipBlanks();
            const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(at())));
            if (c < 'X' || c > 'Z')
            {
                m_pos = before;
                break;
            }
            axes += c;
            ++m_pos;
        }
        // The executor's mirror word is "set param mirror".
        return (void)emit("set param mirror" + axes + " ");
    }
    if (keyword("mod["))
    {
        ++m_brackets;
        int code = 0;
        const char* p = cursor();
        int q = 0;
        const int axis = NcScan::axisLetter(p);
        if (axis >= 0)
            code = 'X' + axis;
        else if (NcScan::qNumber(p, q))
            code = q;
        else
            return (void)syntax();
        advanceTo(p);
        if (at() != ']')
            return (void)syntax();
        return (void)emit("pushc" + std::to_string(code) + " popcBwMod ");
    }
    if (m_ip.restrictedMode())
    {
        m_ip.report(NcMsg::Category, NcMsg::RestrictedM, "%d%d",
                    {static_cast<long long>(m_ip.channel().channelNumber()),
                     static_cast<long long>(m_ip.translatedBlockNumber())});
        return (void)fail(NcError::RestrictedM);
    }
    ++m_pos;
    if (at() == '=')
    {
        ++m_pos;
        std::uint32_t m = 0;
        if (!readR(m) || isOperator(at()))
            return (void)syntax();
        return (void)emit("pushcR" + std::to_string(m) + " popcMFunc ");
    }
    std::uint32_t n = 0;
    if (!readIndex(n))
        return (void)syntax();
    std::string text = "M" + std::to_string(n);
    std::uint32_t number = n;
    if (at() == '=')
    {
        ++m_pos;
        if (!readIndex(number))
            return (void)syntax();
        text += "=" + std::to_string(number);
    }
    if (!emit(text + " "))
        return;
    if (number == 17)
        emit("return ");
    else if (number == 2 || number == 30)
    {
        if (number == 30 && !emit("\nreset "))
            return;
        if (m_ip.blockSearchActive() && !emit("BlockSearchEndOfProgram"))
            return;
        if (emit("\nh0\n") && kernelRead())
            emit("wait_idle end ");
    }
}

// Block numbers and tool words as they stand, or the keywords of N and T.
void CBlockTranslator::wordNT()
{
    if (keyword("norm"))
        return (void)emit("norm ");
    struct Keyword
    {
        const char* word;
        const char* text;
    };
    static const Keyword plain[] = {{"TPM", "TPM "},
                                    {"ToolOffsetIncOn", "ToolOffsetIncOn "},
                                    {"ToolOffsetIncOff", "ToolOffsetIncOff "},
                                    {"TRANSMIT", "TRANSMIT "},
                                    {"TRAFOOF", "TRAFOOF "}};
    for (const Keyword& k : plain)
        if (keyword(k.word))
            return (void)emit(k.text);
    const bool tangOn = keyword("TangOn(");
    const bool tangOf = !tangOn && keyword("TangOf(");
    if (tangOn || tangOf || keyword("Tang("))
    {
        std::uint32_t axis = 0;
        skipBlanks();
        if (!readIndex(axis))
            return (void)syntax();
        const std::string head = "TangDesc AA=" + std::to_string(axis);
        std::string text;
        std::uint32_t r = 0, a1 = 0, a2 = 0;
        double v = 0.0;
        if (tangOf)
            text = head + " ATF=0 /TangDesc ";
        else if (!expect(';'))
            return (void)syntax();
        // The constant form closes its description as the R form does; an
        // open description would never take effect.
        else if (tangOn && readR(r))
            text = "pushcR" + std::to_string(r) + " " + head + " ATF=1 popcOA /TangDesc ";
        else if (tangOn && readNumber(v))
            text = head + " ATF=1 OA=" + value(v) + " /TangDesc ";
        else if (!tangOn && readIndex(a1) && expect(';') && readIndex(a2))
            text = head + " PA1=" + std::to_string(a1) + " PA2=" + std::to_string(a2) + " /TangDesc ";
        else
            return (void)syntax();
        if (!expect(')'))
            return (void)syntax();
        return (void)emit(text);
    }
    const char letter = at() == ':' ? 'N' : at();
    ++m_pos;
    std::uint32_t n = 0;
    const std::size_t digits = m_pos;
    if (!readIndex(n))
        return (void)syntax();
    const bool blockNumber = letter == 'N' || letter == 'n';
    const bool blockStart = m_blockStart;
    if (!emit(std::string(1, letter) + m_block.substr(digits, m_pos - digits)))
        return;
    if (blockNumber)
    {
        // A block number leaves the block at its start: "N10 L100" defines.
        m_blockStart = blockStart;
        m_ip.setTranslatedBlockNumber(static_cast<std::int32_t>(n));
    }
}

void CBlockTranslator::wordP()
{
    if (keyword("PosA["))
    {
        double axis = 0.0, v = 0.0;
        skipBlanks();
        if (!readNumber(axis) || !expect(']') || !expect('=') || !readNumber(v))
            return (void)syntax();
        return (void)emit("pushc" + value(axis) + " pushc" + value(v) + " popcPOSA popcID ");
    }
    assignP();
}

void CBlockTranslator::wordR()
{
    if (keyword("RotVec"))
    {
        std::string pushes;
        std::uint32_t r[6];
        if (bracketList('[', ']', 6, pushes, r, true))
            emit(pushes + "calcRotVec popcR" + std::to_string(r[2]) + " popcR" + std::to_string(r[1]) +
                 " popcR" + std::to_string(r[0]) + " ");
        return;
    }
    if (keyword("RotExOn"))
        return (void)emit("RotExOn ");
    if (keyword("RotExOff"))
        return (void)emit("RotExOff ");
    if (keyword("rot"))
        return (void)emit("rot ");
    if (keyword("RND="))
        return (void)valueOrR("rnd=", "Rnd");
    if (keyword("RToDwordGetBit["))
    {
        std::uint32_t a = 0, b = 0, c = 0;
        std::string third;
        skipBlanks();
        if (!readR(a) || !expect(';') || !readR(b) || !expect(';'))
            return (void)syntax();
        if (readR(c))
            third = "pushcR" + std::to_string(c) + " ";
        else if (readIndex(c))
            third = "pushc" + std::to_string(c) + " ";
        if (third.empty() || !expect(']'))
            return (void)syntax();
        emit("pushcR" + std::to_string(a) + " pushcR" + std::to_string(b) + " " + third + "calcGetBit popcR" +
             std::to_string(a) + " ");
        return;
    }
    assignR();
}

void CBlockTranslator::wordW()
{
    if (!keyword("WAITP["))
        return (void)syntax();
    static const char* const conditions[] = {"InPosRange", "InTargetPos", "NotMoving", "ActPosGT",
                                             "ActPosLT",   "NomPosGT",    "NomPosLT"};
    skipBlanks();
    const char* p = cursor();
    std::uint16_t axis = 0;
    if (!NcScan::number16(p, axis))
        return (void)syntax();
    advanceTo(p);
    if (!expect(';'))
        return (void)syntax();
    int condition = 0;
    for (int i = 0; i < 7 && condition == 0; ++i)
        if (keyword(conditions[i]))
            condition = i + 1;
    if (condition == 0)
        return (void)syntax();
    skipBlanks();
    std::string text;
    // The conditions 4 to 7 compare with a value, which goes first.
    if (condition >= 4 && (!expect(';') || !argumentOperand(text)))
        return (void)syntax();
    if (!expect(']'))
        return (void)syntax();
    text += "pushc" + std::to_string(condition) + " pushc" + std::to_string(axis) + " popcWAITP popcSOC ";
    // Only the conditions with a value have one on the stack for the last setter.
    if (condition >= 4)
        text += "popcSOCParam1 ";
    emit(text);
}

void CBlockTranslator::blockSkip()
{
    ++m_pos;
    std::uint32_t level = 0;
    readIndex(level);
    emit("pushcR800 R800=" + std::to_string(level) + " h2 popcR800 jumpeol_c ");
}

void CBlockTranslator::closingBracket()
{
    if (m_brackets == 0)
        return (void)syntax();
    --m_brackets;
    ++m_pos;
}

// The second dialect's message: MSG(<targets>;<types>;"<text>").
bool CBlockTranslator::siemensMessage()
{
    int level = 0;
    int mask = 0;
    auto list = [&](auto&& token)
    {
        for (;;)
        {
            skipBlanks();
            if (!token())
                return syntax();
            skipBlanks();
            if (at() == ';')
            {
                ++m_pos;
                return true;
            }
            if (at() != '|')
                return syntax();
            ++m_pos;
        }
    };
    const bool targets = list(
        [&]
        {
            if (keyword("NCK"))
                level += 2;
            else if (keyword("ITP"))
                level += 1;
            else
                return false;
            return true;
        });
    if (!targets || !list(
                        [&]
                        {
                            if (!keyword("STRING"))
                                return false;
                            mask = 17 + 0x80;
                            return true;
                        }))
        return false;
    skipBlanks();
    if (at() != '"')
        return syntax();
    const std::size_t close = m_block.find('"', m_pos + 1);
    if (close == std::string::npos)
        return syntax();
    std::string text = m_block.substr(m_pos + 1, close - m_pos - 1);
    if (text.size() > 80)
        text.resize(80);
    m_pos = close + 1;
    skipBlanks();
    if (at() != ')')
        return syntax();
    ++m_pos;
    return emit("MSG level=" + std::to_string(level) + " mask=" + std::to_string(mask) +
                " size=" + std::to_string(text.size()) + " text=" + text + " ");
}
