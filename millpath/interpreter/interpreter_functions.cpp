// G, M and H functions of the interpreter.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "interpreter.h"
#include "nc_files.h"
#include "nc_numbers.h"

void CInterpreter::setModalCode(ModalGroup group, std::uint32_t code, bool marksChanged)
{
    if (m_modal[group] == code)
        return;
    m_modal[group] = code;
    m_modalChanged[group] = true;
    m_functionChanged = true;
    markOutput();
    if (marksChanged)
        markChanged();
}

bool CInterpreter::executeG(int /*group*/, int g)
{
    auto refuse = [&](std::uint32_t message, long long arg)
    {
        fail(message, "%d%d%d", {arg}, NcError::GFunction);
        return false;
    };
    const bool correctionActive = m_radiusCorrection != 40;
    const int ipol = m_block.m_ipolMode;
    auto setIpol = [&](int mode)
    {
        if (m_block.m_ipolMode != mode)
            markChanged();
        m_block.m_ipolMode = mode;
    };

    switch (g)
    {
    case 0:
    case 1:
    case 2:
    case 3:
        if (g >= 2)
        {
            m_block.m_ccw = g == 3;
            m_block.m_helix = true;
        }
        setIpol(g);
        setModalCode(ModalMotion, 0x1000u + g);
        return true;
    case 4:
        m_block.m_dwell = true;
        setModalCode(ModalOneShot, 0x1004);
        return true;
    case 9:
        m_block.m_exactStop = true;
        setModalCode(ModalOneShot, 0x1009);
        return true;
    case 16:
        markChanged();
        return true;
    case 17:
    case 18:
    case 19:
    {
        static const int planes[] = {0, 2, 1}; // XY, ZX, YZ
        const int plane = planes[g - 17];
        if (m_block.m_plane != plane)
            markChanged();
        m_block.m_plane = plane;
        setModalCode(ModalPlane, 0x1000u + g);
        return true;
    }
    case 25:
    case 26:
        m_shiftSelector = g - 24;
        m_programmableShift = 0;
        return true;
    case 33:
    case 331:
    case 332:
    case 931:
        if (correctionActive)
            return refuse(NcMsg::GRestriction, g);
        if (!m_channel.groupHasCapability(g))
            return refuse(NcMsg::GCapability, g);
        if (g == 931)
            m_block.m_feedMode = 3;
        else
            setIpol(g == 33 ? 33 : (g == 331 ? 34 : 35));
        return true;
    case 36:
    case 37:
    case 38:
    case 39:
        m_cycleMacro = g;
        return true;
    case 40:
        m_radiusCorrection = 40;
        setModalCode(ModalRadiusCorrection, 0x1028);
        return true;
    case 41:
    case 42:
        if (ipol == 2 || ipol == 3 || (ipol >= 33 && ipol <= 35))
            return refuse(NcMsg::GRestriction, 93);
        m_radiusCorrection = g;
        setModalCode(ModalRadiusCorrection, 0x1000u + g);
        return true;
    case 53:
    case 54:
    case 55:
    case 56:
    case 57:
        m_zeroShift = g - 53;
        setModalCode(ModalZeroShift, 0x1000u + g);
        return true;
    case 58:
    case 59:
        m_programmableShift = g - 57;
        return true;
    case 60:
        m_exactStopModal = true;
        setModalCode(ModalExactStop, 0x103C);
        return true;
    case 62:
    case 64:
        if (m_g62 != (g == 62))
            markChanged();
        m_g62 = g == 62;
        return true;
    case 70:
    case 71:
    case 700:
    case 710:
        m_inch = g == 70 || g == 700;
        m_feedScaling = g >= 700;
        setModalCode(ModalUnits, 0x1000u + g);
        return true;
    case 74:
        m_block.m_g74 = true;
        setModalCode(ModalOneShot, 0x104A);
        return true;
    case 90:
    case 91:
        m_incremental = g == 91;
        setModalCode(ModalDistance, 0x1000u + g);
        return true;
    case 94:
    case 95:
        m_block.m_feedMode = g == 94 ? 0 : 4;
        return true;
    case 96:
    case 97:
        if (!m_channel.groupHasCapability(g))
            return refuse(NcMsg::GCapability, g);
        m_block.m_feedMode = g == 96 ? 5 : 6;
        return true;
    default:
        return refuse(NcMsg::UnknownG, g);
    }
}

bool CInterpreter::readMDefinitionFile(const std::string& path)
{
    std::string text;
    if (!NcReadDeviceFile(path, text))
        return false;
    std::istringstream file(text);
    std::string line;
    while (std::getline(file, line))
    {
        if (line.size() > 200)
            line.resize(200);
        if (!line.empty() && line[0] == '/')
            continue;
        long values[12];
        int count = 0;
        const char* p = line.c_str();
        char* end = nullptr;
        while (count < 12)
        {
            const long v = std::strtol(p, &end, 10);
            if (end == p)
                break;
            values[count++] = v;
            p = end;
        }
        if (count < 2 || values[0] < 0 || values[0] >= MDefCount)
            continue;
        MDefinition& def = m_mdefs[values[0]];
        def.flags = static_cast<std::uint8_t>(values[1]);
        for (int i = 0; i < MDefCancels; ++i)
            def.cancels[i] = (i + 2 < count) ? static_cast<std::int32_t>(values[i + 2]) : -1;
    }
    return true;
}

bool CInterpreter::loadMDefinitions(const std::string& projectDir)
{
    auto path = [&](int number)
    {
        char name[32];
        std::snprintf(name, sizeof(name), "m_defs.t%02x", number & 0xFF);
        return projectDir.empty() ? std::string(name) : projectDir + "/" + name;
    };
    bool any = readMDefinitionFile(path(0));
    any = readMDefinitionFile(path(m_channel.channelNumber())) || any;
    if (any)
        m_mdefsLoaded = true;
    return any;
}

bool CInterpreter::applyMDefinition(int /*group*/, int m)
{
    if (m < 0 || m >= MDefCount || !m_mdefsLoaded)
    {
        fail(NcMsg::MDefinition, "%d%d%d", {static_cast<long long>(m)}, NcError::MDefinition);
        return false;
    }
    const MDefinition& def = m_mdefs[m];
    for (std::int32_t c : def.cancels)
    {
        // Cancel lists come from a file: numbers outside the table are ignored.
        if (c < 0 || c >= MDefCount)
            continue;
        std::uint8_t& flags = m_block.m_mFlags[c];
        if (def.flags & 0x02)
            flags |= 0x10;
        if (def.flags & 0x08)
            flags |= 0x20;
        if (flags & 0x10)
            flags &= static_cast<std::uint8_t>(~0x20);
        if (flags & 0x30)
        {
            m_groupMPending[c] |= flags & 0x30;
            markOutput();
        }
    }
    if (def.flags)
    {
        m_block.m_mFlags[m] |= def.flags;
        m_groupMPending[m] |= def.flags;
        markOutput();
    }
    return true;
}

bool CInterpreter::executeM(int group, int m)
{
    return applyMDefinition(group, m);
}

bool CInterpreter::waitAndFlush(bool stopRequested)
{
    const Emit result = flushBlock();
    if (result == Emit::Failed)
        return false;
    m_stopRequested = m_stopRequested || stopRequested;
    if (result == Emit::NotNow)
    {
        m_waitAfterFlush = true;
        setState(InterpreterState::OutputPending);
        return true;
    }
    setState(InterpreterState::WaitingForIdle);
    return true;
}

bool CInterpreter::executeH(int group, int h)
{
    switch (h)
    {
    case 0:
        return waitAndFlush(false);
    case 1:
    {
        const long long output = std::llround(getR(801));
        const long long value = std::llround(getR(800));
        if (output < 0 || output > 7)
        {
            fail(NcMsg::GroupIndex, "%d%d%s%d%d", {std::string("X"), output, 0LL}, NcError::HFunction);
            return false;
        }
        if (value < 0 || value >= 1000)
        {
            fail(NcMsg::ParameterIndex, "%d%d%d", {value}, NcError::ParameterIndex);
            return false;
        }
        // The kernel reads the output number in the thousands and the value below.
        m_block.m_hValue = static_cast<std::int32_t>((output + 1) * 1000 + value);
        m_block.m_hValuePending = true;
        markOutput();
        return true;
    }
    case 2:
    {
        const long long bit = TruncToInt(std::fabs(getR(800)));
        m_condition = (bit < 32 && ((m_channel.inputWord() >> bit) & 1u)) ? 1 : 0;
        return true;
    }
    case 3:
        m_block.m_tool = TruncToInt(getR(800));
        m_block.m_toolPending = true;
        markOutput();
        return true;
    case 4:
        m_block.m_spindleSpeed = getR(800);
        m_block.m_spindlePending = true;
        markOutput();
        return true;
    case 5:
    {
        if (m_channel.groupExclusiveMode())
        {
            fail(NcMsg::StopExclusive, "%d%d", {}, NcError::StopRefused);
            return false;
        }
        if (!m_channel.hasGroup())
        {
            markErrorLine();
            raiseNcError(NcError::StopRefused);
            setState(InterpreterState::Error);
            return false;
        }
        m_block.m_stopPending = true;
        m_stopMarker = true;
        const Emit result = flushBlock();
        if (result == Emit::Failed)
            return false;
        setState(result == Emit::Done ? InterpreterState::WaitingForIdle : InterpreterState::StopNotTaken);
        return true;
    }
    case 6:
        return waitAndFlush(true);
    default:
        (void)group;
        fail(NcMsg::UnknownWord, "%d%d%s", {std::string("H")}, NcError::HFunction);
        return false;
    }
}

bool CInterpreter::selectToolCorrection(int number)
{
    if (number < 0 || number > 255)
    {
        fail(0xC98, "%d%d%f", {static_cast<double>(number)}, NcError::WordOrRange);
        return false;
    }
    const CToolRecord& data = m_tools.record(number);
    if (m_block.m_toolCorrection != number || !(data == m_selectedTool))
        markChanged();
    m_block.m_toolCorrection = number;
    m_selectedTool = data;
    return true;
}
