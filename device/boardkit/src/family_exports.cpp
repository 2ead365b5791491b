// The exports whose body is their data shape alone, generated from the table.
#include "families.h"

#include <boardkit.h>

using namespace boardkit;

#define SHAPE_read8(name)                                                                                    \
    BOARDKIT_EXPORT BOOL name(DWORD* value)                                                                  \
    {                                                                                                        \
        return finish(DeviceIoRead8(fn::name.group, fn::name.offset, value, fn::name.level));                \
    }
#define SHAPE_read8s(name)                                                                                   \
    BOARDKIT_EXPORT BOOL name(LONG* value)                                                                   \
    {                                                                                                        \
        return finish(DeviceIoRead8Signed(fn::name.group, fn::name.offset, value, fn::name.level));          \
    }
#define SHAPE_read16(name)                                                                                   \
    BOARDKIT_EXPORT BOOL name(DWORD* value)                                                                  \
    {                                                                                                        \
        return finish(DeviceIoRead16(fn::name.group, fn::name.offset, value, fn::name.level));               \
    }
#define SHAPE_read32(name)                                                                                   \
    BOARDKIT_EXPORT BOOL name(DWORD* value)                                                                  \
    {                                                                                                        \
        return finish(DeviceIoRead32(fn::name.group, fn::name.offset, value, fn::name.level));               \
    }
#define SHAPE_write8(name)                                                                                   \
    BOARDKIT_EXPORT BOOL name(BYTE value)                                                                    \
    {                                                                                                        \
        return finish(DeviceIoWrite8(fn::name.group, fn::name.offset, value, fn::name.level));               \
    }
#define SHAPE_cmd(name)                                                                                      \
    BOARDKIT_EXPORT BOOL name()                                                                              \
    {                                                                                                        \
        return finish(DeviceIoCommand(fn::name.group, fn::name.offset, fn::name.level));                     \
    }
#define SHAPE_buffer(name)                                                                                   \
    BOARDKIT_EXPORT BOOL name(BYTE* buffer)                                                                  \
    {                                                                                                        \
        return finish(DeviceIoReadBuffer(fn::name.group, fn::name.offset, buffer, fn::name.size,             \
                                         fn::name.minimum, fn::name.level));                                 \
    }
#define SHAPE_text(name)                                                                                     \
    BOARDKIT_EXPORT BOOL name(LPSTR text)                                                                    \
    {                                                                                                        \
        return finish(DeviceIoReadBuffer(fn::name.group, fn::name.offset, text, fn::name.size,               \
                                         fn::name.minimum, fn::name.level));                                 \
    }
#define SHAPE_own(name)

#define FAMILY(name, group, offset, shape, size, minimum, level) SHAPE_##shape(name)
#include "families.inc"
#undef FAMILY
