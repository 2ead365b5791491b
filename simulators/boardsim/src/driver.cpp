// The simulated board: a stream driver with the prefix MPH that stands in for
// the board's hardware and firmware. It maps physical memory for the board
// driver ("MPH1:" codes 0x00150800 and 0x00150804), holds the firmware image
// with the API header, and attaches itself to the driver kit as the board, so
// that processor, register, bus, port and firmware calls reach it alone.
// Start-up choices come from the description file "BoardSim.txt" in the device
// root (or the one the driver's "Description" value names).
#include "board.h"
#include "description.h"
#include "firmware.h"
#include "firmware_functions.h"
#include "physical_memory.h"

#include <description_text.h>

#include <ddk/board.h>
#include <ddk/firmware.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace
{

using namespace boardsim;

constexpr char kDefaultDescription[] = "BoardSim.txt";

struct Device
{
    explicit Device(BoardDescription&& parsed)
        : description(std::move(parsed)), firmware(description.version), board(description, firmware)
    {
    }

    BoardDescription description;
    PhysicalMemory memory;
    Firmware firmware;
    Board board;
};

// The image as the flash holds it: erased bytes, each API header, and the
// entry marker at each header's entry where it fits.
bool layOutImage(Device& device)
{
    if (!device.memory.fill(kImageBase, 0xFF, kImageSize))
        return false;
    for (const SignaturePlacement& placement : device.description.signatures)
    {
        uint8_t header[12];
        std::memcpy(header, kFirmwareApiSignature, 8);
        std::memcpy(header + 8, &placement.entryOffset, 4);
        if (!device.memory.write(kImageBase + placement.position, header, sizeof header))
            return false;
        const uint64_t entry = uint64_t(placement.position) + placement.entryOffset;
        if (placement.entryOffset < sizeof header || entry + sizeof(FirmwareEntryMarker) > kImageSize)
            continue;
        FirmwareEntryMarker marker{};
        std::memcpy(marker.magic, kFirmwareEntryMagic, sizeof marker.magic);
        marker.routine = kApiRoutine;
        marker.check = ~kApiRoutine;
        if (!device.memory.write(kImageBase + static_cast<uint32_t>(entry), &marker, sizeof marker))
            return false;
    }
    for (const MemoryPreset& preset : device.description.memory)
        if (!device.memory.write(preset.address, preset.bytes.data(), preset.bytes.size()))
            return false;
    return true;
}

std::unique_ptr<Device> startDevice(const std::u16string& activeKey)
{
    std::string text, error;
    BoardDescription description;
    if (!simdesc::readDescriptionFile(activeKey, kDefaultDescription, text, error))
    {
        std::fprintf(stderr, "BoardSim: %s\n", error.c_str());
        return nullptr;
    }
    if (!parseDescription(text, description, error))
    {
        std::fprintf(stderr, "BoardSim: %s: %s\n", kDefaultDescription, error.c_str());
        SetLastError(ERROR_BAD_FORMAT);
        return nullptr;
    }
    auto device = std::make_unique<Device>(std::move(description));
    if (!device->memory.create(error) || !layOutImage(*device))
    {
        std::fprintf(stderr, "BoardSim: %s\n",
                     error.empty() ? "cannot write the firmware image" : error.c_str());
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    for (const FaultRequest& fault : device->description.faults)
        device->firmware.faults().set(fault);
    installFunctions(device->firmware, device->description);
    return device;
}

BOOL fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

template <class T> bool readInput(PBYTE input, DWORD inputSize, T& value)
{
    if (!input || inputSize < sizeof value)
        return false;
    std::memcpy(&value, input, sizeof value);
    return true;
}

template <class T> BOOL answer(PBYTE output, DWORD outputSize, PDWORD returned, const T& value)
{
    if (!output || outputSize < sizeof value)
        return fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(output, &value, sizeof value);
    *returned = sizeof value;
    return TRUE;
}

BOOL mapPhysical(Device& device, PBYTE input, DWORD inputSize, PBYTE output, DWORD outputSize,
                 PDWORD returned)
{
    uint32_t request[2] = {}; // address, size
    if (!readInput(input, inputSize, request) || !output || outputSize < sizeof(uint64_t))
        return fail(ERROR_INVALID_PARAMETER);
    if (device.firmware.faults().take(FaultKind::mapFailure))
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    void* mapped = device.memory.map(request[0], request[1]);
    if (!mapped)
        return fail(ERROR_INVALID_PARAMETER);
    return answer(output, outputSize, returned, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(mapped)));
}

BOOL unmapPhysical(Device& device, PBYTE input, DWORD inputSize)
{
    uint32_t request[3] = {}; // address low, high, size
    if (!readInput(input, inputSize, request))
        return fail(ERROR_INVALID_PARAMETER);
    void* address = reinterpret_cast<void*>(static_cast<uintptr_t>(joinAddress(request[0], request[1])));
    return device.memory.unmap(address) ? TRUE : fail(ERROR_INVALID_PARAMETER);
}

BOOL takeFamilyLog(Device& device, PBYTE output, DWORD outputSize, PDWORD returned)
{
    if (!output || outputSize < sizeof(FamilyLog))
        return fail(ERROR_INSUFFICIENT_BUFFER);
    const auto log = std::make_unique<FamilyLog>();
    const auto calls = device.firmware.families().takeLog(&log->lost);
    for (const families::LoggedCall& call : calls)
    {
        FamilyCallEntry& entry = log->calls[log->count++];
        entry = {call.group, call.offset, static_cast<uint32_t>(call.input.size()), call.outputSize, {}};
        if (!call.input.empty())
            std::memcpy(entry.in, call.input.data(), std::min(call.input.size(), sizeof entry.in));
    }
    return answer(output, outputSize, returned, *log);
}

BOOL setBootLoader(Device& device, const BootLoaderRequest& request)
{
    families::SmbusFamily& smbus = device.firmware.families().smbus();
    switch (static_cast<BootLoaderAction>(request.action))
    {
    case BootLoaderAction::shortenAnswers:
        smbus.shortenAnswers(static_cast<uint8_t>(request.command), request.length, request.times,
                             request.skip);
        return TRUE;
    case BootLoaderAction::lockMode:
        smbus.lockMode(true);
        return TRUE;
    case BootLoaderAction::refuseRecord:
        smbus.failNextRecord(static_cast<uint8_t>(request.status));
        return TRUE;
    }
    return fail(ERROR_INVALID_PARAMETER);
}

BOOL bootLoaderRecords(Device& device, PBYTE output, DWORD outputSize, PDWORD returned)
{
    if (!output || outputSize < sizeof(BootLoaderRecords))
        return fail(ERROR_INSUFFICIENT_BUFFER);
    const families::SmbusFamily& smbus = device.firmware.families().smbus();
    const auto records = std::make_unique<BootLoaderRecords>();
    records->mode = smbus.mode();
    for (const auto& taken : smbus.records())
    {
        if (records->count == kBootLoaderRecordCapacity || taken.size() > kBootLoaderRecordSize)
        {
            ++records->lost;
            continue;
        }
        BootLoaderRecord& record = records->records[records->count++];
        record.length = static_cast<uint32_t>(taken.size());
        std::memcpy(record.bytes, taken.data(), taken.size());
    }
    return answer(output, outputSize, returned, *records);
}

BOOL control(Device& device, DWORD code, PBYTE input, DWORD inputSize, PBYTE output, DWORD outputSize,
             PDWORD returned)
{
    switch (code)
    {
    case kIoctlSetFault:
    {
        FaultRequest request{};
        if (!readInput(input, inputSize, request))
            return fail(ERROR_INVALID_PARAMETER);
        device.firmware.faults().set(request);
        return TRUE;
    }
    case kIoctlSetVersion:
    {
        uint32_t version = 0;
        if (!readInput(input, inputSize, version))
            return fail(ERROR_INVALID_PARAMETER);
        device.firmware.setVersion(version);
        return TRUE;
    }
    case kIoctlOverwriteImage:
    {
        uint8_t fill = 0;
        if (!readInput(input, inputSize, fill))
            return fail(ERROR_INVALID_PARAMETER);
        return device.memory.fill(kImageBase, fill, kImageSize) ? TRUE : fail(ERROR_WRITE_FAULT);
    }
    case kIoctlTakePortLog:
    {
        const auto log = std::make_unique<PortLog>(device.board.takePortLog());
        return answer(output, outputSize, returned, *log);
    }
    case kIoctlGetState:
    {
        BoardState state = device.firmware.state();
        state.mappings = static_cast<uint32_t>(device.memory.mappings());
        return answer(output, outputSize, returned, state);
    }
    case kIoctlTakeFamilyLog:
        return takeFamilyLog(device, output, outputSize, returned);
    case kIoctlResetFamilies:
        device.firmware.families().reset(device.description.families);
        return TRUE;
    case kIoctlSetBootLoader:
    {
        BootLoaderRequest request{};
        if (!readInput(input, inputSize, request))
            return fail(ERROR_INVALID_PARAMETER);
        return setBootLoader(device, request);
    }
    case kIoctlGetBootLoader:
        return bootLoaderRecords(device, output, outputSize, returned);
    default:
        return fail(ERROR_NOT_SUPPORTED);
    }
}

} // namespace

extern "C"
{

    __attribute__((visibility("default"))) DWORD_PTR MPH_Init(LPCWSTR activeKey, LPCVOID)
    {
        auto device = startDevice(activeKey ? std::u16string(activeKey) : std::u16string());
        if (!device)
            return 0;
        ddk::attachBoard(&device->board);
        return reinterpret_cast<DWORD_PTR>(device.release());
    }

    __attribute__((visibility("default"))) BOOL MPH_Deinit(DWORD_PTR deviceContext)
    {
        auto* device = reinterpret_cast<Device*>(deviceContext);
        ddk::detachBoard(&device->board);
        delete device;
        return TRUE;
    }

    __attribute__((visibility("default"))) DWORD_PTR MPH_Open(DWORD_PTR deviceContext, DWORD, DWORD)
    {
        return deviceContext;
    }

    __attribute__((visibility("default"))) BOOL MPH_Close(DWORD_PTR)
    {
        return TRUE;
    }

    __attribute__((visibility("default"))) BOOL MPH_IOControl(DWORD_PTR openContext, DWORD code, PBYTE input,
                                                              DWORD inputSize, PBYTE output, DWORD outputSize,
                                                              PDWORD returned)
    {
        if (!returned)
            return fail(ERROR_INVALID_PARAMETER);
        *returned = 0;
        Device& device = *reinterpret_cast<Device*>(openContext);
        if (code == kIoctlMapPhysical)
            return mapPhysical(device, input, inputSize, output, outputSize, returned);
        if (code == kIoctlUnmapPhysical)
            return unmapPhysical(device, input, inputSize);
        return control(device, code, input, inputSize, output, outputSize, returned);
    }

} // extern "C"
