#include "geo3d_obj.h"

#include "geo_codes.h"

#include <cmath>

CGeo3dObj::CGeo3dObj(const CEntryGeo_3D& entry)
    : m_entry(entry), m_start(entry.m_start), m_end(entry.m_target)
{
}

int CGeo3dObj::StartTangent(CVec3d&) const
{
    return GeoResult::TangentNotAvailable;
}

int CGeo3dObj::EndTangent(CVec3d&) const
{
    return GeoResult::TangentNotAvailable;
}

int CGeo3dLineObj::StartTangent(CVec3d& out) const
{
    const CVec3d d = m_end - m_start;
    out = d.Length() == 0.0 ? d : d.Unit();
    return 0;
}

int CGeo3dLineObj::EndTangent(CVec3d& out) const
{
    return StartTangent(out);
}

CGeo3dCircleObj::CGeo3dCircleObj(const CEntryGeo_3D& entry)
    : CGeo3dObj(entry), m_centre(entry.m_centre), m_rotation(entry.m_rotation)
{
    m_angle = m_rotation.Length();
    m_radiusVector = m_start - m_centre;
    m_radius = m_radiusVector.Length();
    if (m_radius != 0.0)
    {
        m_unitRadius = m_radiusVector / m_radius;
    }
    if (m_angle != 0.0)
    {
        m_startTangent = Cross(m_rotation / m_angle, m_unitRadius);
    }
}

int CGeo3dCircleObj::StartTangent(CVec3d& out) const
{
    if (m_startTangent.Length() == 0.0)
    {
        out.Set(0.0, 0.0, 0.0);
        return GeoResult::TangentZero;
    }
    out = m_startTangent;
    return 0;
}

int CGeo3dCircleObj::EndTangent(CVec3d& out) const
{
    if (m_startTangent.Length() == 0.0)
    {
        out = m_startTangent;
        return GeoResult::TangentZero;
    }
    out = std::cos(m_angle) * m_startTangent - std::sin(m_angle) * m_unitRadius;
    return 0;
}
