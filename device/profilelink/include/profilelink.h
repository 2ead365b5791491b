// Profilelink: access to the device profile (the Gkt object dictionary) over
// the device file "GKT1:". Every function returns 0 on success; any other
// value is a failure: a code of the form 0xECA6xxxx, 0xECA70000 plus the low
// 16 bits of the platform error of a failed open, 0x8000FFFF for a short
// description, or the platform's error code (a small positive number) when
// the I/O control call itself failed. Callers test for non-zero, not for < 0.
#pragma once

#include <windows.h>

#define GKT_E_DEVICE_NOT_OPEN_ON_CLOSE static_cast<LONG>(0xECA60101)
#define GKT_E_NAME_TOO_LONG static_cast<LONG>(0xECA60102)
#define GKT_E_OUT_OF_MEMORY static_cast<LONG>(0xECA60104)
#define GKT_E_INVALID_ARGUMENT static_cast<LONG>(0xECA60107)
#define GKT_E_BUSY static_cast<LONG>(0xECA60200)
#define GKT_E_NOT_OPEN static_cast<LONG>(0xECA60201)
#define GKT_E_BAD_RESPONSE static_cast<LONG>(0xECA60FFF)
#define GKT_E_OPEN_FAILED static_cast<LONG>(0xECA70000)
#define GKT_E_SHORT_DESCRIPTION static_cast<LONG>(0x8000FFFF)

// I/O control codes of "GKT1:".
#define IOCTL_GKT_READ_WRITE 0x01000004
#define IOCTL_GKT_OBJECT_LIST 0x01000008
#define IOCTL_GKT_OBJECT_DESCRIPTION 0x0100000C
#define IOCTL_GKT_ENTRY_DESCRIPTION 0x01000010

#pragma pack(push, 1)
// The 14-byte head of every read-write block, in request and response alike.
struct GktRequestHeader
{
    LONG status;   // response: negative is a Gkt error code
    DWORD length;  // data bytes that follow
    WORD reserved; // 0
    WORD index;
    BYTE flags; // note: flags before subindex
    BYTE subindex;
};
#pragma pack(pop)
static_assert(sizeof(GktRequestHeader) == 14, "the header is 14 bytes");

extern "C"
{
    LONG GKTOpen();
    LONG GKTClose();
    LONG GKTSyncReadWrite(WORD index, BYTE subindex, BYTE flags, DWORD writeLength, const void* writeData,
                          DWORD readLength, void* readBuffer, DWORD* bytesRead);
    LONG GKTSyncRead(WORD index, BYTE subindex, BYTE flags, DWORD readLength, void* readBuffer,
                     DWORD* bytesRead);
    LONG GKTSyncWrite(WORD index, BYTE subindex, BYTE flags, DWORD writeLength, const void* writeData);
    LONG GKTSyncGetODList(WORD selector, DWORD* bufferSize, void* buffer);
    LONG GKTSyncGetObjectDescription(WORD index, DWORD value, BYTE* firstByte, WORD* unused, BYTE* entryCount,
                                     char* name, DWORD* nameLength);
    LONG GKTSyncGetEntryDescription(WORD index, BYTE subindex, DWORD value, void* description);
}

// Function pointer types for binding the library by name ("Profilelink.dll").
typedef LONG (*PFN_GKTOpen)();
typedef LONG (*PFN_GKTClose)();
typedef LONG (*PFN_GKTSyncReadWrite)(WORD, BYTE, BYTE, DWORD, const void*, DWORD, void*, DWORD*);
typedef LONG (*PFN_GKTSyncRead)(WORD, BYTE, BYTE, DWORD, void*, DWORD*);
typedef LONG (*PFN_GKTSyncWrite)(WORD, BYTE, BYTE, DWORD, const void*);
typedef LONG (*PFN_GKTSyncGetODList)(WORD, DWORD*, void*);
typedef LONG (*PFN_GKTSyncGetObjectDescription)(WORD, DWORD, BYTE*, WORD*, BYTE*, char*, DWORD*);
typedef LONG (*PFN_GKTSyncGetEntryDescription)(WORD, BYTE, DWORD, void*);
