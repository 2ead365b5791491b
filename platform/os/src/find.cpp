#include <os/deviceroot.h>
#include <os/file.h>
#include <os/handle.h>
#include <os/text.h>

#include "file_errors.h"
#include "typed_handle.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace
{
// 100-ns intervals between 1601-01-01 and 1970-01-01.
constexpr uint64_t kEpochDifference = 116444736000000000ull;

FILETIME fileTime(const timespec& time)
{
    const uint64_t value = kEpochDifference + static_cast<uint64_t>(time.tv_sec) * 10000000ull +
                           static_cast<uint64_t>(time.tv_nsec) / 100u;
    return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

// "*" any run, "?" one character; letters ignore case.
bool matches(std::u16string_view pattern, std::u16string_view name)
{
    size_t p = 0;
    size_t n = 0;
    size_t starPattern = std::u16string_view::npos;
    size_t starName = 0;
    while (n < name.size())
    {
        if (p < pattern.size() && (pattern[p] == u'?' || os::foldCase(pattern[p]) == os::foldCase(name[n])))
        {
            ++p;
            ++n;
        }
        else if (p < pattern.size() && pattern[p] == u'*')
        {
            starPattern = p++;
            starName = n;
        }
        else if (starPattern != std::u16string_view::npos)
        {
            p = starPattern + 1;
            n = ++starName;
        }
        else
        {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    // "*.*" also lists names without a dot, as on the device
    return p == pattern.size() || pattern.substr(p) == u".*";
}

struct FoundEntry
{
    WIN32_FIND_DATAW data;
};

class FindObject : public os::HandleObject
{
public:
    std::vector<FoundEntry> entries;
    size_t next = 0;
};

// False for an entry that cannot be described, or a link that leads out of the device
// root (which no path reaches).
bool describe(const std::string& folder, const std::string& name, WIN32_FIND_DATAW& data)
{
    struct stat info
    {
    };
    const std::string path = folder + "/" + name;
    if (lstat(path.c_str(), &info) != 0 || (S_ISLNK(info.st_mode) && !os::toHostPath(path)) ||
        stat(path.c_str(), &info) != 0)
        return false;
    data = WIN32_FIND_DATAW{};
    if (S_ISDIR(info.st_mode))
        data.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    else
        data.dwFileAttributes =
            access(path.c_str(), W_OK) == 0 ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
    data.ftCreationTime = fileTime(info.st_ctim);
    data.ftLastAccessTime = fileTime(info.st_atim);
    data.ftLastWriteTime = fileTime(info.st_mtim);
    const uint64_t size = S_ISDIR(info.st_mode) ? 0 : static_cast<uint64_t>(info.st_size);
    data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(size);
    const std::u16string wide = os::toUtf16(name);
    const size_t length = std::min<size_t>(wide.size(), MAX_PATH - 1);
    std::copy(wide.begin(), wide.begin() + static_cast<ptrdiff_t>(length), data.cFileName);
    data.cFileName[length] = u'\0';
    return true;
}
} // namespace

extern "C" HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data)
{
    if (!pattern || !*pattern || !data)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::u16string text(pattern);
    std::replace(text.begin(), text.end(), u'\\', u'/');
    const size_t slash = text.rfind(u'/');
    const std::u16string folderPart = slash == std::u16string::npos ? u"" : text.substr(0, slash);
    const std::u16string mask = slash == std::u16string::npos ? text : text.substr(slash + 1);

    const auto folder = os::toHostPath(folderPart.empty() ? u"/" : std::u16string_view(folderPart));
    if (!folder)
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    DIR* directory = opendir(folder->c_str());
    if (!directory)
    {
        SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                         : os::detail::errorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    auto find = std::make_shared<FindObject>();
    std::vector<std::string> names;
    while (const dirent* entry = readdir(directory))
    {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && matches(mask, os::toUtf16(name)))
            names.push_back(name);
    }
    closedir(directory);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
    {
        FoundEntry found{};
        if (describe(*folder, name, found.data))
            find->entries.push_back(found);
    }
    if (find->entries.empty())
    {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *data = find->entries[0].data;
    find->next = 1;
    SetLastError(ERROR_SUCCESS);
    return os::registerHandle(find);
}

extern "C" BOOL FindNextFileW(HANDLE handle, LPWIN32_FIND_DATAW data)
{
    auto find = os::handleObjectAs<FindObject>(handle);
    if (!find || !data)
    {
        SetLastError(find ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (find->next >= find->entries.size())
    {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *data = find->entries[find->next++].data;
    return TRUE;
}

extern "C" BOOL FindClose(HANDLE handle)
{
    if (!os::detail::typedHandle<FindObject>(handle))
        return FALSE;
    return CloseHandle(handle);
}
