// Path-preparation data that a geometry entry carries through the transformer
// chain. The entry owns the objects attached here; a copy of an entry starts
// without them (they describe the original's place in the chain).
#pragma once

#include "diff_rc_geo.h"

#include <cstdint>
#include <memory>

// Base of objects a stage keeps with an entry (the tangential following's
// per-element data); deleted with the entry.
class CEntryAttachment
{
public:
    virtual ~CEntryAttachment() = default;
};

struct CEntryGeoPrep
{
    CEntryGeoPrep() = default;
    CEntryGeoPrep(const CEntryGeoPrep& other) { CopyValues(other); }
    CEntryGeoPrep& operator=(const CEntryGeoPrep& other)
    {
        if (this != &other)
        {
            m_offset.reset();
            m_tfGeo.reset();
            CopyValues(other);
        }
        return *this;
    }

    std::unique_ptr<CBDiffRcGeoObj> m_offset;  // offset element (line, arc or helix), owned
    std::unique_ptr<CEntryAttachment> m_tfGeo; // tangential following data, owned
    std::uint32_t m_planeTransformed = 0;      // points brought into the x-y plane
    std::uint32_t m_prepared = 0;              // programmed direction formed
    std::uint32_t m_directionTested = 0;       // direction tested by the collision detection
    double m_programmedDirection = 0.0;        // line: direction angle; arc: sign is the sense
    std::uint32_t m_axisMoves[3] = {0, 0, 0};  // x, y, z: end differs from start
    std::uint32_t m_sideChange = 0;            // the tool changes sides over this element
    CVec3d m_programmedStart;                  // the programmed points in the working plane
    CVec3d m_programmedEnd;

private:
    void CopyValues(const CEntryGeoPrep& other)
    {
        m_planeTransformed = other.m_planeTransformed;
        m_prepared = other.m_prepared;
        m_directionTested = other.m_directionTested;
        m_programmedDirection = other.m_programmedDirection;
        m_sideChange = other.m_sideChange;
        m_programmedStart = other.m_programmedStart;
        m_programmedEnd = other.m_programmedEnd;
        for (int i = 0; i < 3; ++i)
        {
            m_axisMoves[i] = other.m_axisMoves[i];
        }
    }
};
