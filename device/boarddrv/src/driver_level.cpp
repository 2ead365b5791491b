// The driver-level index group: processor data, model-specific registers, bus
// data, service registrations, physical memory and I/O ports, served without
// the firmware and without the named mutex.
#include "bios_api.h"
#include "driver_key.h"
#include "os_services.h"
#include "processor.h"
#include "trace.h"

#include <boarddrv/wmd.h>
#include <ddk/ddk.h>

#include <cstring>

namespace boarddrv
{

namespace
{

using namespace wmd;

// The request's little-endian 32-bit words.
DWORD word(PVOID input, DWORD index)
{
    DWORD value = 0;
    std::memcpy(&value, static_cast<const uint8_t*>(input) + 4 * index, sizeof value);
    return value;
}

uint64_t wideWord(PVOID input, DWORD index)
{
    return static_cast<uint64_t>(word(input, index + 1)) << 32 | word(input, index);
}

DWORD deliver(PVOID output, const void* data, DWORD size, PDWORD returned)
{
    std::memcpy(output, data, size);
    *returned = size;
    return 0;
}

DWORD deliverWords(PVOID output, std::initializer_list<DWORD> words, PDWORD returned)
{
    auto* out = static_cast<uint8_t*>(output);
    for (DWORD value : words)
    {
        std::memcpy(out, &value, sizeof value);
        out += sizeof value;
    }
    *returned = static_cast<DWORD>(4 * words.size());
    return 0;
}

bool holds(PVOID buffer, DWORD size, DWORD minimum)
{
    return buffer && size >= minimum;
}

// Offsets 66-69 take exactly 16 bytes of request (69: more than 16).
DWORD memoryRequest(DWORD offset, MemoryWindows& windows, PVOID input, DWORD inputSize, PVOID output,
                    DWORD outputSize, PDWORD returned)
{
    const bool exactIn = input && inputSize == 16;
    switch (offset)
    {
    case kMapMemory:
    {
        if (!exactIn || !output || outputSize != 16)
            return kResultInvalidParameter;
        const uint64_t physical = wideWord(input, 0);
        const DWORD size = word(input, 2);
        if (physical == 0 || size == 0)
            return kResultZeroArgument;
        uint64_t address = 0;
        if (const DWORD result = windows.map(physical, size, address))
            return result;
        // The virtual address's high half goes in the word after it.
        return deliverWords(output, {static_cast<DWORD>(address), static_cast<DWORD>(address >> 32), size, 0},
                            returned);
    }
    case kUnmapMemory:
    {
        if (!exactIn || !output || outputSize != 16)
            return kResultInvalidParameter;
        const uint64_t address = wideWord(input, 0);
        const DWORD size = word(input, 2);
        if (address == 0 || size == 0)
            return kResultZeroArgument;
        if (const DWORD result = windows.unmap(address, size))
            return result;
        return deliverWords(output, {0, 0, 0, 0}, returned);
    }
    case kReadMemory:
    {
        if (!exactIn || !holds(output, outputSize, 1))
            return kResultInvalidParameter;
        const uint64_t address = wideWord(input, 0);
        const DWORD size = word(input, 2);
        if (address == 0 || size == 0)
            return kResultZeroArgument;
        if (size < outputSize)
            return kResultSizeMismatch;
        if (const DWORD result = windows.read(address, output, outputSize))
            return result;
        *returned = outputSize;
        return 0;
    }
    default: // kWriteMemory
    {
        if (!input || inputSize <= 16)
            return kResultInvalidParameter;
        const uint64_t address = wideWord(input, 0);
        const DWORD size = word(input, 2), length = word(input, 3);
        if (address == 0 || size == 0 || length == 0)
            return kResultZeroArgument;
        if (inputSize - 16 != length || length > size)
            return kResultSizeMismatch;
        return windows.write(address, static_cast<const uint8_t*>(input) + 16, length);
    }
    }
}

} // namespace

DWORD CBiosApi::DriverIoControl(DWORD group, DWORD offset, PVOID input, DWORD inputSize, PVOID output,
                                DWORD outputSize, PDWORD returned)
{
    const DWORD level = logLevel();
    if (level & kLogArguments)
        trace("CBiosApi::DriverIoControl(IG:0x%X, IO:0x%X, pIn:0x%llX, cbIn:0x%X, pOut:0x%llX, cbOut:0x%X, "
              "pBytesReturned:0x%llX)\r\n",
              group, offset, address(input), inputSize, address(output), outputSize, address(returned));
    if (level & kLogCalls)
        traceDump("CBiosApi::DriverIoControl(), InBuffer:", input, input ? inputSize : 0);
    if (!returned)
        return kResultSizeMismatch;
    *returned = 0;

    DWORD result = kResultNotSupported;
    if (group != kDriverGroup)
        result = kResultNotSupported;
    else if (offset == kLogLevel || offset == kDisableApi || offset == kApiTimeout ||
             offset == kReloadLogLevel || offset == kReloadDisableApi || offset == kReloadApiTimeout ||
             offset == kTjmax)
        result = readNumber(offset, output, outputSize, returned);
    else if (offset >= kProcessorSignature && offset <= kBrandString)
        result = readProcessor(offset, output, outputSize, returned);
    else if (offset == kReadMsr)
        result = readMsr(input, inputSize, output, outputSize, returned);
    else if (offset == kBusData)
        result = readBusData(input, inputSize, output, outputSize, returned);
    else if (offset == kRegisterReadMsr || offset == kRegisterBusData || offset == kReinitialize ||
             offset == kWithdrawTableIfRegistered || offset == kRegisterTable || offset == kWithdrawTable)
        result = changeRegistration(offset);
    else if (offset == kWriteMsr)
        result = holds(input, inputSize, 16) ? kResultNotSupported : kResultInvalidParameter;
    else if (offset >= kMapMemory && offset <= kWriteMemory)
        result = memoryRequest(offset, m_windows, input, inputSize, output, outputSize, returned);
    else if (offset >= kReadPort8 && offset <= kWritePort32)
        result = accessPort(offset, input, inputSize, output, outputSize, returned);

    if (level & kLogCalls)
    {
        trace("CBiosApi::DriverIoControl( drvResult:0x%X, drvBytesReturned:%d)\r\n", result,
              static_cast<int>(*returned));
        traceDump("CBiosApi::DriverIoControl() OutBuffer:", output,
                  deliveredPart(output, outputSize, *returned));
    }
    return result;
}

DWORD CBiosApi::readNumber(DWORD offset, PVOID output, DWORD outputSize, PDWORD returned)
{
    if (!holds(output, outputSize, 4))
        return kResultInvalidParameter;
    DWORD value = 0;
    if (offset == kTjmax)
    {
        value = readTjmax(m_registryPath);
        std::lock_guard guard(m_lock);
        m_tjmax = value;
    }
    else if (offset == kReloadLogLevel || offset == kReloadDisableApi || offset == kReloadApiTimeout)
    {
        std::lock_guard reconfigure(m_reconfigure);
        const char16_t* name = offset == kReloadLogLevel     ? u"LogLevel"
                               : offset == kReloadDisableApi ? u"DisableApi"
                                                             : u"ApiTimeout";
        value = readDriverNumber(m_registryPath, name).value_or(0);
        std::lock_guard guard(m_lock);
        if (offset == kReloadLogLevel)
            m_logLevel = value;
        else if (offset == kReloadDisableApi)
            m_apiDisabled = value;
        else
            m_apiTimeout = value = value ? value : 1000;
    }
    else
    {
        std::lock_guard guard(m_lock);
        value = offset == kLogLevel ? m_logLevel : offset == kDisableApi ? m_apiDisabled : m_apiTimeout;
    }
    return deliver(output, &value, sizeof value, returned);
}

DWORD CBiosApi::readProcessor(DWORD offset, PVOID output, DWORD outputSize, PDWORD returned)
{
    switch (offset)
    {
    case kActiveProcessorMask:
    {
        if (!holds(output, outputSize, 8))
            return kResultInvalidParameter;
        const uint64_t mask = 1;
        return deliver(output, &mask, sizeof mask, returned);
    }
    case kBrandString:
    {
        if (!holds(output, outputSize, 48))
            return kResultInvalidParameter;
        char brand[48];
        processorBrandString(brand);
        return deliver(output, brand, sizeof brand, returned);
    }
    default:
    {
        if (!holds(output, outputSize, 4))
            return kResultInvalidParameter;
        const DWORD value = offset == kProcessorSignature ? processorSignature()
                            : offset == kProcessorCount   ? 1
                                                          : processorBrandId();
        return deliver(output, &value, sizeof value, returned);
    }
    }
}

DWORD CBiosApi::readMsr(PVOID input, DWORD inputSize, PVOID output, DWORD outputSize, PDWORD returned)
{
    if (!holds(input, inputSize, 4) || !holds(output, outputSize, 8))
        return kResultInvalidParameter;
    DWORD high = 0, low = 0;
    if (!readMsrService(word(input, 0), &high, &low))
        return kResultNotSupported;
    return deliverWords(output, {low, high}, returned);
}

DWORD CBiosApi::readBusData(PVOID input, DWORD inputSize, PVOID output, DWORD outputSize, PDWORD returned)
{
    if (!holds(input, inputSize, 28) || !holds(output, outputSize, 1))
        return kResultInvalidParameter;
    const DWORD requested = word(input, 5);
    const DWORD length = requested < outputSize ? requested : outputSize;
    const LONG read = busDataService(word(input, 0), word(input, 1), word(input, 2), word(input, 3),
                                     word(input, 4), output, length);
    if (read < 0)
        return kResultNoBusData;
    *returned = static_cast<DWORD>(read);
    return 0;
}

DWORD CBiosApi::changeRegistration(DWORD offset)
{
    std::lock_guard reconfigure(m_reconfigure);
    switch (offset)
    {
    case kRegisterReadMsr:
        return registerSingle(241, reinterpret_cast<const void*>(&readMsrService)) ? 0 : kResultNotSupported;
    case kRegisterBusData:
        return registerSingle(243, reinterpret_cast<const void*>(&busDataService)) ? 0 : kResultNotSupported;
    case kReinitialize:
        initialize();
        return 0;
    case kWithdrawTableIfRegistered:
        return !tableRegistered() || withdrawTable() ? 0 : kResultNotSupported;
    case kRegisterTable:
        if (tableRegistered())
            return kResultTableState;
        return registerTable() ? 0 : kResultNotSupported;
    default: // kWithdrawTable
        if (!tableRegistered())
            return kResultTableState;
        return withdrawTable() ? 0 : kResultNotSupported;
    }
}

DWORD CBiosApi::accessPort(DWORD offset, PVOID input, DWORD inputSize, PVOID output, DWORD outputSize,
                           PDWORD returned)
{
    const bool reading = offset <= kReadPort32;
    const DWORD width = 1u << (reading ? offset - kReadPort8 : offset - kWritePort8);
    if (!input || inputSize != (reading ? 8u : 16u) || (reading && (!output || outputSize != width)))
        return kResultInvalidParameter;
    // Ports are 16 bits for every width of the value.
    const DWORD port = word(input, 0);
    if (port == 0 || port > 0xFFFF)
        return kResultZeroArgument;
    if (reading)
    {
        const DWORD value = width == 1   ? READ_PORT_UCHAR(PortAddress<UCHAR>(port))
                            : width == 2 ? READ_PORT_USHORT(PortAddress<USHORT>(port))
                                         : READ_PORT_ULONG(PortAddress<ULONG>(port));
        return deliver(output, &value, width, returned);
    }
    const DWORD value = word(input, 2);
    if (width == 1)
        WRITE_PORT_UCHAR(PortAddress<UCHAR>(port), static_cast<UCHAR>(value));
    else if (width == 2)
        WRITE_PORT_USHORT(PortAddress<USHORT>(port), static_cast<USHORT>(value));
    else
        WRITE_PORT_ULONG(PortAddress<ULONG>(port), value);
    return 0;
}

} // namespace boarddrv
