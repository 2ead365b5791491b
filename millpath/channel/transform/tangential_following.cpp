#include "tangential_following.h"

#include <cmath>
#include <new>
#include <numbers>

#include "base_geo_calc.h"
#include "entry.h"
#include "rc_geometry.h"
#include "trans_codes.h"
#include "trans_host.h"

namespace
{
constexpr double Pi = std::numbers::pi;
constexpr double TwoPi = 2.0 * std::numbers::pi;
constexpr double Degrees = 57.29577951308232;
// A junction that turns the tangent by less than this (radians) is tangent:
// the path runs on without a stop whatever the corner limit.
constexpr double TangentJunction = 1e-6;
constexpr std::uint32_t LookAheadRefused = 3214;
constexpr std::uint32_t TangentFailed = 3216;
constexpr std::uint32_t LookAheadFull = 0x415E; // 16734
constexpr std::uint32_t ElementFailed = 0x415F; // 16735
constexpr int TurnFailed = -496;
constexpr int BadPlane = -497;
constexpr int NoElement = -498;
// Places a step may need beyond the held entries.
constexpr int StepReserve = 3;

bool IsGeometry(const CEntry* entry)
{
    return entry && entry->m_type == ENTRY_GEO_3D;
}

// An angle in degrees brought into -180 to 180.
double Signed(double degrees)
{
    while (degrees > 180.0)
        degrees -= 360.0;
    while (degrees < -180.0)
        degrees += 360.0;
    return degrees;
}
} // namespace

int CTfGeoObj::Compute(const CEntryGeo_3D& entry, const CVec3d& normal)
{
    const int kind = GeoKindOf(entry);
    if (kind == GeoKind::Line)
    {
        const CVec3d d = entry.m_target - entry.m_start;
        m_length = d.Length();
        if (m_length < 1e-9)
            return TooShort;
        m_startTangent = d.Unit();
        m_endTangent = m_startTangent;
        // A line along the normal has no direction in the plane.
        if (Cross(m_startTangent, normal).Length() < 1e-7)
        {
            m_normalOnly = 1;
            return AlongNormal;
        }
        return 0;
    }
    if (kind == GeoKind::Arc || kind == GeoKind::Helix)
    {
        const CVec3d startRadius = entry.m_start - entry.m_centre;
        m_length = startRadius.Length() * entry.m_rotation.Length();
        if (m_length < 1e-9)
            return TooShort;
        const CVec3d axis = entry.m_rotation.Unit();
        const CVec3d endRadius = entry.m_target - entry.m_centre;
        m_startTangent = Cross(axis, startRadius).Unit();
        m_endTangent = Cross(axis, endRadius).Unit();
        return 0;
    }
    return NoKind;
}

CTangentialFollowing::CTangentialFollowing(CTransformerHost& host) : m_host(host) {}

CTangentialFollowing::~CTangentialFollowing()
{
    Clear();
}

void CTangentialFollowing::Reset()
{
    m_place = -1;
    m_offset = 0.0;
    m_length = 0.0;
    m_finished = 0;
    m_words[0] = 0;
    m_words[1] = 0;
    m_currentEnd = CVec3d();
    m_currentTarget = 0.0;
    m_mode = ModeOff;
}

void CTangentialFollowing::Clear()
{
    for (CBaseTable* table : {&m_input, static_cast<CBaseTable*>(&m_lookAhead)})
    {
        CEntry* entry = nullptr;
        while (table->Pop(entry))
            delete entry;
    }
    Reset();
}

bool CTangentialFollowing::IsTangDesc(const CEntry* entry)
{
    return entry && entry->m_type == ENTRY_FUNK &&
           static_cast<const CEntryFunk*>(entry)->m_code == Description;
}

void CTangentialFollowing::SetTangDesc(const CEntryFunk& entry)
{
    m_modeWord = entry.m_word1;
    m_axis = entry.m_word2;
    m_values[0] = entry.m_value2;
    m_values[1] = entry.m_value3;
    m_values[2] = entry.m_value4;
    m_values[3] = entry.m_value5;
    // A description without its plane axes follows in the x-y plane.
    m_normal = entry.m_vector.Length() > 1e-9 ? entry.m_vector.Unit() : CVec3d(0, 0, 1);
}

void CTangentialFollowing::SetFollowMode(int mode)
{
    if (mode == ModeFirst && m_mode == ModeNext)
        return;
    m_mode = mode;
}

double CTangentialFollowing::Normalize(double angle)
{
    double a = std::fabs(angle);
    if (a > TwoPi)
        a = std::fmod(a, TwoPi);
    if (a > Pi)
        a = TwoPi - a;
    return a;
}

std::uint32_t CTangentialFollowing::AngleAbout(double& out, const CVec3d& from, const CVec3d& to) const
{
    double a = 0.0;
    if (const std::uint32_t rc = Angle(a, from, to); rc != 0)
        return rc;
    const CVec3d target = to.Unit();
    const double first = Distance(RotateInPlane(from.Unit(), m_normal, a), target);
    const double second = Distance(RotateInPlane(from.Unit(), m_normal, TwoPi - a), target);
    out = a;
    if (first >= 1e-9 && !(second >= 1e-9 && second > first))
        out = TwoPi - a;
    return 0;
}

CTfGeoObj* CTangentialFollowing::TfOf(const CEntryGeo_3D& entry) const
{
    return static_cast<CTfGeoObj*>(entry.m_prep.m_tfGeo.get());
}

int CTangentialFollowing::MakeTfGeoObj(CEntryGeo_3D& entry)
{
    auto* object = new (std::nothrow) CTfGeoObj;
    if (!object)
    {
        m_host.ChannelError(&entry, TransError::NoMemory);
        return -1;
    }
    entry.m_prep.m_tfGeo.reset(object);
    const int rc = object->Compute(entry, m_normal);
    if (rc == CTfGeoObj::TooShort || rc == CTfGeoObj::NoKind)
    {
        m_host.Report(TransFlags::Error, TangentFailed, "%x%d%d%d",
                      {ElementFailed, m_host.ChannelLine(), static_cast<long long>(entry.m_blockNo), rc});
        m_host.ChannelError(&entry, ElementFailed);
    }
    return rc;
}

int CTangentialFollowing::TangentTurn(double& out, CEntryGeo_3D& entry)
{
    out = 0.0;
    const int kind = GeoKindOf(entry);
    if (kind == GeoKind::Line)
        return 1;
    CTfGeoObj* tf = TfOf(entry);
    double a = 0.0;
    if (kind != GeoKind::Arc && kind != GeoKind::Helix)
    {
        m_host.Report(TransFlags::Error, TangentFailed, "%x%d%d%d",
                      {ElementFailed, m_host.ChannelLine(), static_cast<long long>(entry.m_blockNo), -509});
        m_host.ChannelError(&entry, ElementFailed);
        return 0;
    }
    if (!tf || AngleAbout(a, tf->StartTangent(), tf->EndTangent()) != 0)
    {
        m_host.Report(
            TransFlags::Error, TangentFailed, "%x%d%d%d",
            {ElementFailed, m_host.ChannelLine(), static_cast<long long>(entry.m_blockNo), TurnFailed});
        m_host.ChannelError(&entry, ElementFailed);
        return 0;
    }
    const bool against = Distance(entry.m_rotation.Unit(), m_normal) > 1.0;
    if (a < 1e-9 || TwoPi - a < 1e-9)
    {
        // No turn, or a full one: the sweep tells; a full circle against the normal turns by -2 pi.
        out = entry.m_rotation.Length() < Pi / 2 ? 0.0 : (against ? -TwoPi : TwoPi);
        return 1;
    }
    out = against ? a - TwoPi : a;
    return 1;
}

int CTangentialFollowing::ReferenceDirection(const CEntryGeo_3D& entry, CVec3d& out) const
{
    if (entry.m_plane > 2)
        return BadPlane;
    out = CVec3d();
    out.SetAxis(static_cast<int>(entry.m_plane), 1.0);
    CVec3d angles;
    for (int axis = 0; axis < 3; ++axis)
        if (entry.m_rotFlags[axis])
            angles.SetAxis(axis, entry.m_rotAngles.GetAxis(axis) / Degrees);
    RotateByAngles(out, angles);
    return 0;
}

void CTangentialFollowing::AddOffset(CEntryGeo_3D& entry) const
{
    entry.m_auxStart[Axis()] += m_offset;
    entry.m_auxTarget[Axis()] += m_offset;
}

bool CTangentialFollowing::PassOn(CEntry* entry)
{
    if (m_host.OutputTable().Push(entry))
    {
        m_host.EntriesMade();
        return true;
    }
    m_host.Report(TransFlags::Error, TransMsg::TangentialOutput, "%x%d%d",
                  {TransError::CollisionOutput, m_host.ChannelLine(), entry->m_blockNo});
    m_host.ChannelError(entry, TransError::CollisionOutput);
    delete entry;
    return false;
}

int CTangentialFollowing::InsertCorner(CEntryGeo_3D& element, double degrees)
{
    auto* stop = new (std::nothrow) CEntryStop;
    auto* turn = new (std::nothrow) CEntryGeo_3D(element);
    if (!stop || !turn)
    {
        delete stop;
        delete turn;
        return TurnFailed;
    }
    stop->m_textIdx = element.m_textIdx;
    stop->m_lineIdx = element.m_lineIdx;
    stop->m_blockNo = element.m_blockNo;
    // Only the rotary axis moves: the path stands at the element's start.
    turn->m_prep = CEntryGeoPrep{};
    turn->m_geoType = (element.m_geoType & ~0xFFu) | 3u;
    turn->m_target = element.m_start;
    turn->m_centre = CVec3d();
    turn->m_rotation = CVec3d();
    for (int axis = 0; axis < CEntryGeo_3D::AuxAxes; ++axis)
    {
        turn->m_auxTarget[axis] = element.m_auxStart[axis];
        turn->m_auxMoves[axis] = 0;
    }
    const int a = Axis();
    turn->m_auxTarget[a] = element.m_auxStart[a] + degrees;
    turn->m_auxMoves[a] = std::fabs(turn->m_auxTarget[a] - turn->m_auxStart[a]) > 1e-6 ? 1u : 0u;
    for (int axis = 0; axis < 3; ++axis)
        turn->m_prep.m_axisMoves[axis] = 0;
    element.m_auxStart[a] = turn->m_auxTarget[a];
    if (!PassOn(stop))
    {
        delete turn;
        return TurnFailed;
    }
    return PassOn(turn) ? 0 : TurnFailed;
}

CEntryGeo_3D* CTangentialFollowing::NextWithTangent(int& code)
{
    code = NoElement;
    CEntry* entry = nullptr;
    while (m_lookAhead.PeekFirst(entry) && entry)
    {
        if (!IsGeometry(entry))
        {
            m_lookAhead.Pop(entry);
            if (!PassOn(entry))
                return nullptr;
            continue;
        }
        auto& geo = *static_cast<CEntryGeo_3D*>(entry);
        if (!TfOf(geo))
        {
            const int rc = MakeTfGeoObj(geo);
            if (rc != 0 && rc != CTfGeoObj::AlongNormal)
            {
                code = rc;
                return nullptr;
            }
        }
        if (!TfOf(geo)->NormalOnly())
            return &geo;
        // A move along the normal has no tangent: it keeps the axis where it stands.
        m_length += TfOf(geo)->Length();
        if (m_mode == ModeNext)
        {
            geo.m_auxStart[Axis()] = m_currentTarget;
            geo.m_auxTarget[Axis()] = m_currentTarget;
        }
        m_lookAhead.Pop(entry);
        if (!PassOn(entry))
            return nullptr;
    }
    return nullptr;
}

int CTangentialFollowing::FirstElement()
{
    int code = 0;
    CEntryGeo_3D* element = NextWithTangent(code);
    if (!element)
        return code == NoElement ? 0 : code;
    CVec3d reference;
    if (ReferenceDirection(*element, reference) != 0)
        return BadPlane;
    double phi = 0.0;
    if (AngleAbout(phi, reference, TfOf(*element)->StartTangent()) != 0)
        return TurnFailed;
    if (m_finished)
        AddOffset(*element);
    else
        m_offset = 0.0;
    const int a = Axis();
    double held = std::fmod(element->m_auxStart[a], 360.0);
    if (held < 0.0)
        held += 360.0;
    const double d = Signed(m_values[0] - held + phi * Degrees);
    m_offset += d;
    double t = 0.0;
    if (!TangentTurn(t, *element))
        return TurnFailed;
    t *= Degrees;
    if (std::fabs(d) > m_values[1] && InsertCorner(*element, d) != 0)
        return TurnFailed;
    m_offset += t;
    element->m_auxTarget[a] += t + d;
    element->m_auxMoves[a] = std::fabs(element->m_auxTarget[a] - element->m_auxStart[a]) > 1e-6 ? 1u : 0u;
    m_currentEnd = TfOf(*element)->EndTangent();
    m_currentTarget = element->m_auxTarget[a];
    m_mode = ModeNext;
    m_length = 0.0;
    CEntry* entry = nullptr;
    m_lookAhead.Pop(entry);
    return PassOn(entry) ? 1 : TurnFailed;
}

int CTangentialFollowing::NextElement()
{
    int code = 0;
    CEntryGeo_3D* element = NextWithTangent(code);
    if (!element)
        return code;
    double theta = 0.0;
    if (AngleAbout(theta, m_currentEnd, TfOf(*element)->StartTangent()) != 0)
        return TurnFailed;
    const double thetaN = Normalize(theta);
    double t = 0.0;
    if (!TangentTurn(t, *element))
        return TurnFailed;
    const int a = Axis();
    const double programmed = element->m_auxTarget[a];
    element->m_auxStart[a] = m_currentTarget;
    if (thetaN > TangentJunction && thetaN * Degrees >= m_values[1])
    {
        const double signedTheta = theta > Pi ? theta - TwoPi : theta;
        if (InsertCorner(*element, signedTheta * Degrees) != 0)
            return TurnFailed;
        element->m_auxTarget[a] = element->m_auxStart[a] + t * Degrees;
    }
    else if (std::fabs(thetaN - theta) <= 0.001)
        element->m_auxTarget[a] = element->m_auxStart[a] + (t + theta) * Degrees;
    else
        element->m_auxTarget[a] = element->m_auxStart[a] + t * Degrees - thetaN * Degrees;
    element->m_auxMoves[a] = std::fabs(element->m_auxTarget[a] - element->m_auxStart[a]) > 1e-6 ? 1u : 0u;
    m_offset = element->m_auxTarget[a] - programmed;
    m_currentEnd = TfOf(*element)->EndTangent();
    m_currentTarget = element->m_auxTarget[a];
    m_length = 0.0;
    CEntry* entry = nullptr;
    m_lookAhead.Pop(entry);
    return PassOn(entry) ? 1 : TurnFailed;
}

int CTangentialFollowing::Accept(CEntry* entry)
{
    if (!entry)
        return 0;
    if (IsTangDesc(entry))
    {
        SetTangDesc(*static_cast<CEntryFunk*>(entry));
        delete entry;
        if (m_modeWord == 0 || !AxisValid())
        {
            // Switched off: what is held leaves as it is.
            m_mode = ModeOff;
            m_words[0] = 0;
            PassAll();
        }
        else
            SetFollowMode(ModeFirst);
        return 1;
    }
    if (!m_lookAhead.Push(entry))
    {
        m_host.Report(TransFlags::Error, LookAheadRefused, "%x%d%d",
                      {LookAheadFull, m_host.ChannelLine(), entry->m_blockNo});
        m_host.ChannelError(entry, LookAheadFull);
        return 0;
    }
    Resume();
    return 1;
}

int CTangentialFollowing::HasRoom()
{
    bool stuck = false;
    return Room(stuck);
}

int CTangentialFollowing::Room(bool& stuck)
{
    CFiFoTable& output = m_host.OutputTable();
    if (output.Free() > m_lookAhead.Count() + StepReserve)
        return 1;
    // The feeder drains an output that holds entries; an empty one can never make room.
    stuck = output.IsEmpty();
    if (stuck)
    {
        const CEntry* newest = m_lookAhead.Last();
        m_host.Report(TransFlags::Error, LookAheadRefused, "%x%d%d",
                      {LookAheadFull, m_host.ChannelLine(), newest ? newest->m_blockNo : 0});
        m_host.ChannelError(newest, LookAheadFull);
    }
    return 0;
}

int CTangentialFollowing::Resume()
{
    // Each step treats one element; the elements held so far go in order.
    // While following, a step may push a stop, a turn and the element, and a
    // refused push would lose them: entries wait until the feeder drains the
    // output. Passing on (mode 3) keeps a refused entry itself.
    while (!m_lookAhead.IsEmpty())
    {
        bool stuck = false;
        if (m_mode != ModeOff && Room(stuck) != 1)
            return stuck ? static_cast<int>(LookAheadFull) : 0;
        if (TreatStep() != 1)
            break;
    }
    return 0;
}

int CTangentialFollowing::TreatStep()
{
    switch (m_mode)
    {
    case ModeFirst:
        return FirstElement();
    case ModeNext:
        return NextElement();
    case ModeOff:
        return PassAll();
    default:
        return 0;
    }
}

int CTangentialFollowing::PassAll()
{
    CEntry* entry = nullptr;
    while (m_lookAhead.PeekFirst(entry) && entry)
    {
        if (!m_host.OutputTable().Push(entry))
        {
            const long long line = m_host.ChannelLine();
            m_host.Report(TransFlags::Error, TransMsg::TangentialOutput, "%x%d%d",
                          {TransError::CollisionOutput, line, entry->m_blockNo});
            m_host.ChannelError(entry, TransError::CollisionOutput);
            m_host.Report(TransFlags::Error, TransMsg::TangentialOutput, "%d%d%x",
                          {line, entry->m_blockNo, TransError::CollisionOutput});
            m_host.ChannelError(entry, TransError::CollisionOutput);
            return 0;
        }
        m_lookAhead.Pop(entry);
        m_host.EntriesMade();
    }
    m_place = -1;
    m_finished = 1;
    m_words[0] = 0;
    return 1;
}
