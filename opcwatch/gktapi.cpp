#include "gktapi.h"

namespace
{
template <typename Function> void bind(HMODULE module, const char16_t* name, Function& slot)
{
    slot = reinterpret_cast<Function>(GetProcAddressW(module, name));
}
} // namespace

DWORD GktApiLoad(GktApiTable* table)
{
    if (!table)
        return static_cast<DWORD>(E_POINTER);
    *table = GktApiTable{};
    HMODULE module = LoadLibraryW(u"Profilelink.dll");
    if (!module)
        return GetLastError();
    table->hModule = module;
    bind(module, u"GKTOpen", table->pfnOpen);
    bind(module, u"GKTClose", table->pfnClose);
    bind(module, u"GKTSyncRead", table->pfnSyncRead);
    bind(module, u"GKTSyncWrite", table->pfnSyncWrite);
    bind(module, u"GKTSyncReadWrite", table->pfnSyncReadWrite);
    bind(module, u"GKTSyncGetODList", table->pfnSyncGetODList);
    bind(module, u"GKTSyncGetObjectDescription", table->pfnSyncGetObjectDescription);
    bind(module, u"GKTSyncGetEntryDescription", table->pfnSyncGetEntryDescription);
    return 0;
}

bool GktApiIsComplete(const GktApiTable* table)
{
    return table && table->hModule && table->pfnOpen && table->pfnClose && table->pfnSyncRead &&
           table->pfnSyncWrite && table->pfnSyncReadWrite && table->pfnSyncGetODList &&
           table->pfnSyncGetObjectDescription && table->pfnSyncGetEntryDescription;
}

DWORD GktApiUnload(GktApiTable* table)
{
    if (!table)
        return static_cast<DWORD>(E_POINTER);
    if (table->hModule)
        FreeLibrary(table->hModule);
    *table = GktApiTable{};
    return 0;
}
