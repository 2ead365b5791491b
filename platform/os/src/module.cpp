#include <os/deviceroot.h>
#include <os/module.h>
#include <os/text.h>

#include "find_file.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace
{
bool isFile(const std::string& path)
{
    struct stat info
    {
    };
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// "Name.dll" (any case of the extension, with or without a folder) -> "libName.so".
std::string libraryFileName(std::string name)
{
    std::replace(name.begin(), name.end(), '\\', '/');
    const size_t slash = name.rfind('/');
    if (slash != std::string::npos)
        name = name.substr(slash + 1);
    if (name.size() > 4 && os::equalsNoCase(name.substr(name.size() - 4), ".dll"))
        name.resize(name.size() - 4);
    if (name.size() > 3 && name.substr(name.size() - 3) == ".so")
        return name;
    return "lib" + name + ".so";
}

// The program folder holds the project's libraries.
std::string findInProgramFolder(const std::string& fileName)
{
    return os::detail::findFileNoCase(os::programDirectory(), fileName);
}

// "\Windows\X.dll" names the library of that device folder and no other; empty when the
// folder lies outside the device root or holds no such library.
std::string findInDeviceFolder(const std::string& name)
{
    std::string path = name;
    std::replace(path.begin(), path.end(), '\\', '/');
    const size_t slash = path.rfind('/');
    const auto folder = os::toHostPath(slash == 0 ? std::string("/") : path.substr(0, slash));
    return folder ? os::detail::findFileNoCase(*folder, libraryFileName(name)) : std::string();
}

bool hasFolder(const std::string& name)
{
    return name.find_first_of("\\/") != std::string::npos;
}

HMODULE load(const std::string& name)
{
    if (name.empty())
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string path;
    // A host path, also as GetModuleFileName gives it ("\opt\app\libX.so"), loads that very file.
    std::string hostPath = name;
    std::replace(hostPath.begin(), hostPath.end(), '\\', '/');
    if (hostPath[0] == '/' && isFile(hostPath))
        path = hostPath;
    else if (hasFolder(name))
        path = findInDeviceFolder(name);
    else
        path = os::libraryPathInProgramFolder(name);
    if (path.empty() && !hasFolder(name))
        path = libraryFileName(name); // along the usual search path
    if (path.empty())
    {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
    {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    return static_cast<HMODULE>(handle);
}

// Copies the name with its terminating zero, cut to fit the buffer; a cut name
// leaves ERROR_INSUFFICIENT_BUFFER.
template <class Char> DWORD copyName(const std::basic_string<Char>& name, Char* buffer, DWORD size)
{
    if (!buffer || size == 0)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    const DWORD length = static_cast<DWORD>(std::min<size_t>(name.size(), size - 1));
    std::copy(name.begin(), name.begin() + length, buffer);
    buffer[length] = Char{};
    SetLastError(length < name.size() ? ERROR_INSUFFICIENT_BUFFER : ERROR_SUCCESS);
    return length;
}

bool hostFileName(HMODULE module, std::string& name);

// The module's file name in device form; an unknown module leaves ERROR_INVALID_HANDLE.
bool moduleFileName(HMODULE module, std::string& name)
{
    if (!hostFileName(module, name))
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    std::replace(name.begin(), name.end(), '/', '\\');
    return true;
}

bool hostFileName(HMODULE module, std::string& name)
{
    if (!module)
    {
        std::vector<char> buffer(4096);
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
        if (length <= 0)
            return false;
        name.assign(buffer.data(), static_cast<size_t>(length));
        return true;
    }
    link_map* map = nullptr;
    if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || !map)
        return false;
    if (!map->l_name || !*map->l_name)
        return hostFileName(nullptr, name);
    name = map->l_name;
    return true;
}
} // namespace

namespace os
{
std::string libraryPathInProgramFolder(std::string_view name)
{
    return findInProgramFolder(libraryFileName(std::string(name)));
}
} // namespace os

extern "C" HMODULE LoadLibraryA(LPCSTR name)
{
    return load(name ? name : "");
}

extern "C" HMODULE LoadLibraryW(LPCWSTR name)
{
    return load(os::toUtf8(name));
}

extern "C" FARPROC GetProcAddress(HMODULE module, LPCSTR name)
{
    if (!module || !name)
    {
        SetLastError(module ? ERROR_PROC_NOT_FOUND : ERROR_INVALID_HANDLE);
        return nullptr;
    }
    void* symbol = dlsym(module, name);
    if (!symbol)
    {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

extern "C" FARPROC GetProcAddressW(HMODULE module, LPCWSTR name)
{
    const std::string narrow = os::toUtf8(name);
    return GetProcAddress(module, name ? narrow.c_str() : nullptr);
}

extern "C" BOOL FreeLibrary(HMODULE module)
{
    if (!module || dlclose(module) != 0)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

extern "C" DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size)
{
    std::string name;
    if (!moduleFileName(module, name))
        return 0;
    return copyName(name, buffer, size);
}

extern "C" DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size)
{
    std::string name;
    if (!moduleFileName(module, name))
        return 0;
    return copyName(os::toUtf16(name), buffer, size);
}

extern "C" HMODULE GetModuleHandleW(LPCWSTR name)
{
    if (!name)
        return static_cast<HMODULE>(dlopen(nullptr, RTLD_NOW));
    const std::string fileName = libraryFileName(os::toUtf8(name));
    std::string path = findInProgramFolder(fileName);
    void* handle = dlopen((path.empty() ? fileName : path).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
    {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    dlclose(handle); // no reference is taken, as with the device's call
    return static_cast<HMODULE>(handle);
}
