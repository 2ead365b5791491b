// What the transformer chain needs of its group and channel: the report log
// and the channel's error interface (of the plane calculations), the output
// table towards the feeder, the channel's state and tool table, and the
// channel's way into the chain.
#pragma once

#include <cstdint>

#include "geo_calc_host.h"

class CEntry;
class CFiFoTable;

class CTransformerHost : public CGeoCalcHost
{
public:
    // The group's prepared-entry table, which the last stages push to.
    virtual CFiFoTable& OutputTable() = 0;
    // Marks the group as having made entries (the feeder has work).
    virtual void EntriesMade() = 0;
    // The interpreter state of the channel (0 without one).
    virtual int ChannelState() const = 0;
    // Tool type (the tool's first 16-bit value) and tool datum 1, the radius;
    // asked on the channel's thread only, while the look-ahead table takes a
    // rules entry.
    virtual std::uint16_t ToolType(std::uint32_t tool) const = 0;
    virtual double ToolRadius(std::uint32_t tool) const = 0;
    // The group's number, named by some messages.
    virtual std::uint32_t GroupId() const = 0;
};
