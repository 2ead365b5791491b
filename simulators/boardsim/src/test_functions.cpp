// The firmware's test group: each function calls one of the operating-system
// services that the driver registered, so that tests see them work from the
// firmware's side. A service that is not registered answers 1793.
#include "firmware_functions.h"

#include <algorithm>
#include <cstring>

namespace boardsim
{

namespace
{

bool readWords(const ddk::FirmwareCall& call, uint32_t* words, size_t count)
{
    if (!call.input || call.inputSize < count * sizeof(uint32_t))
        return false;
    std::memcpy(words, call.input, count * sizeof(uint32_t));
    return true;
}

} // namespace

void installTestFunctions(Firmware& firmware, const BoardDescription&)
{
    // In: the register. Out: the service's answer, the low and the high word.
    firmware.addFunction(kTestGroup, kTestReadMsr,
                         [&firmware](const ddk::FirmwareCall& call)
                         {
                             uint32_t index = 0;
                             if (!readWords(call, &index, 1) || call.outputSize < 12)
                                 return kStatusBadParameter;
                             const FIRMWARE_READMSR readMsr = firmware.services().readMsr;
                             if (!readMsr)
                                 return kStatusNotSupported;
                             DWORD high = 0, low = 0;
                             const DWORD answer = readMsr(index, &high, &low);
                             putWords(call, {answer, low, high});
                             return kStatusOk;
                         });
    // In: bus type, bus, device, function, offset. Out: the service's answer, then the data.
    firmware.addFunction(kTestGroup, kTestBusData,
                         [&firmware](const ddk::FirmwareCall& call)
                         {
                             uint32_t in[5] = {};
                             if (!readWords(call, in, 5) || !call.output || call.outputSize < 4)
                                 return kStatusBadParameter;
                             const FIRMWARE_GETBUSDT busData = firmware.services().busData;
                             if (!busData)
                                 return kStatusNotSupported;
                             auto* out = static_cast<uint8_t*>(call.output);
                             const LONG answer =
                                 busData(in[0], in[1], in[2], in[3], in[4], out + 4, call.outputSize - 4);
                             std::memcpy(out, &answer, sizeof answer);
                             *call.returned = 4 + static_cast<DWORD>(std::max<LONG>(answer, 0));
                             return kStatusOk;
                         });
    // In: physical address low, high, size. Out: the bytes seen through the mapping.
    firmware.addFunction(kTestGroup, kTestMapMemory,
                         [&firmware](const ddk::FirmwareCall& call)
                         {
                             uint32_t in[3] = {};
                             if (!readWords(call, in, 3))
                                 return kStatusBadParameter;
                             const Services services = firmware.services();
                             if (!services.mapMemory || !services.unmapMemory)
                                 return kStatusNotSupported;
                             void* mapped = services.mapMemory(in[0], in[1], in[2]);
                             if (!mapped)
                                 return kStatusNoMapping;
                             const DWORD size = std::min<DWORD>(in[2], call.output ? call.outputSize : 0);
                             if (size > 0)
                                 std::memcpy(call.output, mapped, size);
                             services.unmapMemory(mapped, in[2]);
                             *call.returned = size;
                             return kStatusOk;
                         });
}

} // namespace boardsim
