// The test clock for tests of the sampling threads, whose passes fall on multiples of their
// intervals of the tick count: started on a whole hour of it, every interval's first pass comes as
// many base intervals after the start as it is long, in every run.
#pragma once

#include <opcua_testclock.hpp>

#include <memory>

namespace uaserver::testing
{
inline std::unique_ptr<OpcUa::TestClock> samplingTestClock()
{
    return std::make_unique<OpcUa::TestClock>(OpcUa_DateTime_UtcNow(), 3600000u);
}
} // namespace uaserver::testing
