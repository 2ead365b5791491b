// The numbers of every device function, from the one table in families.inc:
// fn::GetCpuTjmax.group and so on, for the bodies written by hand.
#pragma once

#include "device_io.h"

#define BOARDKIT_EXPORT extern "C" __attribute__((visibility("default")))
// The wide forms exported under their C++ names.
#define BOARDKIT_EXPORT_CPP __attribute__((visibility("default")))

namespace boardkit::fn
{

struct Function
{
    DWORD group;
    DWORD offset;
    DWORD size;    // the data size of the row
    DWORD minimum; // the fewest bytes that must come back
    Level level;
};

#define FAMILY(name, group, offset, shape, size, minimum, level)                                             \
    inline constexpr Function name{group, offset, size, minimum, Level::level};
#include "families.inc"
#undef FAMILY

} // namespace boardkit::fn
