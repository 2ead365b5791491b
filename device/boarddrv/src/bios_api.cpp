// CBiosApi's life: construction, finding the API, initialisation and release.
#include "bios_api.h"
#include "driver_key.h"
#include "events.h"
#include "os_services.h"
#include "trace.h"

#include <boarddrv/wmd.h>
#include <ddk/firmware.h>

#include <cstring>
#include <new>

namespace boarddrv
{

namespace
{

constexpr char16_t kMutexName[] = u"Corvanta_Bios_API_File_Mutex";
// One byte short of the 2 MiB: the last header starts at 0x1FFFF3.
constexpr DWORD kScanLength = kFirmwareSize - 1;
constexpr DWORD kHeaderSize = 12;
constexpr DWORD kEntrySpace = 4096;

constexpr uint32_t kFirstUserVersion = 0x010C0000;     // 1.12.0
constexpr uint32_t kFirstTableVersion = 0x02000000;    // 2.0.0
constexpr uint32_t kSingleServiceVersion = 0x02030001; // 2.3.1 has no table

// The first header whose entry lies inside the firmware: start offsets 0 to
// 15 in turn, each in steps of 16. A header with an entry offset of 0, or one
// whose entry region would run past the firmware, is passed over.
bool scanForHeader(const uint8_t* firmware, DWORD& position, DWORD& entryOffset)
{
    for (DWORD start = 0; start < 16; ++start)
        for (DWORD p = start; p + kHeaderSize <= kScanLength; p += 16)
        {
            if (std::memcmp(firmware + p, kFirmwareApiSignature, sizeof kFirmwareApiSignature) != 0)
                continue;
            DWORD offset = 0;
            std::memcpy(&offset, firmware + p + 8, sizeof offset);
            if (offset == 0 || uint64_t(p) + offset + kEntrySpace > kFirmwareSize)
                continue;
            position = p;
            entryOffset = offset;
            return true;
        }
    return false;
}

} // namespace

CBiosApi::CBiosApi(LPCWSTR registryPath) : m_registryPath(registryPath ? registryPath : u"")
{
    m_mutex = CreateMutexW(nullptr, FALSE, kMutexName);
}

CBiosApi::~CBiosApi()
{
    release();
    m_windows.unmapAll();
    if (m_mutex)
        CloseHandle(m_mutex);
}

DWORD CBiosApi::findApi()
{
    std::lock_guard reconfigure(m_reconfigure);
    raiseEvent(kEventServiceStarted, logLevel());
    {
        std::lock_guard guard(m_lock);
        const bool held = m_pMapped || m_pRamCopy;
        if (held)
            releaseRegion();
    }
    auto* firmware = static_cast<uint8_t*>(mapMemoryService(kFirmwareBase, 0, kScanLength));
    if (!firmware)
        return 0;
    DWORD position = 0, entryOffset = 0;
    const bool found = scanForHeader(firmware, position, entryOffset);
    unmapMemoryService(firmware, kScanLength);

    bool copied = false;
    if (found)
    {
        const DWORD size = entryOffset + kEntrySpace;
        auto* mapped = static_cast<uint8_t*>(mapMemoryService(kFirmwareBase + position, 0, size));
        auto* copy = mapped ? new (std::nothrow) uint8_t[size] : nullptr;
        if (copy)
        {
            // The firmware runs from RAM: the copy's entry is the one called.
            std::memcpy(copy, mapped, size);
            std::lock_guard guard(m_lock);
            m_pMapped = mapped;
            m_pRamCopy = copy;
            m_regionSize = size;
            m_pProcAddr = mapped + entryOffset;
            m_pProcAddr_c = copy + entryOffset;
            m_state = 1;
            copied = true;
        }
        else if (mapped)
            unmapMemoryService(mapped, size);
    }
    if (!copied)
    {
        raiseEvent(kEventApiNotFound, logLevel());
        release();
    }
    return 1;
}

DWORD CBiosApi::initialize()
{
    std::lock_guard reconfigure(m_reconfigure);
    const DWORD level = readDriverNumber(m_registryPath, u"LogLevel").value_or(0);
    const DWORD timeout = readDriverNumber(m_registryPath, u"ApiTimeout").value_or(0);
    const DWORD disabled = readDriverNumber(m_registryPath, u"DisableApi").value_or(0);
    const DWORD tjmax = readTjmax(m_registryPath);
    {
        std::lock_guard guard(m_lock);
        m_logLevel = level;
        m_apiTimeout = timeout ? timeout : 1000;
        m_apiDisabled = disabled;
        m_tjmax = tjmax;
    }

    ApiVersion version{};
    DWORD delivered = 0;
    const bool valid = callInternal(0, 0, nullptr, 0, &version, sizeof version, &delivered) == 0 &&
                       delivered == sizeof version;
    const bool userCalls = valid && version.value() >= kFirstUserVersion;
    const bool tableFirmware =
        valid && version.value() >= kFirstTableVersion && version.value() != kSingleServiceVersion;
    {
        std::lock_guard guard(m_lock);
        m_apiVersionValid = valid;
        m_apiVersion = valid ? version : ApiVersion{};
        m_userCallsAllowed = userCalls;
        m_serviceTableFirmware = tableFirmware;
    }
    if (tableFirmware)
    {
        withdrawTable();
        registerTable();
    }

    bool present = true, allInPlace = true;
    if (!tableRegistered())
    {
        const bool busData = registerSingle(243, reinterpret_cast<const void*>(&busDataService));
        if (userCalls)
        {
            const bool readMsr = registerSingle(241, reinterpret_cast<const void*>(&readMsrService));
            std::lock_guard guard(m_lock);
            m_userCallsAllowed = readMsr;
            present = readMsr;
        }
        uint8_t handshake = 0xAA;
        const bool answered = command(242, &handshake, sizeof handshake);
        allInPlace = busData && answered;
    }
    if (present)
    {
        if (tjmax == 0)
            raiseEvent(kEventTjmaxMissing, level);
        if (!allInPlace)
            raiseEvent(kEventCallbacksMissing, level);
    }
    else
        raiseEvent(kEventNotSupported, level);
    return 1;
}

void CBiosApi::release()
{
    std::lock_guard reconfigure(m_reconfigure);
    withdrawTable();
    {
        std::lock_guard guard(m_lock);
        releaseRegion();
    }
    raiseEvent(kEventServiceStopped, logLevel());
}

bool CBiosApi::readyForUserCalls()
{
    std::lock_guard guard(m_lock);
    return m_state == 1 && m_userCallsAllowed;
}

DWORD CBiosApi::callInternal(DWORD group, DWORD offset, PVOID input, DWORD inputSize, PVOID output,
                             DWORD outputSize, PDWORD returned)
{
    if (!returned)
        return wmd::kResultSizeMismatch;
    {
        std::lock_guard guard(m_lock);
        if (m_state != 1)
            return wmd::kResultNotSupported;
    }
    return BiosIoControl(group, offset, input, inputSize, output, outputSize, returned);
}

bool CBiosApi::command(DWORD offset, PVOID input, DWORD inputSize)
{
    DWORD delivered = 0;
    return callInternal(0, offset, input, inputSize, nullptr, 0, &delivered) == 0 && delivered == 0;
}

bool CBiosApi::registerTable()
{
    std::lock_guard reconfigure(m_reconfigure);
    uint8_t table[kFirmwareServiceTableSize];
    buildServiceTable(table);
    const bool registered = command(254, table, sizeof table);
    std::lock_guard guard(m_lock);
    m_servicesRegistered = registered;
    return registered;
}

bool CBiosApi::withdrawTable()
{
    std::lock_guard reconfigure(m_reconfigure);
    if (!tableRegistered())
        return false;
    const bool withdrawn = command(255, nullptr, 0);
    if (withdrawn)
    {
        std::lock_guard guard(m_lock);
        m_servicesRegistered = FALSE;
    }
    return withdrawn;
}

bool CBiosApi::registerSingle(DWORD offset, const void* service)
{
    // The service's full address: both halves of the pointer.
    uint64_t address = serviceAddress(service);
    return command(offset, &address, sizeof address);
}

void CBiosApi::releaseRegion()
{
    if (m_pMapped)
        unmapMemoryService(m_pMapped, m_regionSize);
    delete[] m_pRamCopy;
    m_pMapped = nullptr;
    m_pRamCopy = nullptr;
    m_pProcAddr = nullptr;
    m_pProcAddr_c = nullptr;
    m_regionSize = 0;
    m_state = 0;
}

bool CBiosApi::tableRegistered()
{
    std::lock_guard guard(m_lock);
    return m_servicesRegistered;
}

DWORD CBiosApi::logLevel()
{
    std::lock_guard guard(m_lock);
    return m_logLevel;
}

} // namespace boarddrv
