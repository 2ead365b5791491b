// Offset elements of the tool radius correction: a line, an arc or a helix of
// the programmed contour moved sideways by the tool radius in the x-y plane.
// z of the points is carried along, never solved for.
#pragma once

#include "vec3d.h"

#include <cstdint>

// Offset sides: left or right of the direction of travel.
namespace RcSide
{
constexpr int Right = 0;
constexpr int Left = 1;
} // namespace RcSide

class CBDiffRcGeoObj
{
public:
    CBDiffRcGeoObj() = default;
    CBDiffRcGeoObj(const CBDiffRcGeoObj&) = default;
    CBDiffRcGeoObj& operator=(const CBDiffRcGeoObj&) = default;

    // Box test between a lower and an upper corner; the start point is not
    // tested when skipStart is non-zero.
    virtual int CheckRange(const CVec3d& lower, const CVec3d& upper, int skipStart) const;
    virtual void Tangent(CVec3d& out, int atStart) const;
    virtual void ComputeTangents();
    virtual int OffsetAgain(const CVec3d& lower, const CVec3d& upper, int skipStart) const;
    virtual ~CBDiffRcGeoObj() = default;

    void CopyFrom(const CBDiffRcGeoObj& other);

    int Kind() const { return m_kind; }
    const CVec3d& Start() const { return m_start; }
    const CVec3d& End() const { return m_end; }
    const CVec3d& StartTangent() const { return m_startTangent; }
    const CVec3d& EndTangent() const { return m_endTangent; }

protected:
    std::int32_t m_kind = 0;
    CVec3d m_start;
    CVec3d m_end;
    CVec3d m_startTangent;
    CVec3d m_endTangent;
};

class CDiffRcGeoLine : public CBDiffRcGeoObj
{
public:
    CDiffRcGeoLine() = default;
    // status: 0, or GeoResult::Invalid for a kind other than 0 or no length in the plane.
    CDiffRcGeoLine(int& status, int kind, const CVec3d& start, const CVec3d& end);

    int CheckRange(const CVec3d& lower, const CVec3d& upper, int skipStart) const override;
    void Tangent(CVec3d& out, int atStart) const override;

    virtual int Offset(int side, double radius);
    // endFlag 1 acts on the end, 0 on the start.
    virtual int Extend(int endFlag, double length);
    virtual int Shorten(int endFlag, double length);
    // y of the line at x; a line parallel to the y axis answers its start's y.
    virtual double YAt(double x) const;

    void CopyFrom(const CDiffRcGeoLine& other);

    const CVec3d& Direction() const { return m_direction; }
    // The intercept b of y = m x + b, or the constant x without a slope.
    double Intercept() const { return m_intercept; }
    double Slope() const { return m_slope; }
    bool HasSlope() const { return m_hasSlope != 0; }

private:
    void UpdateEquation();
    int CheckDirection(const CVec3d& oldStart, const CVec3d& oldEnd);
    // Moves the end (endFlag 1) or the start (0) outward (+1) or inward (-1).
    int MoveEnd(int endFlag, double length, double outward);

    CVec3d m_direction;
    double m_intercept = 0.0;
    double m_slope = 0.0;
    std::uint8_t m_hasSlope = 0;
};

class CDiffRcGeoCircle : public CBDiffRcGeoObj
{
public:
    CDiffRcGeoCircle() { m_kind = 1; }
    // status: 0, or GeoResult::Invalid for a kind other than 1 or 2, no radius,
    // no sweep or a rotation vector without z.
    CDiffRcGeoCircle(int& status, int kind, const CVec3d& start, const CVec3d& end, const CVec3d& rotation,
                     const CVec3d& centre);

    int CheckRange(const CVec3d& lower, const CVec3d& upper, int skipStart) const override;
    // Tangent one ten-thousandth of the sweep inside the arc from the end in question.
    void Tangent(CVec3d& out, int atStart) const override;

    virtual int Offset(int side, double radius);
    virtual int Extend(int endFlag, double length);
    // New ends; the sweep is formed anew between them (0 to 2 pi). keepTurns:
    // the ends moved by a corner, so the arc keeps the whole turns of its
    // previous sweep (a full circle extended at a corner turns 2 pi and more).
    virtual int SetEnds(const CVec3d& start, const CVec3d& end, double cornerAngle, int insideFlag,
                        bool keepTurns = false);

    void CopyFrom(const CDiffRcGeoCircle& other);

    const CVec3d& Rotation() const { return m_rotation; }
    const CVec3d& Centre() const { return m_centre; }
    const CVec3d& StartRadius() const { return m_startRadius; }
    const CVec3d& EndRadius() const { return m_endRadius; }
    double Radius() const { return m_radius; }
    double Sweep() const { return m_sweep; }
    // True when the arc turns counter-clockwise about +z.
    bool CounterClockwise() const { return m_direction == 1; }
    std::uint8_t DirectionFlag() const { return m_direction; }
    double ConstructionRadius() const { return m_constructionRadius; }

private:
    void SetSweep(double sweep);
    void PlaceEnds();

    CVec3d m_rotation;
    CVec3d m_centre;
    CVec3d m_startRadius;
    CVec3d m_endRadius;
    CVec3d m_aux1;
    CVec3d m_aux2;
    double m_radius = 0.0;
    double m_sweep = 0.0;
    std::uint8_t m_direction = 0;
    double m_constructionRadius = 0.0;
};

// A helix element: the plane geometry is its inner arc; z of the ends is carried.
class CDiffRcGeoHelix : public CBDiffRcGeoObj
{
public:
    CDiffRcGeoHelix(int& status, int kind, const CVec3d& start, const CVec3d& end, const CVec3d& rotation,
                    const CVec3d& centre);
    CDiffRcGeoHelix(const CDiffRcGeoHelix&) = delete;
    CDiffRcGeoHelix& operator=(const CDiffRcGeoHelix&) = delete;

    int CheckRange(const CVec3d& lower, const CVec3d& upper, int skipStart) const override;
    void Tangent(CVec3d& out, int atStart) const override;

    virtual int Offset(int side, double radius);
    virtual int Extend(int endFlag, double length);

    void CopyFrom(const CDiffRcGeoHelix& other);

    CDiffRcGeoCircle& Arc() { return *m_arc; }
    const CDiffRcGeoCircle& Arc() const { return *m_arc; }

private:
    void TakeOverArc();

    CDiffRcGeoCircle m_inner;
    CDiffRcGeoCircle* m_arc = &m_inner;
};
