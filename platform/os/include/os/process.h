// Starting programs. A program name without a folder ("TwCalib", "TwCalib.exe") is
// the program of that name in the running program's own folder; a name with a folder
// lies in that device folder (os/deviceroot.h). Names are found ignoring case, and
// ".exe" is dropped, as the project's programs have no extension.
#pragma once

#include <os/sync.h>
#include <os/types.h>

struct PROCESS_INFORMATION
{
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};
typedef PROCESS_INFORMATION* LPPROCESS_INFORMATION;

extern "C"
{
    // Starts the program with the blank-separated words of the command line (may be
    // null) as its arguments; the new process inherits the environment and the device
    // root. Only the image name, the command line and the process information are
    // used; the handles given back are null (the device's callers only close them), and
    // the process is reaped when it ends. Fails with ERROR_FILE_NOT_FOUND for a name
    // that names no program, ERROR_BAD_EXE_FORMAT for a file that cannot be run.
    BOOL CreateProcessW(LPCWSTR imageName, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                        LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                        LPVOID environment, LPCWSTR currentDirectory, LPVOID startupInfo,
                        LPPROCESS_INFORMATION processInformation);
}

inline BOOL CreateProcess(LPCWSTR imageName, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                          LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                          LPVOID environment, LPCWSTR currentDirectory, LPVOID startupInfo,
                          LPPROCESS_INFORMATION processInformation)
{
    return CreateProcessW(imageName, commandLine, processAttributes, threadAttributes, inheritHandles,
                          creationFlags, environment, currentDirectory, startupInfo, processInformation);
}
