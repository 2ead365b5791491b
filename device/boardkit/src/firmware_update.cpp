#include "firmware_update.h"

#include "smbus.h"
#include "text_forms.h"

#include <cstdio>

namespace boardkit
{

namespace
{

constexpr BYTE kRecordEnd = 0x01;
constexpr BYTE kRecordVersion = 0xFE;
constexpr BYTE kRecordName = 0xFF;
constexpr size_t kMaxVersionText = 19;
constexpr DWORD kAnswerSize = 16;
constexpr DWORD kMinAnswer = 4;
constexpr BYTE kLoaderModeBit = 0x01;

// Versions compare as major·2^24 + minor·2^16 + build.
ULONGLONG packVersion(ULONGLONG major, ULONGLONG minor, ULONGLONG build)
{
    return major << 24 | minor << 16 | build;
}

// "major.minor.build" with each number in its range; false for anything else.
bool parseVersion(std::string_view text, ULONGLONG& version)
{
    const std::string terminated(text);
    int major = -1, minor = -1, build = -1;
    if (std::sscanf(terminated.c_str(), "%d.%d.%d", &major, &minor, &build) != 3 || major < 0 ||
        major > 0xFF || minor < 0 || minor > 0xFF || build < 0 || build > 0xFFFF)
        return false;
    version = packVersion(major, minor, build);
    return true;
}

} // namespace

CBootLoaderUpdater::CBootLoaderUpdater(BYTE segment, BYTE address, WM_FWUPDATE_CALLBACK callback,
                                       PVOID context)
    : m_segment(segment), m_address(address), m_callback(callback), m_context(context)
{
}

CBootLoaderUpdater::~CBootLoaderUpdater()
{
    if (m_file != INVALID_HANDLE_VALUE)
        CloseHandle(m_file);
}

DWORD CBootLoaderUpdater::getMode(BYTE& mode, DWORD& count)
{
    return smbusRead(m_segment, m_address, WM_SMBUS_BYTE, kBootLoaderGetMode, 1, &mode, &count);
}

DWORD CBootLoaderUpdater::setMode(BYTE mode)
{
    if (const DWORD error = smbusWrite(m_segment, m_address, WM_SMBUS_BYTE, kBootLoaderSetMode, 1, &mode))
        return error;
    Sleep(kModeSettleMs);
    return 0;
}

DWORD CBootLoaderUpdater::getVersion(BYTE (&version)[WM_BOOTLOADER_VERSION_SIZE])
{
    DWORD count = 0;
    if (const DWORD error = smbusRead(m_segment, m_address, WM_SMBUS_BLOCK, kBootLoaderGetVersion,
                                      sizeof version, version, &count))
        return error;
    return count == sizeof version ? 0 : ERROR_BAD_LENGTH;
}

DWORD CBootLoaderUpdater::getName(std::string& name)
{
    return bootLoaderName(m_segment, m_address, name);
}

DWORD CBootLoaderUpdater::readWrite(const BYTE* request, DWORD length, BYTE* response, DWORD size,
                                    DWORD& count)
{
    return bootLoaderReadWrite(m_segment, m_address, request, length, response, size, &count);
}

bool CBootLoaderUpdater::report(DWORD code, DWORD value)
{
    return !m_callback || m_callback(code, &value, sizeof value, m_context);
}

DWORD CBootLoaderUpdater::failWith(DWORD code, DWORD value, DWORD error)
{
    report(code, value);
    return error;
}

DWORD CBootLoaderUpdater::fail(DWORD error)
{
    return failWith(WM_FWUPDATE_ERROR, error, error);
}

DWORD CBootLoaderUpdater::run(DWORD options, LPCWSTR fileName, const BYTE* requiredVersion,
                              LPCWSTR requiredName)
{
    if (!fileName)
        return ERROR_INVALID_PARAMETER;
    m_file = CreateFileW(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_file == INVALID_HANDLE_VALUE)
        return fail(GetLastError() != 0 ? GetLastError() : static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    if (!report(WM_FWUPDATE_FILE_SIZE, GetFileSize(m_file, nullptr)))
        return ERROR_CANCELLED;
    // The whole file is read once before the boot loader is touched, so that a
    // malformed file leaves the device as it was.
    if (const DWORD error = readRecords(options, Pass::check))
        return error;
    if (SetFilePointer(m_file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        return fail(GetLastError() != 0 ? GetLastError() : static_cast<DWORD>(ERROR_READ_FAULT));
    if (requiredVersion)
        if (const DWORD error =
                checkVersion(packVersion(requiredVersion[0], requiredVersion[1], requiredVersion[2])))
            return error;
    if (requiredName)
        if (const DWORD error = checkName(deviceText(requiredName)))
            return error;
    return readRecords(options, Pass::send);
}

DWORD CBootLoaderUpdater::readRecords(DWORD options, Pass pass)
{
    bool nameChecked = false;
    bool versionChecked = false;
    bool loaderMode = (options & WM_FWUPDATE_KEEP_MODE) != 0;
    DWORD dataRecords = 0;
    HexLineReader reader(m_file);
    std::string line;
    bool overlong = false;
    while (reader.next(line, overlong))
    {
        HexRecord record;
        if (line.find_first_not_of(" \t\r\f\v") == std::string::npos && !overlong)
            continue;
        if (overlong || !parseHexRecord(line, record))
            return fail(ERROR_INVALID_DATA);
        const bool check = record.type == kRecordName || record.type == kRecordVersion;
        if (!check && record.type != kRecordEnd)
            ++dataRecords;
        if (pass == Pass::check)
        {
            if (record.type == kRecordEnd)
                break;
            continue;
        }

        if (check)
        {
            // Only those at address 0 are checks; others are not the boot loader's either.
            if (record.address == 0)
            {
                const bool name = record.type == kRecordName;
                if (const DWORD error = name ? nameRecord(record) : versionRecord(record))
                    return error;
                (name ? nameChecked : versionChecked) = true;
            }
        }
        else
        {
            if ((!nameChecked && (options & WM_FWUPDATE_NAME_OPTIONAL) == 0) ||
                (!versionChecked && (options & WM_FWUPDATE_VERSION_OPTIONAL) == 0))
                return failWith(WM_FWUPDATE_CHECK_MISSING, record.address, ERROR_INVALID_DATA);
            if (!loaderMode)
            {
                if (const DWORD error = enterLoaderMode())
                    return error;
                loaderMode = true;
            }
            if (const DWORD error = sendRecord(record))
                return error;
        }
        if (!report(WM_FWUPDATE_POSITION, reader.position()))
            return ERROR_CANCELLED;
        if (record.type == kRecordEnd)
            break;
    }
    if (reader.error() != 0)
        return fail(reader.error());
    // A file without data has nothing to update: not a success.
    if (dataRecords == 0)
        return fail(ERROR_INVALID_DATA);
    if (pass == Pass::send)
        report(WM_FWUPDATE_DONE, reader.position());
    return 0;
}

DWORD CBootLoaderUpdater::nameRecord(const HexRecord& record)
{
    const std::string_view name = record.dataText();
    if (name.size() >= WM_BOOTLOADER_NAME_SIZE)
        return fail(ERROR_BAD_LENGTH);
    return checkName(name);
}

DWORD CBootLoaderUpdater::versionRecord(const HexRecord& record)
{
    const std::string_view text = record.dataText();
    if (text.size() > kMaxVersionText)
        return fail(ERROR_BAD_LENGTH);
    ULONGLONG version = 0;
    if (!parseVersion(text, version))
        return fail(ERROR_INVALID_DATA);
    return checkVersion(version);
}

DWORD CBootLoaderUpdater::checkName(std::string_view expected)
{
    if (expected.size() >= WM_BOOTLOADER_NAME_SIZE)
        return fail(ERROR_BAD_LENGTH);
    std::string name;
    if (const DWORD error = getName(name))
        return fail(error);
    if (name.empty())
        return fail(ERROR_INVALID_DATA);
    // Both are single-byte text of one code page: equal bytes are equal wide text.
    if (name != expected)
        return failWith(WM_FWUPDATE_NAME_FAILED, ERROR_NOT_SUPPORTED, ERROR_NOT_SUPPORTED);
    return 0;
}

DWORD CBootLoaderUpdater::checkVersion(ULONGLONG required)
{
    BYTE version[WM_BOOTLOADER_VERSION_SIZE] = {};
    if (const DWORD error = getVersion(version))
        return fail(error);
    if (packVersion(version[0], version[1], version[2]) < required)
        return failWith(WM_FWUPDATE_VERSION_FAILED, ERROR_NOT_SUPPORTED, ERROR_NOT_SUPPORTED);
    return 0;
}

DWORD CBootLoaderUpdater::enterLoaderMode()
{
    for (int attempt = 0; attempt < 2; ++attempt)
    {
        BYTE mode = 0;
        DWORD count = 0;
        if (const DWORD error = getMode(mode, count))
            return fail(error);
        if (count == 0)
            return fail(ERROR_INVALID_DATA);
        if ((mode & kLoaderModeBit) != 0)
            return 0;
        if (attempt == 0)
            if (const DWORD error = setMode(kLoaderModeBit))
                return fail(error);
    }
    return fail(ERROR_NOT_READY);
}

DWORD CBootLoaderUpdater::sendRecord(const HexRecord& record)
{
    BYTE answer[kAnswerSize] = {};
    DWORD count = 0;
    if (const DWORD error = readWrite(record.bytes.data(), static_cast<DWORD>(record.bytes.size()), answer,
                                      sizeof answer, count))
        return fail(error);
    if (count < kMinAnswer)
        return failWith(WM_FWUPDATE_SHORT_ANSWER, record.address, ERROR_BAD_LENGTH);
    if (answer[0] != 0)
        return failWith(WM_FWUPDATE_RECORD_STATE, answer[0], ERROR_INVALID_DATA);
    return 0;
}

} // namespace boardkit

using namespace boardkit;

BOARDKIT_EXPORT BOOL BootLoaderFwUpdateW(DWORD options, BYTE segment, BYTE address, LPCWSTR fileName,
                                         WM_FWUPDATE_CALLBACK callback, PVOID context,
                                         const BYTE* requiredVersion, LPCWSTR requiredName)
{
    CBootLoaderUpdater updater(segment, address, callback, context);
    return finish(updater.run(options, fileName, requiredVersion, requiredName));
}

BOARDKIT_EXPORT BOOL BootLoaderFwUpdateA(DWORD options, BYTE segment, BYTE address, LPCSTR fileName,
                                         WM_FWUPDATE_CALLBACK callback, PVOID context,
                                         const BYTE* requiredVersion, LPCSTR requiredName)
{
    if (!fileName)
        return finish(ERROR_INVALID_PARAMETER);
    const std::u16string wideName = wideText(fileName);
    const std::u16string wideRequired = requiredName ? wideText(requiredName) : std::u16string();
    return BootLoaderFwUpdateW(options, segment, address, wideName.c_str(), callback, context,
                               requiredVersion, requiredName ? wideRequired.c_str() : nullptr);
}
