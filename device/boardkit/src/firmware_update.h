// The boot-loader firmware update: reads a hex file, checks the device name
// and version records against the boot loader, puts it into its loader mode
// and sends it the records, reporting progress through the caller's callback.
#pragma once

#include "hex_file.h"

#include <boardkit.h>

#include <string>

namespace boardkit
{

class CBootLoaderUpdater
{
public:
    CBootLoaderUpdater(BYTE segment, BYTE address, WM_FWUPDATE_CALLBACK callback, PVOID context);
    virtual ~CBootLoaderUpdater();

    // 0, or the error that ended the update.
    DWORD run(DWORD options, LPCWSTR fileName, const BYTE* requiredVersion, LPCWSTR requiredName);

protected:
    // The boot-loader commands. `count` is the number of bytes the answer had.
    virtual DWORD getMode(BYTE& mode, DWORD& count);
    virtual DWORD setMode(BYTE mode);
    virtual DWORD getVersion(BYTE (&version)[WM_BOOTLOADER_VERSION_SIZE]);
    virtual DWORD getName(std::string& name);
    virtual DWORD readWrite(const BYTE* request, DWORD length, BYTE* response, DWORD size, DWORD& count);

private:
    // The check pass only reads the records; the send pass runs the update.
    enum class Pass
    {
        check,
        send,
    };
    DWORD readRecords(DWORD options, Pass pass);
    DWORD nameRecord(const HexRecord& record);
    DWORD versionRecord(const HexRecord& record);
    DWORD checkName(std::string_view expected);
    DWORD checkVersion(ULONGLONG required);
    DWORD enterLoaderMode();
    DWORD sendRecord(const HexRecord& record);

    // False when the callback asks to stop.
    bool report(DWORD code, DWORD value);
    // Reports the failure under its code and gives its error.
    DWORD failWith(DWORD code, DWORD value, DWORD error);
    DWORD fail(DWORD error);

    HANDLE m_file = INVALID_HANDLE_VALUE;
    BYTE m_segment;
    BYTE m_address;
    WM_FWUPDATE_CALLBACK m_callback;
    PVOID m_context;
};

} // namespace boardkit
