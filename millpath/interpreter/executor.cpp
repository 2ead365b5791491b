// The stack-language executor: the dispatcher and the address words.
#include <cctype>
#include <cmath>
#include <cstring>

#include "interpreter.h"
#include "nc_numbers.h"

namespace
{
bool isLineEnd(unsigned char c)
{
    return c == '\n' || c == '\r';
}
} // namespace

bool CInterpreter::at(const char* keyword) const
{
    const char* text = code() + m_cursor;
    if (std::toupper(static_cast<unsigned char>(text[0])) !=
        std::toupper(static_cast<unsigned char>(keyword[0])))
        return false;
    const std::size_t rest = std::strlen(keyword) - 1;
    return m_cursor + 1 + rest <= codeLength() && std::strncmp(text + 1, keyword + 1, rest) == 0;
}

bool CInterpreter::take(const char* keyword)
{
    if (!at(keyword))
        return false;
    m_cursor += std::strlen(keyword);
    return true;
}

void CInterpreter::skipBlanks()
{
    const char* text = code();
    while (m_cursor < codeLength() && (text[m_cursor] == ' ' || text[m_cursor] == '\t'))
        ++m_cursor;
}

// An optional sign, decimal digits and at most one separator ("." or ",";
// inside argument lists, where "," separates, only ".").
bool CInterpreter::readNumber(double& value, bool allowPlus, bool commaSeparates)
{
    const char* text = code();
    std::size_t pos = m_cursor;
    bool negative = false;
    if (text[pos] == '-' || (allowPlus && text[pos] == '+'))
        negative = text[pos++] == '-';
    double result = 0.0;
    double scale = 0.0;
    bool digits = false;
    bool separator = false;
    for (; pos < codeLength(); ++pos)
    {
        const char c = text[pos];
        if (c >= '0' && c <= '9')
        {
            digits = true;
            if (separator)
            {
                result += (c - '0') * scale;
                scale /= 10.0;
            }
            else
                result = result * 10.0 + (c - '0');
        }
        else if ((c == '.' || (c == ',' && !commaSeparates)) && !separator)
        {
            separator = true;
            scale = 0.1;
        }
        else
            break;
    }
    if (!digits)
        return false;
    value = negative ? -result : result;
    m_cursor = pos;
    return true;
}

bool CInterpreter::readIndex(int& value)
{
    const char* text = code();
    std::size_t pos = m_cursor;
    long long result = 0;
    while (pos < codeLength() && text[pos] >= '0' && text[pos] <= '9')
    {
        result = result * 10 + (text[pos] - '0');
        if (result > 0x7FFFFFFF)
            return false;
        ++pos;
    }
    if (pos == m_cursor)
        return false;
    value = static_cast<int>(result);
    m_cursor = pos;
    return true;
}

// "<letter><n>" or "<letter><i>=<n>" with i at most maxIndex (index -1 when
// absent). On failure the cursor is back at the word, which is reported.
bool CInterpreter::readIndexedWord(int& index, int& number, int maxIndex)
{
    const std::size_t start = m_cursor;
    ++m_cursor;
    index = -1;
    if (readIndex(number))
    {
        if (!take("="))
            return true;
        index = number;
        if (index <= maxIndex && readIndex(number))
            return true;
    }
    unknownWordAt(start);
    return false;
}

void CInterpreter::unknownWord()
{
    const char* text = code() + m_cursor;
    std::string word;
    for (int i = 0; i < 2 && m_cursor + i < codeLength() && static_cast<unsigned char>(text[i]) >= 0x20; ++i)
        word += text[i];
    fail(NcMsg::UnknownWord, "%d%d%s", {word}, NcError::WordOrRange);
}

bool CInterpreter::readWordValue(double& value)
{
    if (readNumber(value, false))
        return true;
    unknownWord();
    return false;
}

void CInterpreter::readSetting(double& setting)
{
    double v = 0.0;
    if (readWordValue(v))
        setting = v;
}

void CInterpreter::unknownWordAt(std::size_t start)
{
    m_cursor = start;
    unknownWord();
}

void CInterpreter::traceLineMarker()
{
    if (m_traceMode != 2)
        return;
    std::string text;
    if (m_channel.displayText(m_lineIndex, text))
        log(NcMsg::TraceCategory, NcMsg::TraceLine, "%d%s", {channelArg(), text});
}

void CInterpreter::traceBlockNumber()
{
    if (m_traceMode != 1)
        return;
    m_traceLine += " N" + std::to_string(m_blockNo);
    if (m_traceLine.size() > TraceLineLimit)
    {
        log(NcMsg::TraceCategory, NcMsg::TraceLine, "%d%s", {channelArg(), m_traceLine});
        m_traceLine.clear();
    }
}

void CInterpreter::lineEnd()
{
    // A flush that is not complete leaves outputs pending (state 7).
    if (flushBlock() == Emit::NotNow && m_pendingOutputs == 0)
        m_pendingOutputs = 1;
}

void CInterpreter::execute()
{
    bool lineEnded = false;
    m_wordRetry = false;
    while (getState() == InterpreterState::Running && !lineEnded && !m_wordRetry)
    {
        const char* text = code();
        if (m_cursor >= codeLength())
        {
            setState(m_pendingOutputs > 0 ? InterpreterState::OutputPending : InterpreterState::EndOfProgram);
            return;
        }
        const unsigned char b = static_cast<unsigned char>(text[m_cursor]);
        if (b >= 0x80)
        {
            const std::size_t length = b & 0x7F;
            if (length < 3 || m_cursor + length > codeLength())
            {
                unknownWord();
                break;
            }
            const unsigned char kind = static_cast<unsigned char>(text[m_cursor + 1]);
            if (kind == 1 && length == 7)
            {
                std::uint32_t index = 0;
                for (int i = 0; i < 4; ++i)
                    index |= static_cast<std::uint32_t>(static_cast<unsigned char>(text[m_cursor + 2 + i]))
                             << (8 * i);
                m_lineIndex = static_cast<std::int32_t>(index);
                m_cursor += length;
                ++m_blockCounter;
                traceLineMarker();
            }
            else
            {
                m_cursor += length;
                if (kind == 2 && m_stopAtMarker && !m_markerPassed)
                    setState(InterpreterState::StoppedAtMarker);
            }
            continue;
        }
        switch (std::toupper(b))
        {
        case 0:
            setState(m_pendingOutputs > 0 ? InterpreterState::OutputPending : InterpreterState::EndOfProgram);
            return;
        case ' ':
        case '\t':
            ++m_cursor;
            break;
        case '\r':
        case '\n':
            while (m_cursor < codeLength() &&
                   (isLineEnd(text[m_cursor]) || text[m_cursor] == ' ' || text[m_cursor] == '\t'))
                ++m_cursor;
            lineEnd();
            lineEnded = true;
            break;
        default:
            dispatchWord();
            break;
        }
    }
    if (lineEnded && getState() == InterpreterState::Running && m_pendingOutputs > 0)
        setState(InterpreterState::OutputPending);
}

void CInterpreter::dispatchWord()
{
    const unsigned char b = static_cast<unsigned char>(code()[m_cursor]);
    switch (std::toupper(b))
    {
    case 'A':
        wordA();
        break;
    case 'B':
        if (!take("BlockSearchEndOfProgram"))
            return unknownWord();
        if (m_searchActive)
        {
            m_searchToEnd = true;
            markChanged();
        }
        break;
    case 'C':
        wordC();
        break;
    case 'D':
        wordD();
        break;
    case 'E':
        if (!at("end"))
            return unknownWord();
        // Outputs of the block go out before the program ends.
        if (m_pendingOutputs > 0)
        {
            const Emit result = flushBlock();
            if (result == Emit::NotNow)
                m_wordRetry = true;
            if (result != Emit::Done)
                return;
        }
        m_cursor += 3;
        skipBlanks();
        setState(InterpreterState::EndOfProgram);
        break;
    case 'F':
        wordF();
        break;
    case 'G':
        wordG();
        break;
    case 'H':
        wordH();
        break;
    case 'I':
        wordCentre(0);
        break;
    case 'J':
        wordJ();
        break;
    case 'K':
        wordCentre(2);
        break;
    case 'L':
        wordL();
        break;
    case 'M':
        wordM();
        break;
    case 'N':
        wordN();
        break;
    case 'O':
        wordOrx();
        break;
    case 'P':
        wordP();
        break;
    case 'Q':
        wordQ();
        break;
    case 'R':
        wordR();
        break;
    case 'S':
        wordS();
        break;
    case 'T':
        wordT();
        break;
    case 'W':
        if (!at("wait_idle"))
            return unknownWord();
        wordWaitIdle();
        break;
    case 'X':
        wordX();
        break;
    case 'Z':
        if (take("ZeroShiftIncOn"))
            m_set.zeroShiftInc = true;
        else if (take("ZeroShiftIncOff"))
            m_set.zeroShiftInc = false;
        else
            unknownWord();
        break;
    default:
        unknownWord();
        break;
    }
}

void CInterpreter::wordA()
{
    if (take("arot"))
    {
        if (m_set.rotationMode == 0)
            for (int i = 0; i < 3; ++i)
                m_savedRotation[i] = m_set.rotationAngles[i];
        m_set.rotationMode = 2;
        markOutput();
        return;
    }
    if (take("ang="))
    {
        double v = 0.0;
        if (!readWordValue(v))
            return;
        m_block.m_angle = v;
        m_block.m_angleProgrammed = true;
        m_block.m_programmedAxes += 2;
        markOutput();
        return;
    }
    unknownWord();
}

// "ORX1(" hex pairs separated by "," ")": a signal entry for the kernel.
void CInterpreter::wordOrx()
{
    const std::size_t start = m_cursor;
    if (!take("ORX1("))
        return unknownWord();
    auto* entry = new CEntryORXsignal;
    entry->m_oneShot = 1;
    const char* text = code();
    auto hex = [](char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
    };
    std::size_t pos = m_cursor;
    bool ok = true;
    while (pos < codeLength() && text[pos] != ')')
    {
        if (text[pos] == ',')
        {
            ++pos;
            continue;
        }
        const int hi = hex(text[pos]);
        const int lo = pos + 1 < codeLength() ? hex(text[pos + 1]) : -1;
        if (hi < 0 || lo < 0 || entry->m_length >= CEntryORXsignal::MaxBytes)
        {
            ok = false;
            break;
        }
        entry->m_data[entry->m_length++] = static_cast<std::uint8_t>(hi * 16 + lo);
        pos += 2;
    }
    if (!ok || pos >= codeLength())
    {
        delete entry;
        return unknownWordAt(start);
    }
    const Emit result = handOver(entry, true);
    if (result == Emit::Done)
    {
        m_cursor = pos + 1;
        return;
    }
    m_cursor = start;
    if (result == Emit::NotNow)
        m_wordRetry = true;
    else
    {
        markErrorLine();
        raiseNcError(NcError::WordOrRange);
        setState(InterpreterState::Error);
    }
}

void CInterpreter::wordC()
{
    if (take("calc"))
        return calc();
    if (at("call"))
        return callWord();
    struct Modal
    {
        const char* word;
        ModalGroup group;
        std::uint32_t code;
        bool changes;
    };
    static const Modal modals[] = {
        {"cftcp", ModalContourFeed, 0x2007, false}, {"cfc", ModalContourFeed, 0x2005, false},
        {"cfin", ModalContourFeed, 0x2006, false},  {"cdon", ModalCollision, 0x200C, true},
        {"cdof", ModalCollision, 0x200D, true},     {"cpcon", ModalCpc, 0x2008, false},
        {"cpcof", ModalCpc, 0x2009, false},
    };
    for (const Modal& m : modals)
        if (take(m.word))
        {
            setModalCode(m.group, m.code, m.changes);
            return;
        }
    if (take("chf=") || take("chr="))
    {
        const bool length = code()[m_cursor - 2] == 'f';
        double v = 0.0;
        if (!readWordValue(v))
            return;
        announceCorner(length ? 2 : 1, v);
        return;
    }
    if (take("CfgClearGrp"))
    {
        queueFunction(21, CEntryFunk{});
        return;
    }
    unknownWord();
}

void CInterpreter::wordD()
{
    if (take("deldtg"))
    {
        m_set.deleteDistanceMode = 2;
        return;
    }
    if (take("dynovr="))
        return readSetting(m_set.dynOvr);
    if (take("DIAMON") || take("DIAMOF"))
    {
        const bool on = code()[m_cursor - 1] == 'N';
        m_set.diameterMode = on;
        setModalCode(ModalDiameter, on ? 0x2012 : 0x2013);
        return;
    }
    ++m_cursor;
    if (code()[m_cursor] == '=')
        ++m_cursor;
    int n = 0;
    if (!readIndex(n))
        return unknownWord();
    selectToolCorrection(n);
}

bool CInterpreter::setFeed(double value)
{
    if (m_block.m_dwell)
    {
        m_block.m_dwellTime = value;
        m_block.m_dwellPending = true;
        markOutput();
        return true;
    }
    switch (m_block.m_feedMode)
    {
    case 0:
    case 1:
        if (m_feedScaling)
            value *= m_inch ? m_inchFactor : m_metricFactor;
        m_block.m_feed = value;
        break;
    case 3:
        m_block.m_machiningTime = value;
        break;
    default:
        m_block.m_revFeed = value;
        break;
    }
    markOutput();
    return true;
}

void CInterpreter::wordF()
{
    if (take("fconst"))
        return setModalCode(ModalFeedProfile, 0x2014);
    if (take("flin"))
        return setModalCode(ModalFeedProfile, 0x2015);
    const std::size_t start = m_cursor;
    ++m_cursor;
    if (code()[m_cursor] == '=')
        ++m_cursor;
    double v = 0.0;
    if (!readNumber(v, false))
        return unknownWordAt(start);
    if (code()[m_cursor] == '=')
    {
        // "F<group>=<value>": only the first group exists.
        if (v != std::floor(v) || v > 1 || v < 0)
            return unknownWordAt(start);
        ++m_cursor;
        if (!readNumber(v, false))
            return unknownWordAt(start);
    }
    setFeed(v);
}

void CInterpreter::wordG()
{
    if (at("goto"))
        return gotoWord();
    if (take("getPathAxesPos "))
    {
        int indexes[3];
        for (int& index : indexes)
        {
            skipBlanks();
            if (!take("R") || !readIndex(index))
                return unknownWord();
            if (index >= LocalRParams)
                return fail(NcMsg::ParameterIndex, "%d%d%d", {static_cast<long long>(index)},
                            NcError::ParameterIndex);
        }
        double positions[3] = {0, 0, 0};
        m_channel.pathAxesPositions(positions);
        for (int i = 0; i < 3; ++i)
            setR(indexes[i], positions[i]);
        return;
    }
    int group = 0, number = 0;
    if (!readIndexedWord(group, number, 1))
        return;
    executeG(group < 0 ? 0 : group, number);
}

void CInterpreter::wordH()
{
    int group = 0, number = 0;
    if (!readIndexedWord(group, number, 1))
        return;
    // "H<n>" acts on all groups, "H1=<n>" on the first.
    group = group < 0 ? -1 : 0;
    executeH(group, number);
}

void CInterpreter::wordCentre(int axis)
{
    const std::size_t start = m_cursor;
    ++m_cursor;
    int group = 0;
    if (code()[m_cursor] != '=' && (!readIndex(group) || group > 1))
        return unknownWordAt(start);
    double v = 0.0;
    if (!take("=") || !readNumber(v, false))
        return unknownWordAt(start);
    if (!setCentre(axis, v))
        unknownWordAt(start);
}

// A centre component from the word or from "popc": scaled, made relative to
// the start, refused (false) outside the plane unless that check is off.
bool CInterpreter::setCentre(int axis, double v)
{
    v = scaled(axis, v) * (m_inch ? m_inchFactor : m_metricFactor);
    if (!m_incrementalCentres)
    {
        double s = m_block.m_start.GetAxis(axis);
        if (axis == 0 && m_set.diameterMode)
            v /= 2.0;
        v -= s;
    }
    static const int planeAxes[3][2] = {{0, 1}, {1, 2}, {2, 0}};
    const int plane = m_block.m_plane;
    const bool inPlane = planeAxes[plane][0] == axis || planeAxes[plane][1] == axis;
    if (m_planeCheck && !inPlane && std::fabs(v) > 0.001)
        return false;
    m_block.m_centre.SetAxis(axis, v);
    if (std::fabs(v) > 0.0001)
        m_block.m_centreProgrammed[axis] = true;
    if (m_block.m_ipolMode == 2 || m_block.m_ipolMode == 3)
        m_block.m_helix = true;
    markOutput();
    return true;
}

void CInterpreter::wordJ()
{
    if (take("jumpeol_c"))
    {
        if (m_condition == 1)
            jumpEol();
        return;
    }
    if (take("jumpeol"))
        return jumpEol();
    if (take("jumpelse_c"))
    {
        if (m_condition == 1)
            jumpElse();
        return;
    }
    if (take("jumpelse"))
        return jumpElse();
    wordCentre(1);
}

void CInterpreter::wordL()
{
    if (take("lims="))
    {
        double v = 0.0;
        if (!readWordValue(v))
            return;
        m_set.spindleLimit = v;
        CEntryFunk f;
        f.m_value1 = v;
        queueFunction(19, f);
        return;
    }
    const std::size_t start = m_cursor;
    ++m_cursor;
    int label = 0;
    if (!readIndex(label))
        return unknownWordAt(start);
    if (m_searchActive &&
        ((m_searchKind == 1 && m_lineIndex == m_searchTarget) ||
         (m_searchKind == 2 && static_cast<std::int64_t>(m_blockCounter) == m_searchTarget)))
    {
        m_searchActive = false;
        markChanged();
        m_restartLine = m_lineIndex;
    }
}

void CInterpreter::wordM()
{
    if (at("MSG "))
        return wordMsg();
    int group = 0, number = 0;
    if (!readIndexedWord(group, number, 1))
        return;
    group = group < 0 ? 0 : 1;
    executeM(group, number);
}

// "MSG " with its attributes, then exactly size bytes of text; the copy ends
// early at a line end or a zero byte so that it never runs into the next line.
void CInterpreter::wordMsg()
{
    m_cursor += 4;
    int level = 0, mask = 0, size = 0;
    const char* text = code();
    auto attribute = [&](const char* name, int& out)
    {
        if (!take(name))
            return false;
        double v = 0.0;
        if (!readNumber(v, true))
            return false;
        out = TruncToInt(v);
        if (m_cursor < codeLength() && !isLineEnd(text[m_cursor]) && text[m_cursor] != '\0')
            ++m_cursor; // one separator
        return true;
    };
    for (;;)
    {
        skipBlanks();
        if (at("level="))
        {
            if (!attribute("level=", level))
                return unknownWord();
        }
        else if (at("mask="))
        {
            if (!attribute("mask=", mask))
                return unknownWord();
        }
        else if (at("size="))
        {
            if (!attribute("size=", size))
                return unknownWord();
        }
        else
            break;
    }
    take("text=");
    if (size > 80)
        size = 80;
    int copied = 0;
    while (copied < size && m_cursor < codeLength())
    {
        const char c = text[m_cursor];
        if (c == '\0' || isLineEnd(c))
            break;
        m_msgText[copied++] = c;
        ++m_cursor;
    }
    m_msgText[copied] = '\0';
    m_msgLevel = level;
    m_msgMask = mask;
    m_msgPending = true;
    m_functionChanged = true;
    markOutput();
}

void CInterpreter::wordN()
{
    if (take("norm "))
    {
        m_block.m_norm = true;
        return;
    }
    const std::size_t start = m_cursor;
    ++m_cursor;
    int number = 0;
    if (!readIndex(number))
        return unknownWordAt(start);
    m_blockNo = number;
    traceBlockNumber();
}

void CInterpreter::sense(int value)
{
    ++m_cursor;
    ++m_cursor;
    m_sense = value;
    setModalCode(ModalSense, value > 0 ? 0x2002 : 0x2003);
}

void CInterpreter::wordP()
{
    if (take("pushc"))
        return pushc();
    if (take("popc"))
        return popc();
    if (take("PlanAxis="))
    {
        int n = 0;
        if (!readIndex(n))
            return unknownWord();
        m_set.planAxis = n;
        return;
    }
    const char next = code()[m_cursor + 1];
    if (next == '+' || next == '-')
        return sense(next == '+' ? 1 : -1);
    unknownWord();
}

bool CInterpreter::setAux(int number, double value)
{
    if (number < 1 || number > CBlockState::AuxAxes)
    {
        fail(NcMsg::QIndex, "%d%d%d", {static_cast<long long>(number)}, NcError::AddressIndex);
        return false;
    }
    value *= m_inch ? m_inchFactor : m_metricFactor;
    const int i = number - 1;
    if (!m_set.qPositionMode && m_incremental)
        value += m_block.m_aux[i];
    else
        value = absoluteTarget(3 + i, value, m_block.m_aux[i]);
    m_block.m_aux[i] = value;
    if (!m_block.m_auxProgrammed[i])
    {
        m_block.m_auxProgrammed[i] = true;
        ++m_block.m_programmedAxes;
    }
    m_block.m_motionProgrammed = true;
    markOutput();
    return true;
}

void CInterpreter::wordQ()
{
    if (take("QPos "))
    {
        m_set.qPositionMode = true;
        return;
    }
    const char next = code()[m_cursor + 1];
    if (next == '+' || next == '-')
        return sense(next == '+' ? 1 : -1);
    const std::size_t start = m_cursor;
    ++m_cursor;
    int number = 0;
    double v = 0.0;
    if (!readIndex(number) || !take("=") || !readNumber(v, false))
        return unknownWordAt(start);
    setAux(number, v);
}

bool CInterpreter::readRIndex(int& index)
{
    if (!readIndex(index))
    {
        unknownWord();
        return false;
    }
    if (index >= RParams)
    {
        fail(NcMsg::ParameterIndex, "%d%d%d", {static_cast<long long>(index)}, NcError::ParameterIndex);
        return false;
    }
    return true;
}

// "R<n>=" with a constant or another R parameter.
bool CInterpreter::assignR(int index)
{
    double v = 0.0;
    if (take("R"))
    {
        int source = 0;
        if (!readRIndex(source))
            return false;
        v = getR(source);
    }
    else if (!readNumber(v, false))
    {
        unknownWord();
        return false;
    }
    setR(index, v);
    return true;
}

void CInterpreter::wordR()
{
    if (take("return"))
        return returnWord();
    if (take("reset"))
    {
        m_block.m_toolPending = false;
        m_block.m_spindlePending = false;
        m_block.m_spindleSpeed = 0.0;
        m_block.m_tool = 0;
        m_block.m_feed = 0.0;
        return;
    }
    if (take("radius"))
    {
        take("=");
        double v = 0.0;
        if (!readWordValue(v))
            return;
        return setRadius(v);
    }
    if (take("RotExOn") || take("RotExOff"))
    {
        const bool on = code()[m_cursor - 1] == 'n';
        setModalCode(ModalRotEx, on ? 0x2010 : 0x2011);
        m_channel.rotationExtension(on);
        return;
    }
    // "rot": the axis words of this block set the rotation angles ("arot"
    // adds to them).
    if (at("rot") && !std::isalnum(static_cast<unsigned char>(code()[m_cursor + 3])))
    {
        m_cursor += 3;
        m_set.rotationMode = 1;
        markOutput();
        return;
    }
    if (take("rnd="))
    {
        double v = 0.0;
        if (!readWordValue(v))
            return;
        m_set.rounding = v;
        announceCorner(3, v);
        return;
    }
    const char next = code()[m_cursor + 1];
    if (next == '+' || next == '-')
        return sense(next == '+' ? 1 : -1);
    const std::size_t start = m_cursor;
    ++m_cursor;
    int index = 0;
    if (!readRIndex(index))
        return;
    if (!take("="))
        return unknownWordAt(start);
    assignR(index);
}

void CInterpreter::setRadius(double value)
{
    const bool axes =
        m_block.m_axisProgrammed[0] || m_block.m_axisProgrammed[1] || m_block.m_axisProgrammed[2];
    const bool centre =
        m_block.m_centreProgrammed[0] || m_block.m_centreProgrammed[1] || m_block.m_centreProgrammed[2];
    if (axes || centre)
        return unknownWord();
    m_block.m_radius = value;
    m_block.m_radiusProgrammed = true;
    markOutput();
}
