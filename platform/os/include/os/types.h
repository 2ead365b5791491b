// Basic types, result codes and the per-thread last error of the device API.
#pragma once

#include <cstddef>
#include <cstdint>

typedef int BOOL;
typedef uint8_t BYTE;
typedef uint8_t BOOLEAN;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef uint64_t DWORD64;
typedef int INT;
typedef unsigned int UINT;
typedef short SHORT;
typedef unsigned short USHORT;
typedef char CHAR;
typedef unsigned char UCHAR;
typedef float FLOAT;
typedef double DOUBLE;
typedef void VOID;
typedef uintptr_t UINT_PTR;
typedef intptr_t INT_PTR;
typedef uintptr_t ULONG_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef size_t SIZE_T;
typedef int32_t HRESULT;

// Wide text of the device is 16 bits wide (UTF-16), unlike the host's wchar_t.
typedef char16_t WCHAR;
typedef WCHAR TCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef WCHAR* LPTSTR;
typedef const WCHAR* LPCTSTR;
typedef char* LPSTR;
typedef const char* LPCSTR;

typedef void* LPVOID;
typedef const void* LPCVOID;
typedef BOOL* LPBOOL;
typedef BYTE* LPBYTE;
typedef const BYTE* LPCBYTE;
typedef WORD* LPWORD;
typedef DWORD* LPDWORD;
typedef LONG* LPLONG;
typedef LONG* PLONG;
typedef DWORD* PDWORD;
typedef BYTE* PBYTE;
typedef void* PVOID;

typedef void* HANDLE;
typedef HANDLE* LPHANDLE;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HWND__* HWND;
typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;

typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;

typedef DWORD ACCESS_MASK;
typedef ACCESS_MASK REGSAM;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define WINAPI
#define CALLBACK
#define APIENTRY
#define STDMETHODCALLTYPE
#define STDAPI extern "C" HRESULT

#define TEXT(text) u##text
#define _T(text) u##text

#define MAX_PATH 260
#define INFINITE 0xFFFFFFFFu
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))

#define LOWORD(value) (static_cast<WORD>(static_cast<DWORD_PTR>(value) & 0xFFFF))
#define HIWORD(value) (static_cast<WORD>((static_cast<DWORD_PTR>(value) >> 16) & 0xFFFF))
#define LOBYTE(value) (static_cast<BYTE>(static_cast<DWORD_PTR>(value) & 0xFF))
#define HIBYTE(value) (static_cast<BYTE>((static_cast<DWORD_PTR>(value) >> 8) & 0xFF))
#define MAKEWORD(low, high)                                                                                  \
    (static_cast<WORD>((static_cast<BYTE>(low)) | (static_cast<WORD>(static_cast<BYTE>(high)) << 8)))
#define MAKELONG(low, high)                                                                                  \
    (static_cast<LONG>((static_cast<WORD>(low)) | (static_cast<DWORD>(static_cast<WORD>(high)) << 16)))

// System error codes.
#define ERROR_SUCCESS 0L
#define NO_ERROR 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_TOO_MANY_OPEN_FILES 4L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_BAD_FORMAT 11L
#define ERROR_INVALID_ACCESS 12L
#define ERROR_INVALID_DATA 13L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_NO_MORE_FILES 18L
#define ERROR_NOT_READY 21L
#define ERROR_BAD_LENGTH 24L
#define ERROR_WRITE_FAULT 29L
#define ERROR_READ_FAULT 30L
#define ERROR_GEN_FAILURE 31L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_LOCK_VIOLATION 33L
#define ERROR_HANDLE_EOF 38L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_DEV_NOT_EXIST 55L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_BROKEN_PIPE 109L
#define ERROR_DISK_FULL 112L
#define ERROR_CALL_NOT_IMPLEMENTED 120L
#define ERROR_SEM_TIMEOUT 121L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_NAME 123L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_NEGATIVE_SEEK 131L
#define ERROR_DIR_NOT_EMPTY 145L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_BUSY 170L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_BAD_EXE_FORMAT 193L
#define ERROR_ENVVAR_NOT_FOUND 203L
#define ERROR_MORE_DATA 234L
#define WAIT_TIMEOUT 258L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_DIRECTORY 267L
#define ERROR_NOT_OWNER 288L
#define ERROR_ARITHMETIC_OVERFLOW 534L
#define ERROR_OPERATION_ABORTED 995L
#define ERROR_IO_PENDING 997L
#define ERROR_NOACCESS 998L
#define ERROR_INVALID_FLAGS 1004L
#define ERROR_BADDB 1009L
#define ERROR_BADKEY 1010L
#define ERROR_CANTOPEN 1011L
#define ERROR_CANTREAD 1012L
#define ERROR_CANTWRITE 1013L
#define ERROR_KEY_DELETED 1018L
#define ERROR_CHILD_MUST_BE_VOLATILE 1021L
#define ERROR_DLL_INIT_FAILED 1114L
#define ERROR_NOT_FOUND 1168L
#define ERROR_CANCELLED 1223L
#define ERROR_INTERNAL_ERROR 1359L
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_INVALID_THREAD_ID 1444L
#define ERROR_TIMEOUT 1460L

// HRESULTs.
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#define MAKE_HRESULT(severity, facility, code)                                                               \
    (static_cast<HRESULT>((static_cast<uint32_t>(severity) << 31) |                                          \
                          (static_cast<uint32_t>(facility) << 16) | static_cast<uint32_t>(code)))
#define FACILITY_WIN32 7
#define HRESULT_FROM_WIN32(error)                                                                            \
    (static_cast<HRESULT>(error) <= 0 ? static_cast<HRESULT>(error)                                          \
                                      : static_cast<HRESULT>((static_cast<uint32_t>(error) & 0x0000FFFFu) |  \
                                                             (FACILITY_WIN32 << 16) | 0x80000000u))
#define HRESULT_CODE(hr) ((hr)&0xFFFF)

#define S_OK (static_cast<HRESULT>(0x00000000L))
#define S_FALSE (static_cast<HRESULT>(0x00000001L))
#define E_NOTIMPL (static_cast<HRESULT>(0x80004001L))
#define E_NOINTERFACE (static_cast<HRESULT>(0x80004002L))
#define E_POINTER (static_cast<HRESULT>(0x80004003L))
#define E_ABORT (static_cast<HRESULT>(0x80004004L))
#define E_FAIL (static_cast<HRESULT>(0x80004005L))
#define E_UNEXPECTED (static_cast<HRESULT>(0x8000FFFFL))
#define E_ACCESSDENIED (static_cast<HRESULT>(0x80070005L))
#define E_HANDLE (static_cast<HRESULT>(0x80070006L))
#define E_OUTOFMEMORY (static_cast<HRESULT>(0x8007000EL))
#define E_INVALIDARG (static_cast<HRESULT>(0x80070057L))
#define CLASS_E_NOAGGREGATION (static_cast<HRESULT>(0x80040110L))
#define CLASS_E_CLASSNOTAVAILABLE (static_cast<HRESULT>(0x80040111L))
#define REGDB_E_CLASSNOTREG (static_cast<HRESULT>(0x80040154L))
#define CO_E_NOTINITIALIZED (static_cast<HRESULT>(0x800401F0L))
#define RPC_E_CHANGED_MODE (static_cast<HRESULT>(0x80010106L))
#define SELFREG_E_CLASS (static_cast<HRESULT>(0x80040201L))
#define CO_E_CLASSSTRING (static_cast<HRESULT>(0x800401F3L))
#define CO_E_ERRORINDLL (static_cast<HRESULT>(0x800401F9L))

extern "C"
{
    DWORD GetLastError();
    void SetLastError(DWORD error);
}
