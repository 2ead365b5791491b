// Tangential following: keeps one additional (rotary) axis of the group
// turned along the tangent of the path in the working plane, as a knife
// needs it. The transformer hands it entries while it follows (modes 1 and
// 2); it gives each geometry element its rotary target and, where the
// tangent turns at a corner by the corner limit or more, puts a stop and a
// move of the rotary axis alone before the next element. A function entry
// with code 23 switches and parameterises it; mode 3 (off, after a reset)
// passes every entry it holds on to the group's output.
#pragma once

#include <cstdint>

#include "base_table.h"
#include "entry.h"
#include "geo_entry_prep.h"
#include "vec3d.h"

class CEntryGeo_3D;
class CTransformerHost;

// The tangents of one geometry element, kept with the entry.
class CTfGeoObj : public CEntryAttachment
{
public:
    static constexpr int TooShort = -510;
    static constexpr int NoKind = -509;
    static constexpr int AlongNormal = -499;

    virtual double Length() const { return m_length; }
    virtual const CVec3d& StartTangent() const { return m_startTangent; }
    virtual const CVec3d& EndTangent() const { return m_endTangent; }
    // 0, -510 for an element without length, -509 for another kind, -499 for
    // a line along the plane normal (it then has the normal-only flag).
    virtual int Compute(const CEntryGeo_3D& entry, const CVec3d& normal);
    virtual bool NormalOnly() const { return m_normalOnly != 0; }

private:
    CVec3d m_startTangent;
    CVec3d m_endTangent;
    std::int32_t m_normalOnly = 0;
    double m_length = 0.0;
};

class CTangentialFollowing
{
public:
    static constexpr int ModeFirst = 1;
    static constexpr int ModeNext = 2;
    static constexpr int ModeOff = 3;
    static constexpr std::uint32_t Description = 23;

    explicit CTangentialFollowing(CTransformerHost& host);
    CTangentialFollowing(const CTangentialFollowing&) = delete;
    CTangentialFollowing& operator=(const CTangentialFollowing&) = delete;
    virtual ~CTangentialFollowing();

    static bool IsTangDesc(const CEntry* entry);
    // Takes the mode word, the axis, the four values and the plane normal.
    virtual void SetTangDesc(const CEntryFunk& entry);
    // Takes an entry into the look-ahead and treats what it can: 1 taken, 0
    // when the look-ahead is full (message 3214, the channel in state 11).
    virtual int Accept(CEntry* entry);
    // One treatment step by the mode; mode 3 passes everything on.
    virtual int TreatStep();
    // Stores the mode, except that mode 1 does not replace mode 2.
    virtual void SetFollowMode(int mode);
    virtual void Reset();
    // Deletes the entries of both tables, then resets.
    virtual void Clear();
    virtual bool IsIdle() const { return m_input.IsEmpty() && m_lookAhead.IsEmpty(); }
    // 1 when the group's output can take what a step may push (the held
    // entries, a stop and a turning move); 0 otherwise, after message 3214
    // when the output is empty and so can never make room.
    virtual int HasRoom();
    // Treats the held entries while the output has room for them: 0, or
    // 0x415E when an empty output cannot take them (reported).
    virtual int Resume();

    // The absolute angle folded into 0 to pi.
    static double Normalize(double angle);
    // The angle in 0 to 2 pi by which from turns about the plane normal to
    // reach to; 0, or the error of the angle between them.
    virtual std::uint32_t AngleAbout(double& out, const CVec3d& from, const CVec3d& to) const;
    // The tangent's turn along the element (radians): 1, or 0 after an error
    // reported to the channel.
    virtual int TangentTurn(double& out, CEntryGeo_3D& entry);
    // The direction of angle 0 in the element's plane; -497 for another plane.
    virtual int ReferenceDirection(const CEntryGeo_3D& entry, CVec3d& out) const;
    // The element's tangents (made on first need); the result of Compute.
    virtual int MakeTfGeoObj(CEntryGeo_3D& entry);

    int Mode() const { return m_mode; }
    bool Finished() const { return m_finished != 0; }
    double Offset() const { return m_offset; }
    double CornerLimit() const { return m_values[1]; }

protected:
    // Mode 1: the first element with a tangent gets its angle.
    int FirstElement();
    // Mode 2: the next element turns on from the current one.
    int NextElement();
    // Mode 3: every held entry to the output, in order; 1 when all left.
    int PassAll();
    // Passes held entries on until the next geometry element with a tangent;
    // that element, or null when none is held yet (code: -498).
    CEntryGeo_3D* NextWithTangent(int& code);
    // A stop and a move of the rotary axis alone by the angle (degrees) before the element.
    int InsertCorner(CEntryGeo_3D& element, double degrees);
    void AddOffset(CEntryGeo_3D& entry) const;
    bool PassOn(CEntry* entry);
    // HasRoom, telling whether the output can never make room.
    int Room(bool& stuck);
    int Axis() const { return m_axis - 3; } // axis numbers count X, Y and Z first
    bool AxisValid() const { return Axis() >= 0 && Axis() < 5; }
    CTfGeoObj* TfOf(const CEntryGeo_3D& entry) const;

    CTransformerHost& m_host;
    std::int32_t m_finished = 0;
    std::int32_t m_words[2] = {0, 0};
    double m_offset = 0.0;
    double m_length = 0.0;
    std::int32_t m_mode = ModeOff;
    std::int32_t m_place = -1;
    // The current element's end tangent and rotary target (it has left already).
    CVec3d m_currentEnd;
    double m_currentTarget = 0.0;
    std::int32_t m_modeWord = 0;
    std::int32_t m_axis = 0;
    double m_values[4] = {0.0, 0.0, 0.0, 0.0}; // angle offset, corner limit (degrees), two more
    CVec3d m_normal{0.0, 0.0, 1.0};
    CBaseTable m_input;
    CTfTable m_lookAhead;
};
