// Geometry entries and a recording group for the entry-based geometry tests.
#pragma once

#include "base_geo_calc.h"
#include "entry.h"
#include "geo_calc_host.h"

#include <memory>
#include <string>
#include <vector>

inline std::unique_ptr<CEntryGeo_3D> LineEntry(CVec3d start, CVec3d end, std::uint32_t blockNo = 1)
{
    auto e = std::make_unique<CEntryGeo_3D>();
    e->m_geoType = 0;
    e->m_start = start;
    e->m_target = end;
    e->m_blockNo = blockNo;
    return e;
}

// An arc about centre from start sweeping by rotation.z (signed) in plane 0.
inline std::unique_ptr<CEntryGeo_3D> ArcEntry(CVec3d start, CVec3d end, CVec3d centre, CVec3d rotation,
                                              std::uint32_t kind = 1, std::uint32_t blockNo = 2)
{
    auto e = std::make_unique<CEntryGeo_3D>();
    e->m_geoType = kind;
    e->m_start = start;
    e->m_target = end;
    e->m_centre = centre;
    e->m_rotation = rotation;
    e->m_blockNo = blockNo;
    return e;
}

class RecordingHost : public CGeoCalcHost
{
public:
    struct Line
    {
        std::uint32_t flags;
        std::uint32_t message;
        std::vector<long long> args;
    };

    void Report(std::uint32_t flags, std::uint32_t message, const char*,
                const std::vector<long long>& args) override
    {
        m_lines.push_back({flags, message, args});
    }
    bool ReportsWanted() const override { return m_wantReports; }
    long long ChannelLine() const override { return 77; }
    void ChannelError(const CEntry* entry, std::uint32_t error) override
    {
        m_errorEntry = entry;
        m_error = error;
    }

    std::vector<Line> m_lines;
    bool m_wantReports = true;
    const CEntry* m_errorEntry = nullptr;
    std::uint32_t m_error = 0;
};
