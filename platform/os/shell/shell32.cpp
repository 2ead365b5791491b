// The shell's special folders, loaded by name as "shell32.dll". The folders are
// device paths below the device root.
#include <windows.h>

#include <algorithm>

#define CSIDL_APPDATA 26
#define CSIDL_COMMON_APPDATA 35
#define CSIDL_PROFILE 40

extern "C" __attribute__((visibility("default"))) BOOL SHGetSpecialFolderPathW(HWND, LPWSTR path, int folder,
                                                                               BOOL create)
{
    const char16_t* device = nullptr;
    switch (folder)
    {
    case CSIDL_PROFILE:
        device = u"\\My Documents";
        break;
    case CSIDL_APPDATA:
    case CSIDL_COMMON_APPDATA:
        device = u"\\Application Data";
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!path)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (create && !CreateDirectoryW(device, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return FALSE;
    const std::u16string_view text(device);
    std::copy(text.begin(), text.end(), path);
    path[text.size()] = u'\0';
    return TRUE;
}
