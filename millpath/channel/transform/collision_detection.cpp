#include "collision_detection.h"

#include <cmath>
#include <numbers>
#include <vector>

#include "geo_codes.h"
#include "rc_geometry.h"
#include "trans_codes.h"
#include "trans_host.h"

namespace
{
constexpr std::uint32_t SwitchedWhileHeld = 3199;
constexpr std::uint32_t NothingToCheck = 3200;
constexpr std::uint32_t NoDirectedElement = 3206;
constexpr std::uint32_t Bottleneck = 3210;
constexpr std::uint32_t BottleneckWarned = 3211;
constexpr std::uint32_t ErrorHeld = 0x4157;       // 16727
constexpr std::uint32_t ErrorNoGeometry = 0x4158; // 16728
constexpr std::uint32_t ErrorBottleneck = 0x415B; // 16731
constexpr int ModeCut = 1;
constexpr int ModeWarn = 2;

bool IsGeometry(const CEntry* entry)
{
    return entry && entry->m_type == ENTRY_GEO_3D;
}

CEntryGeo_3D& Geo(CEntry* entry)
{
    return *static_cast<CEntryGeo_3D*>(entry);
}

bool IsRules(const CEntry* entry)
{
    return entry && entry->m_type == ENTRY_SETIPOLRULES;
}
} // namespace

CCollisionDetection::CCollisionDetection(CTransformerHost& host) : CBaseGeoCalc(host), m_trans(host) {}

CCollisionDetection::~CCollisionDetection()
{
    Reset();
}

void CCollisionDetection::Init()
{
    m_active = 0;
    m_count = 0;
    m_checkCount = 0;
    m_stopped = false;
}

void CCollisionDetection::Reset()
{
    CEntry* entry = nullptr;
    while (m_table.Pop(entry))
        delete entry;
    Init();
}

int CCollisionDetection::SetDepth(int depth)
{
    if (depth < 0 || depth > MaxDepth)
        return 0;
    m_depthPlusOne = depth + 1;
    return 1;
}

bool CCollisionDetection::EntryDirection(const CEntry&, CVec3d&) const
{
    return false;
}

std::uint32_t CCollisionDetection::NewestBlockNo() const
{
    const CEntry* newest = m_table.Last();
    return newest ? newest->m_blockNo : 0;
}

bool CCollisionDetection::PushOut(CEntry* entry)
{
    if (m_trans.OutputTable().Push(entry))
        return true;
    m_trans.Report(TransFlags::Error, TransMsg::OutputRefused, "%x%d%d",
                   {TransError::CollisionOutput, m_trans.ChannelLine(), entry->m_blockNo});
    m_trans.ChannelError(entry, TransError::CollisionOutput);
    return false;
}

int CCollisionDetection::Forward(CEntry* entry)
{
    // Entries held while the detection was off wait for an output with room.
    while (!m_active && !m_table.IsEmpty())
    {
        CEntry* first = nullptr;
        m_table.PeekFirst(first);
        if (!m_trans.OutputTable().Push(first))
            break;
        m_table.Pop(first);
    }
    if (!m_table.IsEmpty())
        return m_table.Push(entry);
    if (PushOut(entry))
        return 1;
    // Refused by the output: held here, where the next entries join it.
    return m_table.Push(entry);
}

int CCollisionDetection::Accept(CEntry* entry)
{
    if (!entry)
        return 0;
    m_trans.EntriesMade();
    // After a finding that stopped the channel everything waits behind it.
    if (m_stopped)
        return m_table.Push(entry) ? 1 : 0;
    if (!m_active)
    {
        if (IsRules(entry) && static_cast<const CEntrySetIpolRules*>(entry)->m_channelWord != 0)
        {
            m_active = 1;
            m_count = 0;
            m_checkCount = m_depthPlusOne;
            m_stopped = false;
            if (!m_table.IsEmpty())
            {
                m_trans.Report(TransFlags::Error, SwitchedWhileHeld, "%x%d%d",
                               {ErrorHeld, m_trans.ChannelLine(), entry->m_blockNo});
                m_trans.ChannelError(entry, ErrorHeld);
            }
        }
        else if (IsGeometry(entry))
            WarnGouge(Geo(entry));
        return Forward(entry);
    }
    if (IsGeometry(entry))
    {
        CEntryGeo_3D* geo = &Geo(entry);
        const bool corrected = geo->m_korrEnd.m_value != 0;
        if (!corrected && m_table.IsEmpty())
            return Forward(entry);
        // An arc that vanishes under the correction is dropped here.
        if (!PrepareArc(geo))
            return 1;
        Plane(1, *geo);
        if (!m_table.Push(entry))
            return 0;
        ++m_count;
        if (corrected)
        {
            m_checkCount = m_depthPlusOne;
            if (m_count >= m_checkCount)
                Check(0);
        }
        else
        {
            m_checkCount = m_count;
            CheckAll();
            ReleaseAll();
        }
        return 1;
    }
    if (IsRules(entry) && static_cast<const CEntrySetIpolRules*>(entry)->m_channelWord == 0)
    {
        if (!m_table.Push(entry))
            return 0;
        m_checkCount = m_count;
        if (m_count != 0)
            CheckAll();
        m_active = 0;
        ReleaseAll();
        return 1;
    }
    if (!m_table.IsEmpty())
        return m_table.Push(entry) ? 1 : 0;
    return Forward(entry);
}

void CCollisionDetection::CheckAll()
{
    while (m_count > 0 && !m_stopped)
    {
        m_checkCount = m_count;
        Check(1);
    }
}

int CCollisionDetection::DirectionMatches(const CEntryGeo_3D& entry) const
{
    if (!entry.m_prep.m_prepared)
        return 0;
    const int kind = GeoKindOf(entry);
    if (kind == GeoKind::Line)
    {
        const CVec3d d = PlaneOf(entry.m_target - entry.m_start);
        double angle = 0.0;
        if (d.Length() <= 1e-9 || TurnAngle(angle, CVec3d(1, 0, 0), d) != 0)
            return 0;
        // Directions are angles: 0.1 and 2 pi - 0.1 lie 0.2 apart.
        double apart = std::fabs(angle - entry.m_prep.m_programmedDirection);
        apart = std::fmin(apart, 2.0 * std::numbers::pi - apart);
        return apart < 0.5 ? 0 : 1;
    }
    if (kind == GeoKind::Arc)
        return (entry.m_prep.m_programmedDirection > 0.0) != (entry.m_rotation.GetZ() > 0.0) ? 1 : 0;
    return 0;
}

void CCollisionDetection::Check(int release)
{
    while (m_count > 0 && m_count >= m_checkCount && !m_stopped)
    {
        const int newestPlace = m_table.LastGeoPlace();
        const int oldestPlace = m_table.FirstGeoPlace();
        if (newestPlace < 0 || oldestPlace < 0)
        {
            m_trans.Report(TransFlags::Error, NothingToCheck, "%x%d",
                           {ErrorNoGeometry, m_trans.ChannelLine()});
            m_trans.ChannelError(nullptr, ErrorNoGeometry);
            m_stopped = true;
            return;
        }
        CEntryGeo_3D& newest = Geo(m_table.GetAt(newestPlace));
        Plane(1, newest);
        bool crossing = false;
        bool reversed = false;
        int foundPlace = -1;
        int beforeFound = -1;
        CVec3d point;
        int place = oldestPlace;
        int previous = -1;
        for (CEntry* older = m_table.GetAt(place); older && place != newestPlace;)
        {
            int next = place;
            CEntry* after = m_table.NextGeo(next);
            if (!after || next == newestPlace)
                reversed = DirectionMatches(Geo(older)) == 1 && m_count > 2;
            else
                crossing = CalcPairChecked(newest, Geo(older), point) == 1;
            if (crossing || reversed)
            {
                foundPlace = place;
                beforeFound = previous;
                break;
            }
            previous = place;
            place = next;
            older = after;
        }
        if (crossing || reversed)
        {
            const int mode = m_collisionMode;
            if (mode == ModeCut)
            {
                if (crossing)
                    CutLoop(foundPlace, newestPlace, point);
                else
                {
                    // A reversed element whose neighbours do not meet (a slot
                    // narrower than the tool) leaves a loop that no cut removes.
                    m_loop[0] = m_loop[1] = 1;
                    if (beforeFound < 0 || !RemoveLoop(beforeFound, foundPlace))
                    {
                        StopAtBottleneck(newest);
                        return;
                    }
                }
            }
            else if (mode == ModeWarn)
                m_trans.Report(GeoReportFlags::Warning, BottleneckWarned, "%d%d",
                               {m_trans.ChannelLine(), static_cast<long long>(newest.m_blockNo)});
            else
            {
                StopAtBottleneck(newest);
                return;
            }
        }
        const int oldest = m_table.FirstGeoPlace();
        if (oldest >= 0 && m_count >= m_checkCount)
            ReleaseUpTo(oldest);
        if (release && m_count > 0)
            m_checkCount = m_count;
    }
}

void CCollisionDetection::WarnGouge(CEntryGeo_3D& entry)
{
    if (entry.m_korrStart.m_value == 0 && entry.m_korrEnd.m_value == 0)
        return;
    const bool inPlane = entry.m_prep.m_planeTransformed != 0;
    Plane(1, entry);
    const bool reversed = DirectionMatches(entry) == 1;
    if (!inPlane)
        Plane(0, entry);
    if (reversed)
        m_trans.Report(GeoReportFlags::Warning, BottleneckWarned, "%d%d",
                       {m_trans.ChannelLine(), static_cast<long long>(entry.m_blockNo)});
}

void CCollisionDetection::StopAtBottleneck(const CEntryGeo_3D& newest)
{
    m_trans.Report(TransFlags::Error, Bottleneck, "%x%d%d",
                   {ErrorBottleneck, m_trans.ChannelLine(), static_cast<long long>(newest.m_blockNo)});
    m_trans.ChannelError(&newest, ErrorBottleneck);
    m_loop[0] = m_loop[1] = 0;
    m_stopped = true;
}

void CCollisionDetection::ReportRelease(const CEntry& entry)
{
    if (m_report && m_trans.ReportsWanted())
        ReportEntry(GeoReportFlags::Warning, GeoMsg::ArcVanished, entry);
}

void CCollisionDetection::ReleaseFirst()
{
    CEntry* entry = nullptr;
    if (!m_table.Pop(entry))
        return;
    if (IsGeometry(entry))
    {
        CEntryGeo_3D& geo = Geo(entry);
        Plane(0, geo);
        geo.m_prep.m_offset.reset();
        --m_count;
        ReportRelease(geo);
    }
    if (!PushOut(entry))
        delete entry;
}

void CCollisionDetection::ReleaseUpTo(int place)
{
    while (!m_table.IsEmpty() && m_table.FirstPlace() != place)
        ReleaseFirst();
    ReleaseFirst();
}

void CCollisionDetection::ReleaseAll()
{
    if (m_stopped)
        return;
    while (!m_table.IsEmpty())
        ReleaseFirst();
}

void CCollisionDetection::DropAt(int place)
{
    while (!m_table.IsEmpty() && m_table.FirstPlace() != place)
        ReleaseFirst();
    CEntry* entry = nullptr;
    if (!m_table.Pop(entry))
        return;
    ReportRelease(*entry);
    if (IsGeometry(entry))
        --m_count;
    delete entry;
}

void CCollisionDetection::CutLoop(int firstPlace, int lastPlace, const CVec3d& point)
{
    CEntryGeo_3D& first = Geo(m_table.GetAt(firstPlace));
    CEntryGeo_3D& last = Geo(m_table.GetAt(lastPlace));
    SetEnd(first, point);
    const CVec3d q = first.m_target;
    ReleaseUpTo(firstPlace);
    // One element that only moves across the plane (a z move) stays at the junction.
    bool kept = false;
    while (!m_table.IsEmpty() && m_table.FirstPlace() != lastPlace)
    {
        CEntry* entry = m_table.GetAt(m_table.FirstPlace());
        if (!IsGeometry(entry))
            ReleaseFirst();
        else if (!kept && StandsStill(Geo(entry)))
        {
            SetLine(Geo(entry), q, last);
            kept = true;
            ReleaseFirst();
        }
        else
            DropAt(m_table.FirstPlace());
    }
    SetStart(last, point);
}

bool CCollisionDetection::RemoveLoop(int firstPlace, int fromPlace)
{
    int place = fromPlace;
    CEntry* found = nullptr;
    for (CEntry* e = m_table.NextGeo(place); e; e = m_table.NextGeo(place))
    {
        if (Geo(e).m_prep.m_prepared)
        {
            found = e;
            break;
        }
        if (place == m_table.LastGeoPlace())
            break;
    }
    if (!found)
    {
        m_trans.Report(TransFlags::Error, NoDirectedElement, "%d%d", {m_trans.ChannelLine(), 0});
        m_trans.ChannelError(nullptr, ErrorNoGeometry);
        m_stopped = true;
        return true;
    }
    CEntryGeo_3D& first = Geo(m_table.GetAt(firstPlace));
    CEntryGeo_3D& element = Geo(found);
    CVec3d point;
    bool removed = CalcPair(first, element, point) != 0;
    if (removed)
    {
        SetEnd(first, point);
        SetStart(element, point);
        // The reversed elements between the two are the loop.
        int at = firstPlace;
        std::vector<CEntry*> between;
        for (CEntry* e = m_table.NextGeo(at); e && e != found; e = m_table.NextGeo(at))
            between.push_back(e);
        if (!between.empty())
        {
            ReleaseUpTo(firstPlace);
            while (!m_table.IsEmpty() && m_table.GetAt(m_table.FirstPlace()) != found)
            {
                CEntry* e = m_table.GetAt(m_table.FirstPlace());
                if (IsGeometry(e))
                    DropAt(m_table.FirstPlace());
                else
                    ReleaseFirst();
            }
        }
        if (m_loop[0] + 1 < m_count && DirectionMatches(element) == 1)
        {
            ++m_loop[0];
            const int elementPlace = place;
            int before = elementPlace;
            if (m_table.PrevGeo(before))
                removed = RemoveLoop(before, elementPlace);
        }
    }
    m_loop[0] = 0;
    m_loop[1] = 0;
    return removed;
}
