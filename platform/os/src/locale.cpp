#include "registry_read.h"

#include <os/locale.h>

extern "C" LANGID GetSystemDefaultLangID()
{
    const std::optional<DWORD> value = os::detail::machineDword(u"Locale", u"SystemLangID");
    // A value that is missing, of another type or size, or names no language leaves English.
    if (!value || *value == 0 || *value > 0xFFFF)
        return MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT);
    return static_cast<LANGID>(*value);
}
