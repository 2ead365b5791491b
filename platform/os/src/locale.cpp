#include <os/locale.h>
#include <os/registry.h>

extern "C" LANGID GetSystemDefaultLangID()
{
    const LANGID english = MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Locale", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return english;
    const std::optional<DWORD> value = os::queryNumber(key, u"SystemLangID");
    RegCloseKey(key);
    // A value that is missing, of another type or size, or names no language leaves the default.
    if (!value || *value == 0 || *value > 0xFFFF)
        return english;
    return static_cast<LANGID>(*value);
}
