// The Gkt entry table: Profilelink loaded by name at run time, with the addresses of its eight
// exports. The import of the device profile holds one table for its run, the I/O manager one for
// its life; a table has no lock of its own (its owner serialises the calls it makes).
#pragma once

#include <profilelink.h>

#include <windows.h>

struct GktApiTable
{
    PFN_GKTOpen pfnOpen = nullptr;
    PFN_GKTClose pfnClose = nullptr;
    PFN_GKTSyncRead pfnSyncRead = nullptr;
    PFN_GKTSyncWrite pfnSyncWrite = nullptr;
    PFN_GKTSyncReadWrite pfnSyncReadWrite = nullptr;
    PFN_GKTSyncGetODList pfnSyncGetODList = nullptr;
    PFN_GKTSyncGetObjectDescription pfnSyncGetObjectDescription = nullptr;
    PFN_GKTSyncGetEntryDescription pfnSyncGetEntryDescription = nullptr;
    // Holds one load reference on the library.
    HMODULE hModule = nullptr;
};

// Loads "Profilelink.dll" into the cleared table and looks every export up; a missing export
// leaves its slot empty and still gives 0. E_POINTER without a table; the platform's error when
// the library cannot be loaded (the table stays cleared).
DWORD GktApiLoad(GktApiTable* table);
// True only when the library and all eight exports are there.
bool GktApiIsComplete(const GktApiTable* table);
// Frees the library (when loaded) and clears the table; it does not close the device.
// E_POINTER without a table, else 0.
DWORD GktApiUnload(GktApiTable* table);
