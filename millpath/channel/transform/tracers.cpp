#include "tracers.h"

int CZeroShiftTracer::Trace(std::uint32_t value, const CZeroShiftSource& source)
{
    return Append(value,
                  [&](ZeroShiftRecord& r)
                  {
                      const int n = source.ActiveZeroShift();
                      if (n >= 1)
                          r.shift = source.ZeroShiftComponent(n, 0) + source.ZeroShiftComponent(n, 1);
                      r.further[0] = source.FurtherVector(0);
                      r.further[1] = source.FurtherVector(1);
                  });
}

int CRotationTracer::Trace(std::uint32_t value, const CRotationSource& source)
{
    return Append(value, [&](RotationRecord& r) { r.rotation = source.RotationVector(); });
}
