// A group double for the transformer chain tests: it records the report log
// and the channel errors, owns the output table, and answers the tool table
// and the channel state that a test sets.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "entry.h"
#include "fifo_table.h"
#include "trans_host.h"

class FakeTransHost : public CTransformerHost
{
public:
    struct Line
    {
        std::uint32_t flags;
        std::uint32_t message;
        std::string format;
        std::vector<long long> args;
    };
    struct Error
    {
        std::uint32_t blockNo;
        std::uint32_t lineIdx;
        std::uint32_t code;
    };
    struct Tool
    {
        std::uint16_t type = 0;
        double radius = 0.0;
    };

    ~FakeTransHost() override { ClearOutput(); }

    void Report(std::uint32_t flags, std::uint32_t message, const char* format,
                const std::vector<long long>& args) override
    {
        lines.push_back({flags, message, format, args});
    }
    bool ReportsWanted() const override { return reportsWanted; }
    long long ChannelLine() const override { return channelLine; }
    void ChannelError(const CEntry* entry, std::uint32_t error) override
    {
        errors.push_back({entry ? entry->m_blockNo : 0u, entry ? entry->m_lineIdx : 0u, error});
        state = 11;
    }
    CFiFoTable& OutputTable() override { return *output; }
    void EntriesMade() override { ++made; }
    int ChannelState() const override { return state; }
    std::uint16_t ToolType(std::uint32_t tool) const override
    {
        auto it = tools.find(tool);
        return it == tools.end() ? 0 : it->second.type;
    }
    double ToolRadius(std::uint32_t tool) const override
    {
        auto it = tools.find(tool);
        return it == tools.end() ? 0.0 : it->second.radius;
    }
    std::uint32_t GroupId() const override { return groupId; }

    // What left the chain, in its order (taken from the output table).
    std::vector<std::unique_ptr<CEntry>> Drain()
    {
        std::vector<std::unique_ptr<CEntry>> out;
        CEntry* entry = nullptr;
        while (output->Pop(entry))
            out.emplace_back(entry);
        return out;
    }
    void ClearOutput() { Drain(); }
    bool Logged(std::uint32_t message) const
    {
        for (const Line& l : lines)
            if (l.message == message)
                return true;
        return false;
    }
    const Line* Find(std::uint32_t message) const
    {
        for (const Line& l : lines)
            if (l.message == message)
                return &l;
        return nullptr;
    }

    std::vector<Line> lines;
    std::vector<Error> errors;
    // The group's prepared-entry table; a test may give it a smaller ring.
    std::unique_ptr<CFiFoTable> output = std::make_unique<CCookedTable>();
    void SetOutputCapacity(int capacity)
    {
        ClearOutput();
        output = std::make_unique<CFiFoTable>(capacity);
    }
    std::map<std::uint32_t, Tool> tools;
    bool reportsWanted = true;
    long long channelLine = 7;
    int state = 5;
    int made = 0;
    std::uint32_t groupId = 1;
};

// Entry makers of the chain tests.
inline CEntryGeo_3D* MakeLine(const CVec3d& from, const CVec3d& to, std::uint32_t blockNo = 0,
                              double feed = 600.0)
{
    auto* line = new CEntryGeo_3D;
    line->m_geoType = 0;
    line->m_start = from;
    line->m_target = to;
    line->m_feed = feed;
    line->m_blockNo = blockNo;
    return line;
}

inline CEntryGeo_3D* MakeArc(const CVec3d& from, const CVec3d& to, const CVec3d& centre, const CVec3d& turn,
                             std::uint32_t blockNo = 0)
{
    auto* arc = MakeLine(from, to, blockNo);
    arc->m_geoType = 1;
    arc->m_centre = centre;
    arc->m_rotation = turn;
    return arc;
}

inline CEntryMFunk* MakeM(MFunkKind kind, int number, std::uint32_t blockNo = 0)
{
    auto* m = new CEntryMFunk;
    m->m_kind = static_cast<std::uint16_t>(kind);
    m->m_mNumbers[0] = number;
    m->m_blockNo = blockNo;
    return m;
}

inline CEntryFunk* MakeFunction(std::uint32_t code, double value = 0.0, std::int32_t word3 = 0)
{
    auto* f = new CEntryFunk;
    f->m_code = code;
    f->m_value1 = value;
    f->m_word3 = word3;
    return f;
}

inline CEntrySetIpolRules* MakeRules(std::int32_t correction, std::uint32_t tool, std::uint32_t approach = 0,
                                     std::uint32_t variant = 0)
{
    auto* r = new CEntrySetIpolRules;
    r->m_rule1 = 1;
    r->m_rule4 = static_cast<std::uint32_t>(correction);
    r->m_rule5 = tool;
    r->m_rule6 = approach;
    r->m_rule7 = variant;
    return r;
}
