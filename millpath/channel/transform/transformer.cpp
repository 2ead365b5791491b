// The transformer's construction, reset and the operations around its main
// step (transformer_process.cpp) and the vertex smoothing
// (vertex_smoothing.cpp).
#include "transformer.h"

#include <cmath>
#include <numbers>

#include "nc_radius_correction.h"
#include "rc_entry_geometry.h"
#include "rc_geometry.h"
#include "trans_codes.h"
#include "trans_host.h"

namespace
{
constexpr double Degree = std::numbers::pi / 180.0;
} // namespace

CTransformer::CTransformer(CTransformerHost& host, const CTransTable::CorrectionFactory& correction)
    : m_host(host), m_table(host, correction), m_minAngle(Degree)
{
    m_collision = std::make_unique<CCollisionDetection>(host);
    m_table.SetCollisionDetection(m_collision.get());
    m_tangential = std::make_unique<CTangentialFollowing>(host);
    m_chamfer = std::make_unique<CChamferRnd>(host, *this);
    Reset();
}

CTransformer::~CTransformer()
{
    Reset();
}

void CTransformer::DropEverything()
{
    m_table.Clear();
    DropPending();
    CEntry* entry = nullptr;
    while (m_fifo.Pop(entry))
        delete entry;
}

void CTransformer::DropPending()
{
    delete m_inHand.exchange(nullptr);
}

void CTransformer::Reset()
{
    m_blocked = 0;
    // The entries in hand go too, so that nothing of the old path follows a reset.
    DropEverything();
    m_newPair = 0;
    m_chamfer->Reset();
    m_collision->Reset();
    m_tangential->Clear();
    if (CBNcRadiusCorrection* correction = m_table.Correction())
        correction->Reset();
    m_stopSeen = 0;
    // Mode 3 holds the angle pi, as SetAccurateStop gives it.
    m_accurateStopAngle = std::numbers::pi;
    m_accurateStopMode = AccurateStopOff;
}

void CTransformer::SetAccurateStop(const CEntryFunk& entry)
{
    const double angle = entry.m_value1 * Degree;
    const std::int32_t mode = entry.m_word3;
    if (mode == AccurateStopOff)
    {
        m_accurateStopMode = AccurateStopOff;
        m_accurateStopAngle = std::numbers::pi;
    }
    else if (m_accurateStopMode == AccurateStopOff)
    {
        if (mode == AccurateStopOn)
        {
            m_accurateStopMode = AccurateStopOn;
            m_accurateStopAngle = angle;
        }
    }
    else
        m_accurateStopAngle = angle;
}

int CTransformer::AddEntry(CEntry* entry)
{
    return m_table.Append(entry);
}

bool CTransformer::IsIdle() const
{
    return m_table.Count() == 0 && m_tangential->IsIdle() && !m_inHand && m_fifo.IsEmpty() &&
           m_collision->IsIdle() && m_chamfer->IsIdle();
}

int CTransformer::ChannelPassOn(CEntry* entry)
{
    const int result = AddEntry(entry);
    if (result == 0)
        return 1;
    if (result == static_cast<int>(TransError::NoCorrection))
        return 0;
    m_host.Report(TransFlags::Error, TransMsg::PassOnFailed, "%d", {m_host.ChannelLine()});
    m_host.ChannelError(entry, static_cast<std::uint32_t>(result));
    return -1;
}

int CTransformer::PassOn(CEntry* entry)
{
    // A tangential description goes to the tangential stage, and what follows
    // goes there while it follows the path.
    const bool tangential =
        CTangentialFollowing::IsTangDesc(entry) || m_tangential->Mode() != CTangentialFollowing::ModeOff;
    const int result = tangential ? TangentialAccept(entry) : m_collision->Accept(entry);
    if (!result)
        delete entry;
    return result;
}

int CTransformer::HandleFunction(CEntryFunk* entry)
{
    switch (entry->m_code)
    {
    case 16:
        SetVertexDistance(entry->m_value1);
        break;
    case 17:
        SetAccurateStop(*entry);
        break;
    default:
        return PassOn(entry);
    }
    delete entry;
    return 1;
}

int CTransformer::HandleDefault(CEntry* entry)
{
    delete entry;
    return 1;
}

int CTransformer::InsertStop(const CEntry& cause)
{
    auto* stop = new CEntryStop;
    stop->m_textIdx = cause.m_textIdx;
    stop->m_lineIdx = cause.m_lineIdx;
    stop->m_blockNo = cause.m_blockNo;
    return PassOn(stop);
}

double CTransformer::CornerAngle(const CEntry& entry) const
{
    CVec3d direction;
    double angle = 0.0;
    if (!m_collision->EntryDirection(entry, direction) || Angle(angle, m_vector, direction) != 0)
        return std::numbers::pi;
    return std::numbers::pi - angle;
}

std::unique_ptr<CGeo3dObj> CTransformer::MakeGeoObject(const CEntryGeo_3D& entry)
{
    std::unique_ptr<CGeo3dObj> object;
    switch (entry.m_geoType & 0xFF)
    {
    case 0:
        object = std::make_unique<CGeo3dLineObj>(entry);
        break;
    case 1:
        object = std::make_unique<CGeo3dCircleObj>(entry);
        break;
    case 2:
        // A helix has no tangents of its own to compute.
        return std::make_unique<CGeo3dHelixObj>(entry);
    default:
        m_host.ChannelError(&entry, TransError::NoMemory);
        return nullptr;
    }
    CVec3d tangent;
    if (object->StartTangent(tangent) != 0)
    {
        m_host.ChannelError(&entry, TransError::ObjectFailed);
        return nullptr;
    }
    return object;
}

void CTransformer::RotateFour(CVec3d (&vectors)[4], double degrees, int axis) const
{
    if (axis >= 4)
        return;
    const double s = std::sin(degrees * Degree);
    const double c = std::cos(degrees * Degree);
    for (CVec3d& v : vectors)
    {
        CVec3d turned;
        if (RotateVecAboutAxis(turned, v, s, c, axis))
            v = turned;
    }
}

void CTransformer::Mirror(CVec3d (&points)[3], CVec3d& normal, int flags, std::int32_t& direction) const
{
    for (int axis = 0; axis < 3; ++axis)
    {
        if (!(flags & (1 << axis)))
            continue;
        for (CVec3d& p : points)
            p.SetAxis(axis, -p.GetAxis(axis));
        // The normal turns as an axial vector: its other components change sign.
        for (int other = 0; other < 3; ++other)
            if (other != axis)
                normal.SetAxis(other, -normal.GetAxis(other));
        direction = -direction;
    }
}

std::uint32_t CTransformer::SetCollisionMode(int mode)
{
    if (mode < 0 || mode > 2)
        return TransError::BadValue;
    m_collisionMode = mode;
    m_table.SetCollisionMode(mode);
    m_collision->SetCollisionMode(mode);
    return 0;
}

std::uint32_t CTransformer::CollisionCommand(int value)
{
    if (!m_collision)
        return TransError::NoCollisionStage;
    return m_collision->SetDepth(value) ? 0 : TransError::BadValue;
}

int CTransformer::TangentialAccept(CEntry* entry)
{
    const long long block = entry ? entry->m_blockNo : 0;
    if (m_tangential->Accept(entry))
        return 1;
    m_host.Report(TransFlags::Error, TransMsg::OutputRefused, "%x%d%d",
                  {TransError::Tangential, m_host.ChannelLine(), block});
    m_host.ChannelError(entry, TransError::Tangential);
    return 0;
}

int CTransformer::GeometryOutput(CEntryGeo_3D* entry)
{
    // Nothing sets the feed factor: a factor of 0 leaves the feed as programmed.
    if (entry->m_feedMode == 4 && entry->m_feedFactor != 0.0)
        entry->m_feed *= entry->m_feedFactor;
    const CEntry_Korrektur& start = entry->m_korrStart;
    const CEntry_Korrektur& end = entry->m_korrEnd;
    if (start.m_active || end.m_active)
    {
        // The tool's type as the look-ahead table read it from the channel's
        // tool table with the rules: never the channel's lock from here.
        const std::uint32_t type = end.m_active ? end.m_toolType : start.m_toolType;
        if (type >= 1 && type <= 9)
        {
            const int kind = static_cast<int>(entry->m_geoType & 0xFF);
            const bool thread = kind >= 4 && kind <= 6;
            bool refused = false;
            for (int axis = 0; axis < 3; ++axis)
            {
                const bool flagged = entry->m_toolOffsetFlags[axis] != 0;
                if (thread && flagged)
                {
                    refused = true;
                    continue;
                }
                const double sign = flagged ? -1.0 : 1.0;
                const double atStart =
                    sign * (start.m_vectors[0].GetAxis(axis) + start.m_vectors[1].GetAxis(axis));
                const double atEnd = sign * (end.m_vectors[0].GetAxis(axis) + end.m_vectors[1].GetAxis(axis));
                entry->m_start.Component(axis) += atStart;
                entry->m_target.Component(axis) += atEnd;
                if (!thread)
                    entry->m_centre.Component(axis) += atStart;
            }
            if (refused)
                m_host.ChannelError(entry, TransError::CorrectionData);
        }
    }
    MovedAxes(*entry);
    return PassOn(entry);
}
