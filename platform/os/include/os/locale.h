// The system's language. The device keeps it in the registry: HKEY_LOCAL_MACHINE
// "Locale" holds "SystemLangID" (REG_DWORD, a language identifier such as 0x0407
// for German); without it the device speaks English (0x0409).
#pragma once

#include <os/types.h>

typedef WORD LANGID;

#define LANG_NEUTRAL 0x00
#define LANG_GERMAN 0x07
#define LANG_ENGLISH 0x09
#define SUBLANG_DEFAULT 0x01

#define MAKELANGID(primary, sub)                                                                             \
    (static_cast<LANGID>((static_cast<WORD>(sub) << 10) | static_cast<WORD>(primary)))
#define PRIMARYLANGID(langid) (static_cast<WORD>(langid) & 0x3FF)
#define SUBLANGID(langid) (static_cast<WORD>(langid) >> 10)

extern "C"
{
    LANGID GetSystemDefaultLangID();
}
