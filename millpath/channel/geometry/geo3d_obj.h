// Geometry objects over one geometry entry: the tangent directions at the
// start and the end of a line, an arc or a helix.
#pragma once

#include "entry.h"
#include "vec3d.h"

class CGeo3dObj
{
public:
    // The entry is not owned; start and end are copied from it.
    explicit CGeo3dObj(const CEntryGeo_3D& entry);
    CGeo3dObj(const CGeo3dObj&) = delete;
    CGeo3dObj& operator=(const CGeo3dObj&) = delete;
    virtual ~CGeo3dObj() = default;

    // 0, or GeoResult::TangentNotAvailable / TangentZero.
    virtual int StartTangent(CVec3d& out) const;
    virtual int EndTangent(CVec3d& out) const;

    const CEntryGeo_3D& Entry() const { return m_entry; }
    const CVec3d& Start() const { return m_start; }
    const CVec3d& End() const { return m_end; }

protected:
    const CEntryGeo_3D& m_entry;
    CVec3d m_start;
    CVec3d m_end;
};

class CGeo3dLineObj : public CGeo3dObj
{
public:
    explicit CGeo3dLineObj(const CEntryGeo_3D& entry) : CGeo3dObj(entry) {}
    // The unit direction; a line of length 0 gives the zero vector.
    int StartTangent(CVec3d& out) const override;
    int EndTangent(CVec3d& out) const override;
};

class CGeo3dCircleObj : public CGeo3dObj
{
public:
    explicit CGeo3dCircleObj(const CEntryGeo_3D& entry);
    int StartTangent(CVec3d& out) const override;
    // The start tangent turned about the arc's axis by the swept angle.
    int EndTangent(CVec3d& out) const override;

    double SweptAngle() const { return m_angle; }
    double Radius() const { return m_radius; }

private:
    double m_angle = 0.0;
    double m_radius = 0.0;
    CVec3d m_centre;
    CVec3d m_radiusVector;
    CVec3d m_rotation;
    CVec3d m_unitRadius;
    CVec3d m_startTangent;
};

class CGeo3dHelixObj : public CGeo3dObj
{
public:
    explicit CGeo3dHelixObj(const CEntryGeo_3D& entry) : CGeo3dObj(entry) {}
};
