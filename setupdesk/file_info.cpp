#include "file_info.h"

#include <ui/text.h>

#include <windows.h>

#include <vector>

namespace setupdesk
{
namespace
{
// The file's version record; empty when it has none.
std::vector<BYTE> versionRecord(const std::u16string& path)
{
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    std::vector<BYTE> record(size);
    if (size == 0 || !GetFileVersionInfoW(path.c_str(), handle, size, record.data()))
        record.clear();
    return record;
}

std::string recordString(const std::vector<BYTE>& record, const std::string& name)
{
    WORD* translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(record.data(), u"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                        &length) ||
        length < 2 * sizeof(WORD))
        return {};
    const std::string query =
        ui::format("\\StringFileInfo\\%04x%04x\\", translation[0], translation[1]) + name;
    WCHAR* text = nullptr;
    if (!VerQueryValueW(record.data(), os::toUtf16(query).c_str(), reinterpret_cast<void**>(&text), &length))
        return {};
    return ui::format("%s", os::toUtf8(text).c_str());
}

std::string lastWriteText(const std::u16string& path)
{
    WIN32_FIND_DATAW found{};
    const HANDLE find = FindFirstFileW(path.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return {};
    FindClose(find);
    FILETIME local{};
    SYSTEMTIME time{};
    if (!FileTimeToLocalFileTime(&found.ftLastWriteTime, &local) || !FileTimeToSystemTime(&local, &time))
        return {};
    return ui::format("%d/%02d/%d %d:%02d", time.wMonth, time.wDay, time.wYear, time.wHour, time.wMinute);
}
} // namespace

FileInfo readFileInfo(const std::string& path)
{
    const std::u16string wide = os::toUtf16(path);
    FileInfo info;
    const std::vector<BYTE> record = versionRecord(wide);
    if (!record.empty())
    {
        info.company = recordString(record, "CompanyName");
        info.fileVersion = recordString(record, "FileVersion");
    }
    info.dateModified = lastWriteText(wide);
    return info;
}

std::string programVersionText()
{
    WCHAR program[MAX_PATH] = {};
    if (GetModuleFileNameW(nullptr, program, MAX_PATH) == 0)
        return {};
    const std::vector<BYTE> record = versionRecord(program);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (record.empty() || !VerQueryValueW(record.data(), u"\\", reinterpret_cast<void**>(&fixed), &length) ||
        length < sizeof(VS_FIXEDFILEINFO))
        return {};
    return ui::format("%i.%i (Build %i)", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                      LOWORD(fixed->dwFileVersionLS));
}
} // namespace setupdesk
