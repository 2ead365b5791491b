// A Profilelink that lacks one export (GKTSyncGetEntryDescription), for the import's check that
// every entry point is bound. None of these is ever called.
#include <windows.h>

#define STRIPPED_EXPORT extern "C" __attribute__((visibility("default")))

STRIPPED_EXPORT LONG GKTOpen()
{
    return -1;
}
STRIPPED_EXPORT LONG GKTClose()
{
    return -1;
}
STRIPPED_EXPORT LONG GKTSyncReadWrite(WORD, BYTE, BYTE, DWORD, const void*, DWORD, void*, DWORD*)
{
    return -1;
}
STRIPPED_EXPORT LONG GKTSyncRead(WORD, BYTE, BYTE, DWORD, void*, DWORD*)
{
    return -1;
}
STRIPPED_EXPORT LONG GKTSyncWrite(WORD, BYTE, BYTE, DWORD, const void*)
{
    return -1;
}
STRIPPED_EXPORT LONG GKTSyncGetODList(WORD, DWORD*, void*)
{
    return -1;
}
STRIPPED_EXPORT LONG GKTSyncGetObjectDescription(WORD, DWORD, BYTE*, WORD*, BYTE*, char*, DWORD*)
{
    return -1;
}
