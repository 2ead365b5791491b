// The transformer's main step: entries leave the look-ahead table in their
// order, are treated by their type and handed to the collision detection.
// Line pairs go through the vertex smoothing; the entries drawn between the
// two lines wait in the FIFO so that they keep their place after the pair.
#include "transformer.h"

#include "rc_entry_geometry.h"
#include "trans_codes.h"
#include "trans_host.h"

namespace
{
constexpr int StoppedChannel = 15; // the channel's stop command holds everything until a reset
// Output places the look-ahead keeps free for what the collision detection holds.
constexpr int OutputReserve = 3;
constexpr int CollisionReserve = 4;

// States in which the interpreter may still hand the channel a successor
// for a line in hand: started, running, flushing a block, searching a jump.
bool Producing(int state)
{
    return state == 3 || state == 4 || state == 5 || state == 7 || state == 8;
}

bool IsLine(const CEntry* entry)
{
    return entry && entry->m_type == ENTRY_GEO_3D &&
           (static_cast<const CEntryGeo_3D*>(entry)->m_geoType & 0xFF) == 0;
}

// An M function that ends the program or waits ("Test" of M2, M17, M30)
// closes a corner: the line before it is not smoothed into the next one.
bool EndsCorner(const CEntryMFunk& m)
{
    const int first = m.m_mNumbers[0];
    return m.m_kind == static_cast<std::uint16_t>(MFunkKind::Test) &&
           (first == 2 || first == 17 || first == 30);
}
} // namespace

bool CTransformer::EndsProgram(const CEntry* entry)
{
    if (!entry || entry->m_type != ENTRY_MFUNK)
        return false;
    const auto& m = static_cast<const CEntryMFunk&>(*entry);
    const int first = m.m_mNumbers[0];
    return m.m_kind == static_cast<std::uint16_t>(MFunkKind::Test) && (first == 2 || first == 30);
}

bool CTransformer::RoomForLookAhead(int& result)
{
    CFiFoTable& output = m_host.OutputTable();
    const int free = output.Free();
    if (free >= OutputReserve && free >= m_collision->HeldCount() + OutputReserve &&
        m_collision->FreePlaces() >= CollisionReserve)
        return true;
    // The feeder drains a table that holds entries; an empty one can never
    // make room.
    if (output.IsEmpty())
    {
        m_host.Report(TransFlags::Error, TransMsg::NoRoom, "%x%d%d",
                      {TransError::NoRoom, m_host.ChannelLine(), m_collision->NewestBlockNo()});
        result = static_cast<int>(TransError::NoRoom);
    }
    return false;
}

int CTransformer::Process(int discard, int& done)
{
    done = 1;
    int result = 0;
    // Entries the tangential following held while the output was full go first.
    if (!discard && !m_tangential->IsIdle())
    {
        if ((result = m_tangential->Resume()) != 0)
            return result;
        if (!m_tangential->IsIdle())
            done = 0;
    }
    for (;;)
    {
        if (m_table.Count() == 0 && m_fifo.IsEmpty() && !m_inHand)
            return result;
        if (discard)
        {
            delete m_table.FetchHead();
            DropPending();
            CEntry* entry = nullptr;
            for (int i = 0; i < FifoSize && m_fifo.Pop(entry); ++i)
                delete entry;
            continue;
        }
        if (!RoomForLookAhead(result))
        {
            done = 0;
            return result;
        }
        if (m_host.ChannelState() == StoppedChannel || m_blocked)
        {
            done = 0;
            return result;
        }
        if (!m_inHand)
        {
            CEntry* entry = nullptr;
            if (!m_fifo.Pop(entry))
            {
                int error = 0;
                if (!m_table.Fetch(entry, error))
                    return error;
            }
            m_inHand = entry;
        }
        CEntry* entry = m_inHand.load();
        if (IsLine(entry) && m_vertexDistance >= MinVertexDistance)
        {
            if (!PairLine(static_cast<CEntryGeo_3D*>(entry), result))
            {
                // The pair waits for its second line; the line stays in hand.
                done = 0;
                return result;
            }
        }
        else
            Dispatch(entry);
        m_inHand = nullptr;
        ++m_treated;
    }
}

int CTransformer::Dispatch(CEntry* entry)
{
    switch (entry->m_type)
    {
    case ENTRY_MFUNK:
        return HandleMFunction(entry);
    case ENTRY_SETIPOLRULES:
        return HandleRules(entry);
    case ENTRY_ORXSIGNAL:
        return HandleSignal(entry);
    case ENTRY_GEO_3D:
        return GeometryOutput(static_cast<CEntryGeo_3D*>(entry));
    case ENTRY_DELAYTIME:
        return HandleDwell(entry);
    case ENTRY_SPINDEL:
        return HandleSpindle(entry);
    case ENTRY_STOP:
        m_stopSeen = 0;
        return HandleStop(entry);
    case ENTRY_SPINDELTEST:
        return HandleSpindleTest(entry);
    case ENTRY_HVALUE:
        return HandleHValue(entry);
    case ENTRY_CHNSTOP:
        return HandleChannelStop(entry);
    case ENTRY_FUNK:
        return HandleFunction(static_cast<CEntryFunk*>(entry));
    case ENTRY_TOOLNR:
        return HandleTool(entry);
    case ENTRY_MEASMODE:
        return HandleMeasMode(entry);
    case ENTRY_CHNSYNC:
        return HandleSync(entry);
    case ENTRY_GEO_1D:
        return HandleOneAxis(entry);
    case ENTRY_STEPON:
        return HandleStepOn(entry);
    case ENTRY_MSG:
        return HandleMessage(entry);
    default:
        return HandleDefault(entry);
    }
}

bool CTransformer::PairLine(CEntryGeo_3D* line, int& result)
{
    CEntry* next = nullptr;
    for (;;)
    {
        // The FIFO keeps room for the second line and a second arc, so that
        // nothing drawn can be lost; without it the line goes on alone.
        if (m_fifo.Free() < 3)
            break;
        if (m_host.OutputTable().Free() < 2)
            return false;
        if (m_table.Count() == 0)
        {
            // A line with no successor to come (the program has ended or
            // waits for the path to finish) goes on alone.
            if (Producing(m_host.ChannelState()))
                return false;
            break;
        }
        int error = 0;
        CEntry* drawn = nullptr;
        if (!m_table.Fetch(drawn, error))
        {
            if (error != 0 && error != -1)
                result = error;
            return false;
        }
        if (drawn->m_type == ENTRY_GEO_3D)
        {
            next = drawn;
            break;
        }
        m_fifo.Push(drawn);
        if (drawn->m_type == ENTRY_STOP)
        {
            m_stopSeen = 1;
            break;
        }
        if (drawn->m_type == ENTRY_MFUNK)
        {
            const auto* m = static_cast<const CEntryMFunk*>(drawn);
            if (EndsCorner(*m))
            {
                m_newPair = 0;
                break;
            }
            m_newPair = 1;
        }
    }
    if (!IsLine(next))
    {
        if (next)
            m_fifo.Push(next);
        GeometryOutput(line);
        return true;
    }
    auto* second = static_cast<CEntryGeo_3D*>(next);
    CEntryGeo_3D* made = MakeArcEntry(*line);
    CEntryGeo_3D* secondMade = nullptr;
    if (m_newPair)
    {
        secondMade = MakeArcEntry(*line);
        m_newPair = 0;
    }
    const int smoothed = VertexSmoothing(*line, *second, *made, secondMade);
    if (smoothed < 0)
    {
        delete made;
        delete secondMade;
        GeometryOutput(line);
        m_fifo.Push(second);
        return true;
    }
    if (smoothed == 0)
        GeometryOutput(line);
    else
        delete line;
    GeometryOutput(made);
    if (secondMade)
        m_fifo.Push(secondMade);
    m_fifo.Push(second);
    return true;
}
