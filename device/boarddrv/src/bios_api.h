// CBiosApi: finds the firmware's API in the firmware's memory, runs it from a
// copy in RAM, calls it with busy retry under a mutex that every process
// shares, hands the firmware the operating-system services, and serves the
// driver-level index group itself.
#pragma once

#include "memory_windows.h"

#include <ddk/firmware.h>
#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>

namespace boarddrv
{

// The firmware API version: major, minor, build (16 bits), as the firmware delivers it.
struct ApiVersion
{
    uint8_t major;
    uint8_t minor;
    uint16_t build;

    uint32_t value() const { return uint32_t(major) << 24 | uint32_t(minor) << 16 | build; }
};

class CBiosApi
{
public:
    explicit CBiosApi(LPCWSTR registryPath);
    virtual ~CBiosApi();
    CBiosApi(const CBiosApi&) = delete;
    CBiosApi& operator=(const CBiosApi&) = delete;

    // 0 only when the firmware's memory cannot be mapped; else 1, with the state
    // telling whether the API was found.
    DWORD findApi();
    // Reads the registry and the API version and registers the services; always 1.
    DWORD initialize();
    // Withdraws the service table, unmaps the region, frees the copy.
    void release();

    // One firmware call; the firmware's status with bit 29 set, or 0.
    DWORD BiosIoControl(DWORD group, DWORD offset, PVOID input, DWORD inputSize, PVOID output,
                        DWORD outputSize, PDWORD returned);
    // One call of the driver-level index group.
    DWORD DriverIoControl(DWORD group, DWORD offset, PVOID input, DWORD inputSize, PVOID output,
                          DWORD outputSize, PDWORD returned);

    bool readyForUserCalls();

private:
    DWORD callInternal(DWORD group, DWORD offset, PVOID input, DWORD inputSize, PVOID output,
                       DWORD outputSize, PDWORD returned);
    // Succeeds when the firmware answers 0 and delivers no bytes.
    bool command(DWORD offset, PVOID input, DWORD inputSize);
    bool registerTable();
    bool withdrawTable();
    bool registerSingle(DWORD offset, const void* service);
    void releaseRegion();
    bool tableRegistered();
    DWORD logLevel();
    void trapText(const FIRMWARE_EXCEPTION& exception);

    // The driver-level offsets, by kind (driver_level.cpp).
    DWORD readNumber(DWORD offset, PVOID output, DWORD outputSize, PDWORD returned);
    DWORD readProcessor(DWORD offset, PVOID output, DWORD outputSize, PDWORD returned);
    DWORD readMsr(PVOID input, DWORD inputSize, PVOID output, DWORD outputSize, PDWORD returned);
    DWORD readBusData(PVOID input, DWORD inputSize, PVOID output, DWORD outputSize, PDWORD returned);
    DWORD changeRegistration(DWORD offset);
    DWORD accessPort(DWORD offset, PVOID input, DWORD inputSize, PVOID output, DWORD outputSize,
                     PDWORD returned);

    void* m_pProcAddr = nullptr;   // the API entry inside the firmware mapping
    void* m_pProcAddr_c = nullptr; // the API entry inside the RAM copy; the one that is called
    void* m_pMapped = nullptr;     // the mapped firmware API region
    uint8_t* m_pRamCopy = nullptr; // owned copy of the mapped region
    DWORD m_regionSize = 0;        // entry offset plus 4096
    DWORD m_state = 0;             // 1 = found, mapped and copied
    std::u16string m_registryPath; // the active key
    DWORD m_tjmax = 0;
    DWORD m_logLevel = 0;
    DWORD m_apiDisabled = 0;
    DWORD m_apiTimeout = 1000;
    BOOL m_apiVersionValid = FALSE;
    ApiVersion m_apiVersion{};
    BOOL m_servicesRegistered = FALSE;
    BOOL m_serviceTableFirmware = FALSE;
    BOOL m_userCallsAllowed = FALSE;
    HANDLE m_mutex = nullptr; // "Corvanta_Bios_API_File_Mutex"

    // Guards the fields above against the offsets that rewrite them while calls
    // run. Taken before the named mutex, never held across the busy retry's sleep.
    std::mutex m_lock;
    // Keeps the rewriting offsets (and start and end) from interleaving with each other.
    std::recursive_mutex m_reconfigure;
    // Physical memory that the memory offsets mapped.
    MemoryWindows m_windows;
};

} // namespace boarddrv
