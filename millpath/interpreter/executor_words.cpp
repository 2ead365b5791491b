// The stack-language words of the letters S, T and X and the "set" forms.
#include <cctype>
#include <cmath>
#include <cstring>

#include "interpreter.h"

void CInterpreter::wordS()
{
    if (take("SF="))
        return readSetting(m_set.spindleOrientation);
    if (take("ssbreak"))
    {
        if (m_stopAtMarker && !m_stopMarker)
            setState(InterpreterState::StoppedAtMarker);
        return;
    }
    if (take("SyncWith"))
    {
        skipBlanks();
        int n = -1;
        if (!take("K") || !readIndex(n) || n > 255)
            return unknownWord();
        m_block.m_syncMask[n / 32] |= 1u << (n % 32);
        m_block.m_syncPending = true;
        markOutput();
        return;
    }
    if (take("sync_to") || take("sync_from"))
    {
        skipBlanks();
        int n = 0;
        if (!readIndex(n) || n == 0)
            return unknownWord();
        return;
    }
    if (take("seg="))
    {
        double v = 0.0;
        if (!readWordValue(v))
            return;
        m_set.segment = v;
        m_set.segmentSet = true;
        markOutput();
        return;
    }
    if (take("set "))
        return wordSet();

    const std::size_t start = m_cursor;
    ++m_cursor;
    take("=");
    double v = 0.0;
    if (!readNumber(v, false))
        return unknownWordAt(start);
    if (code()[m_cursor] == '=')
    {
        // "S<n>=<value>": the speed of spindle n; only spindle 1 exists.
        ++m_cursor;
        const double spindle = v;
        if (spindle != 1.0)
        {
            m_cursor = start;
            return fail(NcMsg::GroupIndex, "%d%d%s%d%d", {std::string("S"), spindle, 0LL},
                        NcError::AddressIndex);
        }
        if (!readNumber(v, false))
            return unknownWordAt(start);
    }
    m_block.m_spindleSpeed = v;
    m_block.m_spindlePending = true;
    markOutput();
}

void CInterpreter::wordSet()
{
    skipBlanks();
    if (take("lineflag"))
    {
        skipBlanks();
        if (!take("CIPaktiv"))
            return unknownWord();
        // The block's circle runs through the point its centre words give.
        m_planeCheck = false;
        m_threePoint = true;
        return;
    }
    if (!take("param"))
        return unknownWord();
    skipBlanks();
    if (take("mirror"))
    {
        bool mirror[3] = {false, false, false};
        for (;;)
        {
            skipBlanks();
            const char c = code()[m_cursor];
            if (c != 'X' && c != 'Y' && c != 'Z')
                break;
            mirror[c - 'X'] = true;
            ++m_cursor;
        }
        for (int i = 0; i < 3; ++i)
            m_set.mirror[i] = mirror[i];
        m_set.mirrorChanged = true;
        markOutput();
        return;
    }
    auto readList = [&](double* values, int count)
    {
        for (int i = 0; i < count; ++i)
        {
            skipBlanks();
            if (!readNumber(values[i], false, true))
                return false;
            skipBlanks();
            if (!take(i + 1 < count ? "," : ")"))
                return false;
        }
        return true;
    };
    if (take("GroupDynamics("))
    {
        double v[4];
        if (!readList(v, 4) || v[0] > 1 || v[0] < 0)
            return unknownWord();
        if (v[1] < 0 || v[2] < 0 || v[3] < 0)
            return fail(0xC6A, "%d%d", {}, NcError::WordOrRange);
        CEntryFunk f;
        f.m_value1 = v[1];
        f.m_value2 = v[2];
        f.m_value3 = v[3];
        queueFunction(5, f);
        return;
    }
    if (take("GroupVertex("))
    {
        double v[2];
        if (!readList(v, 2) || v[0] > 1 || v[0] < 0)
            return unknownWord();
        take("#");
        if (v[1] < 0)
            return fail(0xC69, "%d%d%f", {v[1]}, NcError::WordOrRange);
        CEntryFunk f;
        f.m_value1 = v[1];
        queueFunction(16, f);
        return;
    }
    unknownWord();
}

void CInterpreter::wordT()
{
    if (take("text"))
    {
        int n = 0;
        if (!readIndex(n))
            return unknownWord();
        m_lineIndex = n;
        traceLineMarker();
        return;
    }
    if (take("TPM"))
    {
        m_set.tpm = true;
        setModalCode(ModalTpm, 0x2004);
        markOutput();
        return;
    }
    // The block translator writes these two in capitals.
    if (take("transmit") || take("trafoof") || take("TRANSMIT") || take("TRAFOOF"))
    {
        const bool on = std::tolower(static_cast<unsigned char>(code()[m_cursor - 1])) == 't';
        if (m_set.transmit != on)
            markChanged();
        m_set.transmit = on;
        return;
    }
    if (take("ToolOffsetIncOn"))
    {
        m_set.toolOffsetInc = true;
        return;
    }
    if (take("ToolOffsetIncOff"))
    {
        m_set.toolOffsetInc = false;
        return;
    }
    if (at("TangDesc "))
        return wordTangDesc();
    const std::size_t start = m_cursor;
    ++m_cursor;
    int index = 0;
    if (!take("="))
    {
        if (!readIndex(index))
            return unknownWordAt(start);
        if (take("="))
        {
            if (index != 0 || !readIndex(index))
                return unknownWordAt(start);
        }
    }
    else if (!readIndex(index))
        return unknownWordAt(start);
    m_block.m_tool = index;
    m_block.m_toolPending = true;
    markOutput();
}

void CInterpreter::wordTangDesc()
{
    m_cursor += std::strlen("TangDesc ");
    for (;;)
    {
        skipBlanks();
        int n = 0;
        double v = 0.0;
        if (take("PA1="))
        {
            if (!readIndex(n))
                return unknownWord();
            m_set.tangAxis1 = n;
        }
        else if (take("PA2="))
        {
            if (!readIndex(n))
                return unknownWord();
            m_set.tangAxis2 = n;
        }
        else if (take("AA="))
        {
            if (!readIndex(n))
                return unknownWord();
            m_set.tangAxis = n;
        }
        else if (take("ATF="))
        {
            if (!readIndex(n))
                return unknownWord();
            m_set.tangOn = n != 0;
        }
        else if (take("OA="))
        {
            if (!readNumber(v, false))
                return unknownWord();
            m_set.tangOffset = v;
        }
        else if (take("popcOA"))
        {
            if (!pop(v))
                return;
            m_set.tangOffset = v;
        }
        else if (take("/TangDesc "))
        {
            m_set.tangDesc = true;
            CEntryFunk f;
            f.m_word1 = m_set.tangOn ? 1 : 0;
            f.m_word2 = m_set.tangAxis;
            f.m_value2 = m_set.tangOffset;
            // The tangential plane as unit vectors of its two path axes.
            CVec3d first, second;
            first.SetAxis(m_set.tangAxis1, 1.0);
            second.SetAxis(m_set.tangAxis2, 1.0);
            f.m_vector = Cross(first, second);
            queueFunction(23, f);
            return;
        }
        else
            return; // any other attribute ends the description
    }
}

// Group digit (tens, 0 or 1) and axis digit (units, 1 to 3) of "X<gd>".
bool CInterpreter::axisIndex(int digits, int& axis, const char* letter)
{
    const int group = digits / 10;
    const int d = digits % 10;
    if (group > 1 || d < 1 || d > 3)
    {
        fail(NcMsg::GroupIndex, "%d%d%s%d%d",
             {std::string(letter), static_cast<long long>(group), static_cast<long long>(d)},
             NcError::AddressIndex);
        return false;
    }
    axis = d - 1;
    return true;
}

bool CInterpreter::setAxis(int axis, double value)
{
    value = scaled(axis, value) * (m_inch ? m_inchFactor : m_metricFactor);
    if (m_block.m_dwell)
    {
        m_block.m_dwellTime = std::fabs(value);
        m_block.m_dwellPending = true;
        markOutput();
        return true;
    }
    if (m_set.rotationMode == 1 || m_set.rotationMode == 2)
    {
        if (m_set.rotationMode == 1)
            m_set.rotationAngles[axis] = value;
        else
            m_set.rotationAngles[axis] += value;
        markOutput();
        return true;
    }
    if (axis == 0 && m_set.diameterMode)
        value /= 2.0;
    const double current = m_block.m_target.GetAxis(axis);
    const double target = m_incremental ? current + value : absoluteTarget(axis, value, current);
    m_block.m_target.SetAxis(axis, target);
    if (!m_block.m_axisProgrammed[axis])
    {
        m_block.m_axisProgrammed[axis] = true;
        ++m_block.m_programmedAxes;
    }
    m_block.m_motionProgrammed = true;
    markOutput();
    return true;
}

double CInterpreter::currentAxis(int axis) const
{
    return m_block.m_target.GetAxis(axis);
}

void CInterpreter::wordX()
{
    const std::size_t start = m_cursor;
    ++m_cursor;
    int digits = 0, axis = 0;
    if (!readIndex(digits))
        return unknownWordAt(start);
    if (!axisIndex(digits, axis, "X"))
        return;
    if (take("="))
    {
        double v = 0.0;
        if (!readNumber(v, false))
            return unknownWordAt(start);
        setAxis(axis, v);
        return;
    }
    if (m_set.rotationMode != 0)
        return unknownWordAt(start);
    if (!m_block.m_axisProgrammed[axis])
    {
        m_block.m_axisProgrammed[axis] = true;
        ++m_block.m_programmedAxes;
    }
    m_block.m_motionProgrammed = true;
    markOutput();
}

void CInterpreter::wordWaitIdle()
{
    // Only a release taken by the wait this word armed lets it pass; one
    // that came earlier belongs to an earlier batch.
    if (!m_waitIdleReleased && m_channel.groupHasUnfinishedMotion())
    {
        setState(InterpreterState::WaitingForIdle);
        return; // the cursor stays on the word, which runs again on resumption
    }
    m_waitIdleReleased = false;
    m_waited = true;
    m_cursor += std::strlen("wait_idle");
    skipBlanks();
}
