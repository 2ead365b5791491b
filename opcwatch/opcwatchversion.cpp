#include "opcwatchversion.h"

#include <uatrace.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace
{
// The build date is reported two hours before the compile time.
constexpr OpcUa_Int64 kBuildDateShift = 72000000000LL;
} // namespace

WORD OpcFileVersion::part(int index) const
{
    const DWORD word = index < 2 ? m_versionMS : m_versionLS;
    return static_cast<WORD>(index % 2 == 0 ? word >> 16 : word & 0xFFFF);
}

std::string OpcFileVersion::softwareVersion() const
{
    char text[32];
    std::snprintf(text, sizeof text, "%i.%i.%i.%i", part(0), part(1), part(2), part(3));
    return text;
}

std::string OpcFileVersion::buildNumber() const
{
    return std::to_string(part(1));
}

bool readFileVersion(const std::u16string& file, OpcFileVersion& version)
{
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &handle);
    if (size == 0)
    {
        UaTrace::traceLevel1("GetFileVersionInfoSize failed with %i", static_cast<int>(GetLastError()));
        return false;
    }
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(file.c_str(), handle, size, block.data()))
    {
        UaTrace::traceLevel1("GetFileVersionInfo failed with %i", static_cast<int>(GetLastError()));
        return false;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), u"\\", reinterpret_cast<LPVOID*>(&fixed), &length) || !fixed ||
        length < sizeof(VS_FIXEDFILEINFO))
    {
        UaTrace::traceLevel1("VerQueryValue failed with %i", static_cast<int>(GetLastError()));
        return false;
    }
    version.m_versionMS = fixed->dwFileVersionMS;
    version.m_versionLS = fixed->dwFileVersionLS;
    return true;
}

UaDateTime buildDateTime(const char* compileDate, const char* compileTime)
{
    static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    char month[4] = {};
    int day = 0;
    int year = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (!compileDate || !compileTime || std::sscanf(compileDate, "%3s %d %d", month, &day, &year) != 3 ||
        std::sscanf(compileTime, "%d:%d:%d", &hour, &minute, &second) != 3)
        return UaDateTime();
    const char* found = std::strstr(kMonths, month);
    if (std::strlen(month) != 3 || !found || (found - kMonths) % 3 != 0)
        return UaDateTime();
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", year,
                  static_cast<int>((found - kMonths) / 3 + 1), day, hour, minute, second);
    UaDateTime parsed;
    if (OpcUa_IsBad(UaDateTime::fromString(UaString(text), parsed)))
        return UaDateTime();
    return UaDateTime::fromInt64(parsed.toInt64() - kBuildDateShift);
}
