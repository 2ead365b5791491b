// Files and folders of the device file system (paths as in os/deviceroot.h),
// device files ("GKT1:"), and the generic I/O calls on either.
#pragma once

#include <os/sync.h>
#include <os/types.h>

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_EXECUTE 0x20000000u
#define GENERIC_ALL 0x10000000u
#define FILE_READ_DATA 0x0001
#define FILE_WRITE_DATA 0x0002
#define FILE_APPEND_DATA 0x0004
#define FILE_ALL_ACCESS 0x001F01FF

#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100
#define FILE_FLAG_WRITE_THROUGH 0x80000000u
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu
#define INVALID_FILE_SIZE 0xFFFFFFFFu
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu

#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

struct FILETIME
{
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
typedef FILETIME* LPFILETIME;
typedef const FILETIME* LPCFILETIME;

struct SYSTEMTIME
{
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek; // 0 is Sunday
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};
typedef SYSTEMTIME* LPSYSTEMTIME;

struct WIN32_FIND_DATAW
{
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwOID;
    WCHAR cFileName[MAX_PATH];
};
typedef WIN32_FIND_DATAW* LPWIN32_FIND_DATAW;
typedef WIN32_FIND_DATAW WIN32_FIND_DATA;
typedef WIN32_FIND_DATAW* LPWIN32_FIND_DATA;

struct OVERLAPPED;
typedef OVERLAPPED* LPOVERLAPPED;

extern "C"
{
    // Sharing modes are accepted and not enforced. Names of the form "XXX1:" open
    // device files. Opening an existing file with CREATE_ALWAYS or OPEN_ALWAYS sets
    // ERROR_ALREADY_EXISTS.
    HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                       DWORD creation, DWORD flags, HANDLE templateFile);
    BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped);
    BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED overlapped);
    DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method);
    DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
    BOOL SetEndOfFile(HANDLE file);
    BOOL FlushFileBuffers(HANDLE file);
    BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID input, DWORD inputSize, LPVOID output,
                         DWORD outputSize, LPDWORD returned, LPOVERLAPPED overlapped);

    BOOL DeleteFileW(LPCWSTR name);
    BOOL CopyFileW(LPCWSTR existing, LPCWSTR target, BOOL failIfExists);
    BOOL MoveFileW(LPCWSTR existing, LPCWSTR target);
    BOOL CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES security);
    BOOL RemoveDirectoryW(LPCWSTR name);
    DWORD GetFileAttributesW(LPCWSTR name);

    // "." and ".." are not listed. The end of the listing is ERROR_NO_MORE_FILES.
    HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data);
    BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data);
    BOOL FindClose(HANDLE find);

    // File times count 100-ns intervals since 1601-01-01 UTC. The local time is the host's
    // time zone (TZ). Times before 1601 or after 30827 fail with ERROR_INVALID_PARAMETER.
    BOOL FileTimeToSystemTime(LPCFILETIME fileTime, LPSYSTEMTIME systemTime);
    BOOL FileTimeToLocalFileTime(LPCFILETIME fileTime, LPFILETIME localFileTime);
}

inline HANDLE CreateFile(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                         DWORD creation, DWORD flags, HANDLE templateFile)
{
    return CreateFileW(name, access, share, security, creation, flags, templateFile);
}
inline BOOL DeleteFile(LPCWSTR name)
{
    return DeleteFileW(name);
}
inline BOOL CopyFile(LPCWSTR existing, LPCWSTR target, BOOL failIfExists)
{
    return CopyFileW(existing, target, failIfExists);
}
inline BOOL MoveFile(LPCWSTR existing, LPCWSTR target)
{
    return MoveFileW(existing, target);
}
inline BOOL CreateDirectory(LPCWSTR name, LPSECURITY_ATTRIBUTES security)
{
    return CreateDirectoryW(name, security);
}
inline BOOL RemoveDirectory(LPCWSTR name)
{
    return RemoveDirectoryW(name);
}
inline DWORD GetFileAttributes(LPCWSTR name)
{
    return GetFileAttributesW(name);
}
inline HANDLE FindFirstFile(LPCWSTR pattern, LPWIN32_FIND_DATAW data)
{
    return FindFirstFileW(pattern, data);
}
inline BOOL FindNextFile(HANDLE find, LPWIN32_FIND_DATAW data)
{
    return FindNextFileW(find, data);
}
