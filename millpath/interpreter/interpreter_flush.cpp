// The block flush: turns the block state into entries in a fixed order and
// hands them to the channel. Each emitter clears its pending flag only once
// the channel took its entry, so a flush that stops for want of room resumes
// where it stopped.
#include <cmath>
#include <cstring>

#include "blockgeom_angle_endpoint.h"
#include "blockgeom_centre.h"
#include "interpreter.h"
#include "rotation.h"

void CInterpreter::stampHeader(CEntry& entry, bool takesIndex) const
{
    entry.m_textIdx = static_cast<std::uint32_t>(m_lineIndex);
    entry.m_lineIdx = m_blockCounter == 0 ? 1u : m_blockCounter;
    entry.m_blockNo = static_cast<std::uint32_t>(m_blockNo);
    entry.m_entryIdx = takesIndex ? m_entryCounter : 0u;
}

// Numbers are counted only for entries the channel took, so that the running
// entry numbers have no gaps when an entry has to be made again.
Emit CInterpreter::handOver(CEntry* entry, bool takesIndex)
{
    stampHeader(*entry, takesIndex);
    const int result = m_channel.addEntry(entry);
    if (result == AddEntry::Taken)
    {
        if (takesIndex)
            ++m_entryCounter;
        return Emit::Done;
    }
    delete entry;
    return result <= 0 ? Emit::Failed : Emit::NotNow;
}

// Hands over the entry of a pending block item; the item stays pending until
// the channel took its entry.
Emit CInterpreter::handOverPending(bool& pending, CEntry* entry, bool takesIndex)
{
    const Emit result = handOver(entry, takesIndex);
    if (result == Emit::Done)
    {
        pending = false;
        m_entriesMade = true;
    }
    return result;
}

Emit CInterpreter::emitToolNumber()
{
    if (!m_block.m_toolPending)
        return Emit::Done;
    auto* entry = new CEntryToolNr;
    entry->m_tool = m_block.m_tool;
    return handOverPending(m_block.m_toolPending, entry, true);
}

Emit CInterpreter::emitMFunctions(std::uint8_t mask)
{
    for (;;)
    {
        int numbers[CEntryMFunk::Slots];
        int hits = 0;
        for (int m = 0; m < CBlockState::MCount && hits < CEntryMFunk::Slots; ++m)
            if (m_block.m_mFlags[m] & mask)
                numbers[hits++] = m;
        if (hits == 0)
            return Emit::Done;
        const int free = m_channel.groupFreePlaces();
        if (free >= 0 && free <= 1)
            return Emit::NotNow;

        auto* entry = new CEntryMFunk;
        if (mask == 0x02 || mask == 0x08)
            entry->m_kind = static_cast<std::uint16_t>(MFunkKind::Set);
        else if (mask == 0x01 || mask == 0x04)
            entry->m_kind = static_cast<std::uint16_t>(MFunkKind::Test);
        else
            entry->m_kind = static_cast<std::uint16_t>(MFunkKind::Reset);
        for (int i = 0; i < hits; ++i)
            entry->m_mNumbers[i] = numbers[i];
        const Emit result = handOver(entry, true);
        if (result != Emit::Done)
            return result;
        for (int i = 0; i < hits; ++i)
        {
            m_block.m_mFlags[numbers[i]] &= static_cast<std::uint8_t>(~mask);
            m_groupMPending[numbers[i]] &= static_cast<std::uint8_t>(~mask);
        }
        m_entriesMade = true;
    }
}

Emit CInterpreter::emitIpolRules()
{
    if (!m_rulesPending)
        return Emit::Done;
    const RuleWords& w = m_pendingRules;
    auto* entry = new CEntrySetIpolRules;
    entry->m_feedType = w[0];
    entry->m_rule1 = w[1];
    entry->m_rule2 = w[2];
    entry->m_channelFlags = w[3];
    entry->m_rule3 = w[4];
    entry->m_rule4 = w[5];
    entry->m_rule5 = w[6];
    entry->m_rule6 = w[7];
    entry->m_rule7 = w[8];
    entry->m_ipolMode = w[9];
    entry->m_channelWord = w[10];
    const Emit result = handOver(entry, true);
    if (result == Emit::Done)
    {
        m_rulesPending = false;
        m_sentRules = w;
        m_rulesSent = true;
        // The group finds the rules of a block it prepares by its counter.
        for (std::size_t i = 0; i < w.size(); ++i)
            m_ruleTracer.setWord(static_cast<int>(i) + 1, w[i]);
        m_ruleTracer.trace(m_blockCounter);
    }
    return result;
}

void CInterpreter::queueFunction(std::uint32_t code, const CEntryFunk& data)
{
    if (code >= FunctionCodes)
        return;
    m_functions[code].data = data;
    m_functions[code].data.m_code = code;
    m_functions[code].pending = true;
    m_functionChanged = true;
    markOutput();
}

void CInterpreter::announceCorner(int kind, double size)
{
    m_set.cornerKind = kind;
    m_set.cornerSize = size;
    if (size == 0.0)
        return;
    CEntryFunk f;
    f.m_word1 = kind;
    f.m_value2 = size;
    queueFunction(24, f);
}

Emit CInterpreter::emitFunctions()
{
    if (!m_functionChanged)
        return Emit::Done;
    // Numbered functions in the kernel's order; 11 and 27 share the place of
    // the smoothing setting.
    static const std::uint32_t before[] = {1,  5,  22, 13, 16, 2,  6,  29, 9,  7,  8, 12,
                                           10, 11, 27, 17, 18, 19, 23, 20, 21, 24, 25};
    static const std::uint32_t after[] = {30, 31, 32};
    auto sendCode = [&](std::uint32_t code)
    {
        PendingFunction& f = m_functions[code];
        if (!f.pending)
            return Emit::Done;
        auto* entry = new CEntryFunk(f.data);
        const Emit result = handOver(entry, true);
        if (result == Emit::Done)
            f.pending = false;
        return result;
    };
    for (std::uint32_t code : before)
        if (Emit r = sendCode(code); r != Emit::Done)
            return r;
    for (int group = 0; group < ModalGroupCount; ++group)
    {
        if (!m_modalChanged[group])
            continue;
        auto* entry = new CEntryFunk;
        entry->m_code = m_modal[group];
        const Emit result = handOver(entry, true);
        if (result != Emit::Done)
            return result;
        m_modalChanged[group] = false;
    }
    if (m_msgPending)
    {
        if (m_msgLevel & 2)
        {
            auto* entry = new CEntryMsg;
            entry->m_number = static_cast<std::uint32_t>(m_msgMask);
            std::strncpy(entry->m_text, m_msgText, CEntryMsg::TextSize - 1);
            const Emit result = handOver(entry, true);
            if (result != Emit::Done)
                return result;
        }
        if (m_msgLevel & 1)
            log(NcMsg::Category, static_cast<std::uint32_t>(m_msgMask), "%s", {std::string(m_msgText)});
        m_msgPending = false;
    }
    for (std::uint32_t code : after)
        if (Emit r = sendCode(code); r != Emit::Done)
            return r;
    m_functionChanged = false;
    return Emit::Done;
}

// Keeps its entry pending when the channel has no room, like every other
// emitter, so that the speed is neither lost nor sent after the dwell.
Emit CInterpreter::emitSpindle()
{
    if (!m_block.m_spindlePending)
        return Emit::Done;
    auto* entry = new CEntrySpindel;
    entry->m_speed = m_block.m_spindleSpeed;
    return handOverPending(m_block.m_spindlePending, entry, true);
}

Emit CInterpreter::emitMeasMode()
{
    if (!m_block.m_measPending)
        return Emit::Done;
    auto* entry = new CEntryMeasMode;
    entry->m_mode = m_block.m_measMode;
    return handOverPending(m_block.m_measPending, entry, true);
}

// The block-geometry step before the targets are computed: end points given
// by an angle, then circle and helix centres.
bool CInterpreter::blockGeometry()
{
    if (m_blockCounter == 0)
        m_blockCounter = 1;
    if (m_block.m_angleProgrammed && m_block.m_motionProgrammed)
    {
        std::uint32_t message = 0;
        if (AngleEndPoint(m_block, message) != 0)
        {
            log(AngleEndPointMsg::Category, message, "%d%d", {channelArg(), lineArg()});
            markErrorLine();
            raiseNcError(NcError::BlockGeometry);
            setState(InterpreterState::Error);
            return false;
        }
    }
    if (!m_channel.hasGroup())
    {
        ClearGeometryRequests(m_block);
        return true;
    }
    BlockGeomFault fault;
    bool threePointUsed = false;
    const CentreContext context{m_radiusPrecision, m_threePoint};
    if (!BlockCentreStep(m_block, context, m_pendingOutputs, fault, threePointUsed))
    {
        std::vector<NcLogArg> values;
        for (int i = 0; i < fault.m_valueCount; ++i)
            values.push_back(fault.m_values[i]);
        fail(fault.m_message, fault.m_format, std::move(values), NcError::BlockGeometry);
        return false;
    }
    if (threePointUsed)
        setModalCode(ModalCircle, 0x2001);
    return true;
}

// Computes the block's target once, before any entry of the block is made, so
// that a target outside the software limits sends nothing of the block.
bool CInterpreter::prepareGeometry()
{
    if (m_geometryPrepared)
        return true;
    if (!blockGeometry())
        return false;
    m_geometryPrepared = true;
    if (!m_block.m_motionProgrammed)
        return true;

    CVec3d target;
    for (int axis = 0; axis < 3; ++axis)
    {
        double value = m_block.m_target.GetAxis(axis);
        if (m_zeroShift > 0)
            value += m_zeroPoints[axis][m_zeroShift - 1];
        target.SetAxis(axis, value);
        double minimum = 0.0, maximum = 0.0;
        if (m_channel.axisLimits(axis, minimum, maximum) && (value < minimum || value > maximum))
        {
            fail(NcMsg::Limits, "%d%d%f%f%f", {value, minimum, maximum}, NcError::WordOrRange);
            return false;
        }
    }
    if (m_block.m_feedMode == 0 && m_block.m_ipolMode != 0)
    {
        const double feed = m_block.m_feed;
        if (feed <= 0.0)
        {
            fail(NcMsg::FeedZero, "%d%d%f", {feed}, NcError::WordOrRange);
            return false;
        }
        const double minimum = m_channel.minimumFeed() * 60.0;
        if (feed < minimum)
        {
            fail(NcMsg::FeedBelowMinimum, "%d%d%f%f", {minimum, feed}, NcError::WordOrRange);
            return false;
        }
    }
    m_machineTarget = target;
    m_geometryPending = true;
    noteMotionRules();
    return true;
}

Emit CInterpreter::emitGeometry()
{
    if (!m_geometryPending)
        return Emit::Done;
    auto* entry = new CEntryGeo_3D;
    const int ipol = m_block.m_ipolMode;
    const bool pathMoves =
        m_block.m_axisProgrammed[0] || m_block.m_axisProgrammed[1] || m_block.m_axisProgrammed[2];
    if (ipol == 2 || ipol == 3)
    {
        static const int normals[] = {2, 0, 1};
        const int n = normals[m_block.m_plane >= 0 && m_block.m_plane < 3 ? m_block.m_plane : 0];
        const double rise = m_machineTarget.GetAxis(n) - m_lastMachineTarget.GetAxis(n);
        const bool rises = std::fabs(rise) > 1e-9;
        entry->m_geoType = rises ? 2 : 1;
        // Rise along the normal per radian of the swept angle.
        const double angle = m_block.m_rotation.Length();
        if (rises && angle > 0.0)
            entry->m_helixRise = rise / angle;
    }
    else if (ipol >= 33 && ipol <= 35)
        entry->m_geoType = static_cast<std::uint32_t>(ipol - 29);
    else
        entry->m_geoType = pathMoves ? 0 : 3;

    switch (m_block.m_feedMode)
    {
    case 3:
        entry->m_feed = m_block.m_machiningTime;
        break;
    case 4:
    case 5:
    case 6:
        entry->m_feed = m_block.m_revFeed;
        break;
    default:
        entry->m_feed = m_block.m_feed;
        break;
    }
    // A rotation in force turns the start point; the angles and their flags go
    // with the entry for the target.
    bool rotated = false;
    for (int axis = 0; axis < 3; ++axis)
    {
        const bool active = m_set.rotationAngles[axis] != 0.0;
        entry->m_rotAngles.SetAxis(axis, m_set.rotationAngles[axis]);
        entry->m_rotFlags[axis] = active ? 1u : 0u;
        rotated = rotated || active;
    }
    entry->m_start =
        rotated ? RotateByAngles(m_lastMachineTarget, m_set.rotationAngles) : m_lastMachineTarget;
    entry->m_target = m_machineTarget;
    entry->m_korrStart.m_vectors[3] = m_machineTarget;
    entry->m_centre = m_lastMachineTarget + m_block.m_centre;
    entry->m_korrEnd.m_vectors[3] = entry->m_centre;
    entry->m_rotation = m_block.m_rotation;
    entry->m_radius = m_block.m_radius;
    entry->m_plane = static_cast<std::uint32_t>(m_block.m_plane);
    entry->m_ipolMode = static_cast<std::uint32_t>(ipol);
    entry->m_feedMode = static_cast<std::uint32_t>(m_block.m_feedMode);
    // The radius correction keeps the feed at the contour on offset arcs by this.
    const std::uint32_t contourFeed = m_modal[ModalContourFeed];
    entry->m_feedAdjust = contourFeed == 0x2005 ? 1u : (contourFeed == 0x2006 ? 2u : 0u);
    entry->m_norm = m_block.m_norm ? 1u : 0u;
    entry->m_exactStop = (m_block.m_exactStop || m_exactStopModal) ? 1u : 0u;
    entry->m_sf = m_set.spindleOrientation;
    if (m_zeroShift > 0)
        entry->m_zeroShift.Set(m_zeroPoints[0][m_zeroShift - 1], m_zeroPoints[1][m_zeroShift - 1],
                               m_zeroPoints[2][m_zeroShift - 1]);
    for (int i = 0; i < CBlockState::AuxAxes; ++i)
    {
        entry->m_auxStart[i] = m_auxStart[i];
        entry->m_auxTarget[i] = m_block.m_aux[i];
        entry->m_auxMoves[i] = m_block.m_auxProgrammed[i] ? 1u : 0u;
    }
    const Emit result = handOver(entry, true);
    if (result == Emit::Done)
    {
        m_geometryPending = false;
        m_lastMachineTarget = m_machineTarget;
        for (int i = 0; i < CBlockState::AuxAxes; ++i)
            m_auxStart[i] = m_block.m_aux[i];
        m_entriesMade = true;
    }
    else if (result == Emit::Failed)
    {
        fail(NcMsg::Geometry, "%d%d", {}, NcError::WordOrRange);
    }
    return result;
}

// One entry per requested axis; each request is cleared once its entry is
// taken, so a pass that stops for want of room resumes with the next axis.
Emit CInterpreter::emitOneAxis()
{
    if (!m_block.m_oneAxisPending)
        return Emit::Done;
    for (auto& move : m_block.m_oneAxis)
    {
        if (move.m_axis == 0)
            continue;
        auto* entry = new CEntryGeo_1D;
        entry->m_axis = static_cast<std::uint32_t>(move.m_axis);
        entry->m_target = move.m_target;
        entry->m_velocity = m_block.m_feed;
        if (const Emit result = handOver(entry, false); result != Emit::Done)
            return result;
        move = CBlockState::OneAxisMove{};
    }
    for (auto& step : m_block.m_stepOn)
    {
        if (step.m_axis == 0)
            continue;
        auto* entry = new CEntryStepOn;
        entry->m_axis = static_cast<std::uint32_t>(step.m_axis);
        entry->m_mode = static_cast<std::uint32_t>(step.m_mode);
        entry->m_value = step.m_value;
        entry->m_value2 = step.m_value2;
        if (const Emit result = handOver(entry, false); result != Emit::Done)
            return result;
        step = CBlockState::StepOn{};
    }
    m_block.m_oneAxisPending = false;
    return Emit::Done;
}

Emit CInterpreter::emitDwell()
{
    if (!m_block.m_dwellPending)
        return Emit::Done;
    auto* entry = new CEntryDelayTime;
    entry->m_time = m_block.m_dwellTime;
    return handOverPending(m_block.m_dwellPending, entry, true);
}

Emit CInterpreter::emitHValue()
{
    if (!m_block.m_hValuePending)
        return Emit::Done;
    auto* entry = new CEntryHValue;
    entry->m_value = m_block.m_hValue;
    return handOverPending(m_block.m_hValuePending, entry, true);
}

Emit CInterpreter::emitSpindleTest()
{
    if (!m_block.m_spindleTestPending)
        return Emit::Done;
    return handOverPending(m_block.m_spindleTestPending, new CEntrySpindelTest, false);
}

Emit CInterpreter::emitMClear()
{
    if (!m_block.m_mClearPending)
        return Emit::Done;
    auto* entry = new CEntryMFunk;
    entry->m_kind = static_cast<std::uint16_t>(MFunkKind::Clear);
    for (auto& m : entry->m_mNumbers)
        m = 255;
    return handOverPending(m_block.m_mClearPending, entry, true);
}

Emit CInterpreter::emitStop()
{
    if (!m_block.m_stopPending)
        return Emit::Done;
    const bool alternative = m_alternativeStop;
    CEntry* entry = nullptr;
    if (alternative)
    {
        auto* monitoring = new CEntryFunk;
        monitoring->m_code = 26;
        entry = monitoring;
    }
    else
        entry = new CEntryStop;
    const Emit result = handOver(entry, true);
    if (result == Emit::Done)
    {
        m_block.m_stopPending = false;
        m_stopped = true;
        if (alternative)
            m_alternativeStop = false;
    }
    return result;
}

Emit CInterpreter::emitChannelSync()
{
    if (!m_block.m_syncPending)
        return Emit::Done;
    auto* entry = new CEntryChnSync;
    std::memcpy(entry->m_sync, m_block.m_syncMask, sizeof(entry->m_sync));
    const Emit result = handOver(entry, false);
    if (result == Emit::Done)
    {
        m_block.m_syncPending = false;
        std::memset(m_block.m_syncMask, 0, sizeof(m_block.m_syncMask));
    }
    return result;
}

// What a block leaves behind: the modal parts stay, the programmed axes
// become the new start, everything of this block alone is cleared.
void CInterpreter::clearBlock()
{
    CBlockState next;
    next.m_start = m_block.m_target;
    next.m_target = m_block.m_target;
    next.m_plane = m_block.m_plane;
    next.m_ccw = m_block.m_ccw;
    next.m_ipolMode = m_block.m_ipolMode;
    next.m_centreCorrection = false;
    for (int i = 0; i < CBlockState::AuxAxes; ++i)
        next.m_aux[i] = m_block.m_aux[i];
    next.m_feed = m_block.m_feed;
    next.m_machiningTime = m_block.m_machiningTime;
    next.m_revFeed = m_block.m_revFeed;
    next.m_feedMode = m_block.m_feedMode;
    next.m_spindleSpeed = m_block.m_spindleSpeed;
    next.m_tool = m_block.m_tool;
    next.m_toolCorrection = m_block.m_toolCorrection;
    std::memcpy(next.m_mFlags, m_block.m_mFlags, sizeof(next.m_mFlags));
    m_block = next;
    if (m_modal[ModalOneShot] != 0 && !m_modalChanged[ModalOneShot])
        m_modal[ModalOneShot] = 0;
    m_cycleMacro = 0;
    m_threePoint = false;
    clearBlockSetters();
    m_geometryPrepared = false;
    m_geometryPending = false;
}

// What the setters of one block collected; nothing of it outlives the block.
void CInterpreter::clearBlockSetters()
{
    m_set.setterIndex = 0;
    m_set.rotationMode = 0; // "rot"/"arot" make the axis words of their block angles
    m_set.groupAxisCount = 0;
    m_set.posaTaken = false;
    m_set.stepOnPlace = -1;
    m_set.toolStage = 0;
}

Emit CInterpreter::flushBlock()
{
    auto failed = [&](Emit result)
    {
        if (result == Emit::Failed && getState() != InterpreterState::Error)
        {
            markErrorLine();
            raiseNcError(NcError::WordOrRange);
            setState(InterpreterState::Error);
        }
        return result;
    };
    if (!prepareGeometry())
        return Emit::Failed;

    using Step = Emit (CInterpreter::*)();
    static const Step beforeMotion[] = {&CInterpreter::emitToolNumber};
    for (Step s : beforeMotion)
        if (Emit r = (this->*s)(); r != Emit::Done)
            return failed(r);
    for (std::uint8_t mask : {std::uint8_t(0x10), std::uint8_t(0x02), std::uint8_t(0x01)})
        if (Emit r = emitMFunctions(mask); r != Emit::Done)
            return failed(r);
    static const Step motion[] = {&CInterpreter::emitIpolRules, &CInterpreter::emitFunctions,
                                  &CInterpreter::emitSpindle, &CInterpreter::emitMeasMode,
                                  &CInterpreter::emitGeometry};
    for (Step s : motion)
        if (Emit r = (this->*s)(); r != Emit::Done)
            return failed(r);
    // The channel answers "not now" once its group is full, so the pass ends
    // there and resumes with the next entry.
    static const Step moves[] = {&CInterpreter::emitOneAxis, &CInterpreter::emitDwell};
    for (Step s : moves)
        if (Emit r = (this->*s)(); r != Emit::Done)
            return failed(r);
    for (std::uint8_t mask : {std::uint8_t(0x20), std::uint8_t(0x08), std::uint8_t(0x04), std::uint8_t(0x80)})
        if (Emit r = emitMFunctions(mask); r != Emit::Done)
            return failed(r);
    static const Step afterMotion[] = {&CInterpreter::emitHValue, &CInterpreter::emitSpindleTest,
                                       &CInterpreter::emitStop, &CInterpreter::emitMClear,
                                       &CInterpreter::emitChannelSync};
    for (Step s : afterMotion)
        if (Emit r = (this->*s)(); r != Emit::Done)
            return failed(r);
    clearBlock();
    m_pendingOutputs = 0;
    m_entriesMade = false;
    return Emit::Done;
}
