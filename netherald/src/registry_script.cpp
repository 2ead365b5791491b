#include "registry_script.h"

namespace netherald
{
// %MODULE% is the library's own path.
const char16_t kRegistryScript[] = uR"(
HKCR
{
    Netherald.Device.1 = s 'Device Class'
    {
        CLSID = s '{198E2F5D-ABB8-4B32-BA5A-2861E95E6ECB}'
    }
    Netherald.Device = s 'Device Class'
    {
        CLSID = s '{198E2F5D-ABB8-4B32-BA5A-2861E95E6ECB}'
        CurVer = s 'Netherald.Device.1'
    }
    NoRemove CLSID
    {
        ForceRemove {198E2F5D-ABB8-4B32-BA5A-2861E95E6ECB} = s 'Device Class'
        {
            ProgID = s 'Netherald.Device.1'
            VersionIndependentProgID = s 'Netherald.Device'
            ForceRemove 'Programmable'
            InprocServer32 = s '%MODULE%'
            {
                val ThreadingModel = s 'Free'
            }
            val AppID = s '{7B1B1426-D4E4-40F4-B3FA-9AB03456EEE0}'
            'TypeLib' = s '{AF4310BD-B106-4CC6-9024-268636EAFC8C}'
        }
    }
    NoRemove AppID
    {
        '{7B1B1426-D4E4-40F4-B3FA-9AB03456EEE0}' = s 'Netherald'
        'Netherald.DLL'
        {
            val AppID = s '{7B1B1426-D4E4-40F4-B3FA-9AB03456EEE0}'
        }
    }
    NoRemove TypeLib
    {
        ForceRemove {AF4310BD-B106-4CC6-9024-268636EAFC8C}
        {
            1.0 = s 'Netherald 1.0 Type Library'
            {
                0
                {
                    win32 = s '%MODULE%'
                }
                FLAGS = s '0'
            }
        }
    }
}
)";
} // namespace netherald
