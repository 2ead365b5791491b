#include "firmware.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace boardsim
{

namespace
{

struct ServiceName
{
    const char* name;
    uint32_t bit;
};

constexpr ServiceName kServiceNames[] = {
    {"READMSR", kServiceReadMsr},
    {"GETBUSDT", kServiceBusData},
    {"MAPMEM", kServiceMapMemory},
    {"UNMAPMEM", kServiceUnmapMemory},
};

void trace(const char* text)
{
    char line[160];
    std::snprintf(line, sizeof line, "BoardSim: %s\n", text);
    OutputDebugStringA(line);
}

} // namespace

bool putWords(const ddk::FirmwareCall& call, std::initializer_list<uint32_t> words)
{
    const DWORD size = static_cast<DWORD>(words.size() * sizeof(uint32_t));
    if (!call.output || call.outputSize < size)
        return false;
    auto* out = static_cast<uint8_t*>(call.output);
    for (uint32_t word : words)
    {
        std::memcpy(out, &word, sizeof word);
        out += sizeof word;
    }
    *call.returned = size;
    return true;
}

void Firmware::addFunction(DWORD group, DWORD offset, Function function)
{
    m_functions[{group, offset}] = std::move(function);
}

void Firmware::addGroup(DWORD group, Function function)
{
    m_groups[group] = std::move(function);
}

bool Firmware::call(const ddk::FirmwareCall& call, DWORD& status)
{
    noteCall(call);
    if (m_faults.take(FaultKind::exception, call.group, call.offset))
        return false;
    if (m_faults.take(FaultKind::busy, call.group, call.offset))
    {
        status = kStatusBusy;
        return true;
    }
    if (const auto forced = m_faults.take(FaultKind::status, call.group, call.offset))
    {
        status = *forced;
        return true;
    }
    DWORD ignored = 0;
    const ddk::FirmwareCall checked{call.group,
                                    call.offset,
                                    call.input,
                                    call.inputSize,
                                    call.output,
                                    call.outputSize,
                                    call.returned ? call.returned : &ignored};
    if (const auto function = m_functions.find({call.group, call.offset}); function != m_functions.end())
        status = function->second(checked);
    else if (const auto group = m_groups.find(call.group); group != m_groups.end())
        status = group->second(checked);
    else
        status = kStatusNotSupported;
    if (const auto size = m_faults.take(FaultKind::answerSize, call.group, call.offset))
        *checked.returned = *size;
    return true;
}

uint32_t Firmware::version() const
{
    std::lock_guard guard(m_lock);
    return m_version;
}

void Firmware::setVersion(uint32_t version)
{
    std::lock_guard guard(m_lock);
    m_version = version;
}

Services Firmware::services() const
{
    std::lock_guard guard(m_lock);
    Services services = m_table;
    if (!services.readMsr)
        services.readMsr = m_singles.readMsr;
    if (!services.busData)
        services.busData = m_singles.busData;
    return services;
}

DWORD Firmware::registerTable(const uint8_t* table, DWORD size)
{
    if (!table || size != kFirmwareServiceTableSize)
        return kStatusBadParameter;
    Services services;
    uint32_t names = 0;
    std::string listed;
    for (uint32_t i = 0; i < kFirmwareServiceCount; ++i)
    {
        FirmwareServiceEntry entry;
        std::memcpy(&entry, table + i * sizeof entry, sizeof entry);
        const std::string name(entry.name, strnlen(entry.name, sizeof entry.name));
        if (name.empty())
            break;
        const auto address = static_cast<uintptr_t>(joinAddress(entry.addressLow, entry.addressHigh));
        for (const ServiceName& known : kServiceNames)
            if (name == known.name && address != 0)
                names |= known.bit;
        if (name == "READMSR")
            services.readMsr = reinterpret_cast<FIRMWARE_READMSR>(address);
        else if (name == "GETBUSDT")
            services.busData = reinterpret_cast<FIRMWARE_GETBUSDT>(address);
        else if (name == "MAPMEM")
            services.mapMemory = reinterpret_cast<FIRMWARE_MAPMEM>(address);
        else if (name == "UNMAPMEM")
            services.unmapMemory = reinterpret_cast<FIRMWARE_UNMAPMEM>(address);
        listed += " " + name;
    }
    {
        std::lock_guard guard(m_lock);
        m_table = services;
        m_tableNames = names;
    }
    trace(("service table registered:" + listed).c_str());
    return kStatusOk;
}

DWORD Firmware::withdrawTable()
{
    {
        std::lock_guard guard(m_lock);
        m_table = {};
        m_tableNames = 0;
    }
    trace("service table withdrawn");
    return kStatusOk;
}

DWORD Firmware::registerSingle(DWORD offset, uint64_t address)
{
    std::lock_guard guard(m_lock);
    if (offset == 241)
        m_singles.readMsr = reinterpret_cast<FIRMWARE_READMSR>(static_cast<uintptr_t>(address));
    else
        m_singles.busData = reinterpret_cast<FIRMWARE_GETBUSDT>(static_cast<uintptr_t>(address));
    return kStatusOk;
}

void Firmware::noteHandshake()
{
    std::lock_guard guard(m_lock);
    ++m_state.handshakes;
}

BoardState Firmware::state() const
{
    std::lock_guard guard(m_lock);
    BoardState state = m_state;
    state.version = m_version;
    state.serviceTable = m_tableNames;
    state.singleReadMsr = m_singles.readMsr != nullptr;
    state.singleBusData = m_singles.busData != nullptr;
    return state;
}

void Firmware::noteCall(const ddk::FirmwareCall& call)
{
    std::lock_guard guard(m_lock);
    ++m_state.firmwareCalls;
    m_state.lastGroup = call.group;
    m_state.lastOffset = call.offset;
    m_state.lastInSize = call.inputSize;
    m_state.lastOutSize = call.outputSize;
    std::memset(m_state.lastIn, 0, sizeof m_state.lastIn);
    if (call.input)
        std::memcpy(m_state.lastIn, call.input, std::min<size_t>(call.inputSize, sizeof m_state.lastIn));
}

} // namespace boardsim
