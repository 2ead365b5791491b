// Vertex smoothing: the arc tangent to two lines at their corner, at the
// vertex distance from it on both lines.
#include <algorithm>
#include <cmath>

#include "transformer.h"

namespace
{
// A line ends at the point; the copy of the target in its start member goes with it.
void SetTarget(CEntryGeo_3D& entry, const CVec3d& point)
{
    entry.m_target = point;
    entry.m_korrStart.m_vectors[3] = point;
}

void SetCentre(CEntryGeo_3D& entry, const CVec3d& point)
{
    entry.m_centre = point;
    entry.m_korrEnd.m_vectors[3] = point;
}

void SetArc(CEntryGeo_3D& arc, const CVec3d& from, const CVec3d& to, const CVec3d& centre, const CVec3d& turn)
{
    arc.m_start = from;
    SetTarget(arc, to);
    SetCentre(arc, centre);
    arc.m_rotation = turn;
}
} // namespace

CEntryGeo_3D* CTransformer::MakeArcEntry(const CEntryGeo_3D& first) const
{
    auto* arc = new CEntryGeo_3D;
    arc->m_textIdx = first.m_textIdx;
    arc->m_lineIdx = first.m_lineIdx;
    arc->m_blockNo = first.m_blockNo;
    arc->m_geoType = 1;
    arc->m_plane = 0;
    arc->m_feedMode = first.m_feedMode;
    arc->m_feedFactor = first.m_feedFactor;
    arc->m_ipolMode = first.m_ipolMode;
    arc->m_zeroShift = first.m_zeroShift;
    // The arc turns at the end of the first line: its correction data hold there.
    arc->m_korrStart = first.m_korrEnd;
    arc->m_korrEnd = first.m_korrEnd;
    // The additional axes stand where the first line left them.
    for (int i = 0; i < CEntryGeo_3D::AuxAxes; ++i)
    {
        arc->m_auxStart[i] = first.m_auxTarget[i];
        arc->m_auxTarget[i] = first.m_auxTarget[i];
    }
    return arc;
}

int CTransformer::VertexSmoothing(CEntryGeo_3D& first, CEntryGeo_3D& second, CEntryGeo_3D& made,
                                  CEntryGeo_3D* secondMade)
{
    double d = m_vertexDistance;
    if (d < MinVertexDistance)
        return -1;
    const CVec3d p0 = first.m_start;
    const CVec3d p1 = first.m_target;
    const CVec3d p2 = second.m_target;
    const double length1 = Distance(p0, p1);
    const double length2 = Distance(second.m_start, p2);
    if (d > length1)
        d = 0.8 * length1;
    if (length2 < m_vertexDistance)
        d = std::min(d, 0.4 * length2);
    if (d < MinVertexDistance)
        return -1;
    const CVec3d u1 = (p1 - p0) / length1;
    const CVec3d u2 = (p2 - second.m_start) / length2;
    const double cosine = std::clamp(Dot(u1, u2), -1.0, 1.0);
    const double alpha = std::acos(cosine);
    if (alpha < m_minAngle || !(1.0 - cosine > 0.0))
        return -1;
    const CVec3d axis = Cross(u1, u2);
    if (Cross(u2, u1).Length() == 0.0)
        return -1;
    auto place = [&](double distance, CVec3d& centre, CVec3d& a, CVec3d& b)
    {
        centre = p1 + (distance / (1.0 - cosine)) * (u2 - u1);
        a = p1 - distance * u1;
        b = p1 + distance * u2;
    };
    CVec3d centre, a, b;
    place(d, centre, a, b);
    if (Distance(b, second.m_start) > 0.5 * length2 || Distance(a, p1) > length1)
    {
        d = std::min(0.5 * length2, length1);
        place(d, centre, a, b);
    }
    const CVec3d unitAxis = axis.Unit();
    const CVec3d turn = alpha * unitAxis;
    made.m_feed = std::min(first.m_feed, second.m_feed);
    if (secondMade)
    {
        // Split at the middle, where an M function between the lines takes effect.
        const CVec3d middle = centre + RotateInPlane(a - centre, unitAxis, 0.5 * alpha);
        secondMade->m_feed = made.m_feed;
        SetArc(made, a, middle, centre, 0.5 * turn);
        SetArc(*secondMade, middle, b, centre, 0.5 * turn);
    }
    else
        SetArc(made, a, b, centre, turn);
    SetTarget(first, a);
    second.m_start = b;
    return 0;
}
