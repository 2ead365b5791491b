// Mainboard type and its text forms.
#include "text_forms.h"

#include <boardkit.h>

using namespace boardkit;

BOARDKIT_EXPORT BOOL WmGenGetMainboardType(LPSTR type)
{
    const fn::Function& f = fn::WmGenGetMainboardType;
    return finish(DeviceIoReadRecord(f.group, f.offset, reinterpret_cast<BYTE*>(type), f.size, f.level));
}

BOARDKIT_EXPORT BOOL WmGenGetMainboardTypeExA(LPSTR buffer, DWORD size)
{
    return finish(readTextForm(fn::WmGenGetMainboardType, buffer, size));
}

BOARDKIT_EXPORT BOOL WmGenGetMainboardTypeExW(LPWSTR buffer, DWORD size)
{
    return finish(readTextForm(fn::WmGenGetMainboardType, buffer, size));
}
