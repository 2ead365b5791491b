#include "uafileengine.h"

#include "uafilepaths.h"

#include <opcua.h>
#include <windows.h>

#include <atomic>
#include <mutex>

namespace
{
const UaUniString& slash()
{
    static const UaUniString text(u"/");
    return text;
}

bool isDotEntry(const char16_t* name)
{
    return (name[0] == u'.' && name[1] == 0) || (name[0] == u'.' && name[1] == u'.' && name[2] == 0);
}

// A library loaded by name for the duration of one call.
class NamedLibrary
{
public:
    explicit NamedLibrary(const char16_t* name) : m_module(LoadLibraryW(name)) {}
    ~NamedLibrary()
    {
        if (m_module)
            FreeLibrary(m_module);
    }
    NamedLibrary(const NamedLibrary&) = delete;
    NamedLibrary& operator=(const NamedLibrary&) = delete;

    bool isLoaded() const { return m_module != nullptr; }
    template <typename Function> Function* entry(const char* name) const
    {
        return reinterpret_cast<Function*>(GetProcAddress(m_module, name));
    }

private:
    HMODULE m_module;
};

// The failure trace of the calls that report the system's last error.
void traceHandleError(const char* operation)
{
    OpcUa_Trace_Imp(OPCUA_TRACE_LEVEL_ERROR,
                    "UaFileEngine::%s: Invalid File Handle. GetLastError reports %d\n", operation,
                    static_cast<int>(GetLastError()));
}

using SpecialFolderFunction = BOOL(HWND, LPWSTR, int, BOOL);
using CanonicalizeFunction = BOOL(LPWSTR, LPCWSTR);
using IsRelativeFunction = BOOL(LPCWSTR);

const int g_folderProfile = 40;
const int g_folderAppData = 26;
const int g_folderCommonAppData = 35;

UaUniString specialFolder(int folder)
{
    NamedLibrary shell(u"shell32.dll");
    if (!shell.isLoaded())
        return UaUniString();
    auto* query = shell.entry<SpecialFolderFunction>("SHGetSpecialFolderPathW");
    WCHAR buffer[MAX_PATH] = {};
    if (!query || !query(nullptr, buffer, folder, FALSE))
        return UaUniString();
    return UaUniString(buffer);
}

class SystemFileEngine : public UaFileEngine
{
public:
    bool remove(const UaUniString& path) override
    {
        if (DeleteFileW(path.data()))
            return true;
        traceHandleError("remove");
        return false;
    }

    bool copy(const UaUniString& source, const UaUniString& destination) override
    {
        if (CopyFileW(source.data(), destination.data(), FALSE))
            return true;
        const int error = static_cast<int>(GetLastError());
        OpcUa_Trace_Imp(OPCUA_TRACE_LEVEL_ERROR, "UaFileEngine::copy: Could not write into the ini file!\n");
        OpcUa_Trace_Imp(OPCUA_TRACE_LEVEL_ERROR, "Error code: %d\n", error);
        return false;
    }

    bool rename(const UaUniString& oldPath, const UaUniString& newPath) override
    {
        return MoveFileW(oldPath.data(), newPath.data()) != FALSE;
    }

    bool mkdir(const UaUniString& path) override
    {
        const UaUniString normalized = uaNormalizedPath(path);
        if (CreateDirectoryW(normalized.data(), nullptr))
            return true;
        traceHandleError("mkdir");
        return false;
    }

    bool rmdir(const UaUniString& path) override
    {
        if (RemoveDirectoryW(path.data()))
            return true;
        traceHandleError("rmdir");
        return false;
    }

    bool isRelativePath(const UaUniString& path) override
    {
        const UaUniString normalized = uaNormalizedPath(path);
        NamedLibrary shlwapi(u"shlwapi.dll");
        if (!shlwapi.isLoaded())
            return false;
        auto* isRelative = shlwapi.entry<IsRelativeFunction>("PathIsRelativeW");
        return isRelative && isRelative(normalized.data());
    }

    bool createFile(const UaUniString& directory, const UaUniString& fileName) override
    {
        UaUniString path = uaNormalizedPath(directory);
        path += slash();
        path += fileName;
        HANDLE file =
            CreateFileW(path.data(), FILE_ALL_ACCESS, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE && CloseHandle(file))
            return true;
        traceHandleError("createFile");
        return false;
    }

    bool exists(const UaUniString& path) override
    {
        if (path.isEmpty())
            return false;
        const UaUniString normalized = uaNormalizedPath(path);
        return GetFileAttributesW(normalized.data()) != INVALID_FILE_ATTRIBUTES;
    }

    FILE* open(const UaUniString& path, const char* mode) override
    {
        const auto host = uaHostPath(path);
        return (host && mode) ? std::fopen(host->c_str(), mode) : nullptr;
    }

    std::size_t read(void* buffer, std::size_t elementSize, std::size_t count, FILE* file) override
    {
        return std::fread(buffer, elementSize, count, file);
    }

    std::size_t write(const void* buffer, std::size_t elementSize, std::size_t count, FILE* file) override
    {
        return std::fwrite(buffer, elementSize, count, file);
    }

    bool close(FILE* file) override { return std::fclose(file) == 0; }

    long size(const UaUniString& path) override
    {
        FILE* file = open(path, "rb");
        if (!file)
            return -1;
        long result = -1;
        if (std::fseek(file, 0, SEEK_END) == 0)
            result = std::ftell(file);
        std::fclose(file);
        return result;
    }

    UaUniString canonicalPath(const UaUniString& path) override
    {
        const UaUniString normalized = uaNormalizedPath(path);
        NamedLibrary shlwapi(u"shlwapi.dll");
        if (!shlwapi.isLoaded())
            return UaUniString();
        auto* canonicalize = shlwapi.entry<CanonicalizeFunction>("PathCanonicalizeW");
        WCHAR buffer[MAX_PATH] = {};
        if (canonicalize && canonicalize(buffer, normalized.data()))
            return UaUniString(buffer);
        const int error = static_cast<int>(GetLastError());
        OpcUa_Trace_Imp(OPCUA_TRACE_LEVEL_ERROR,
                        "UaFileEngine::canonicalPath: Could not canonicalize the path !!!\n");
        OpcUa_Trace_Imp(OPCUA_TRACE_LEVEL_ERROR, "Error code: %d\n", error);
        return UaUniString();
    }

    UaUniStringList entryList(const UaUniString& directory, int filter, int sort) override
    {
        UaUniStringList list;
        bool enumerate = true;
        switch (filter)
        {
        case AllEntries:
        case Directories:
        case Files:
        case SubDirectories:
        case SubDirectoriesToo:
            break;
        case 4:
        case 8:
        case 32:
        case 64:
        case 128:
            enumerate = false;
            break;
        default:
            OpcUa_Trace_Imp(OPCUA_TRACE_LEVEL_WARNING, "UaFileEngine::entryList: Invalid filter!!!");
            enumerate = false;
            break;
        }
        if (!enumerate)
            return list;

        UaUniString pattern = directory;
        pattern += UaUniString(u"/*");
        const bool listed = enumerateEntries(pattern,
                                             [&](const WIN32_FIND_DATAW& entry)
                                             {
                                                 const bool isDirectory =
                                                     (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
                                                 const bool isDot = isDotEntry(entry.cFileName);
                                                 bool keep = false;
                                                 switch (filter)
                                                 {
                                                 case AllEntries:
                                                     keep = true;
                                                     break;
                                                 case Directories:
                                                     keep = isDirectory;
                                                     break;
                                                 case Files:
                                                     keep = !isDot && !isDirectory;
                                                     break;
                                                 default:
                                                     keep = !isDot && isDirectory;
                                                     break;
                                                 }
                                                 if (keep)
                                                 {
                                                     UaUniString full = directory;
                                                     full += slash();
                                                     full += UaUniString(entry.cFileName);
                                                     list.append(full);
                                                 }
                                             });
        if (!listed)
        {
            traceHandleError("entryList");
            list.clear();
            return list;
        }
        if (sort == ByName)
            list.sort(true, false);
        else if (sort != SystemOrder && sort != 2 && sort != 4)
            OpcUa_Trace_Imp(OPCUA_TRACE_LEVEL_WARNING, "UaFileEngine::entryList: Invalid sort!!!");
        return list;
    }

    unsigned short count(const UaUniString& directory) override
    {
        UaUniString pattern = uaNormalizedPath(directory);
        pattern += UaUniString(u"/*");
        unsigned short entries = 0;
        const bool listed = enumerateEntries(pattern,
                                             [&](const WIN32_FIND_DATAW& entry)
                                             {
                                                 if (entry.dwFileAttributes != 0)
                                                     ++entries;
                                             });
        if (!listed)
        {
            traceHandleError("count");
            return 0;
        }
        return entries;
    }

    UaUniString homePath() override { return specialFolder(g_folderProfile); }
    UaUniString appDataPath() override { return specialFolder(g_folderAppData); }
    UaUniString commonAppDataPath() override { return specialFolder(g_folderCommonAppData); }

private:
    // Visits every entry; false when the listing did not end normally. The system lists no "." and
    // "..", so an existing empty folder answers the first call with "file not found": that is an
    // empty listing, not a failure.
    template <typename Visit> static bool enumerateEntries(const UaUniString& pattern, Visit visit)
    {
        WIN32_FIND_DATAW entry{};
        HANDLE find = FindFirstFileW(pattern.data(), &entry);
        if (find == INVALID_HANDLE_VALUE)
            return GetLastError() == ERROR_FILE_NOT_FOUND;
        do
        {
            visit(entry);
        } while (FindNextFileW(find, &entry));
        const DWORD end = GetLastError();
        FindClose(find);
        SetLastError(end);
        return end == ERROR_NO_MORE_FILES;
    }
};

std::mutex& instanceMutex()
{
    static std::mutex mutex;
    return mutex;
}

UaFileEngine* g_instance = nullptr;
} // namespace

UaFileEngine* UaFileEngine::instance()
{
    std::lock_guard<std::mutex> lock(instanceMutex());
    if (!g_instance)
        g_instance = new SystemFileEngine;
    return g_instance;
}

void UaFileEngine::deleteInstance()
{
    std::lock_guard<std::mutex> lock(instanceMutex());
    delete g_instance;
    g_instance = nullptr;
}

int removeFile(const char* path)
{
    if (!path)
        return -1;
    const UaUniString wide(path);
    return DeleteFileW(wide.data()) ? 0 : -1;
}

int renameFile(const char* oldPath, const char* newPath)
{
    if (!oldPath || !newPath)
        return -1;
    const UaUniString from(oldPath);
    const UaUniString to(newPath);
    return MoveFileW(from.data(), to.data()) ? 0 : -1;
}
