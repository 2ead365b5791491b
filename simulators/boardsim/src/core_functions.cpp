// Index group 0 as the driver uses it: the API version (offset 0), the single
// service registrations (241, 243) with their handshake (242), and the service
// table (254 registers, 255 withdraws).
#include "firmware_functions.h"

#include <cstring>

namespace boardsim
{

namespace
{

// A registration carries the service's full address.
bool readAddress(const ddk::FirmwareCall& call, uint64_t& address)
{
    if (!call.input || call.inputSize != sizeof address)
        return false;
    std::memcpy(&address, call.input, sizeof address);
    return true;
}

} // namespace

void installCoreFunctions(Firmware& firmware, const BoardDescription&)
{
    firmware.addFunction(0, 0,
                         [&firmware](const ddk::FirmwareCall& call)
                         {
                             if (!call.output || call.outputSize < 4)
                                 return kStatusBadParameter;
                             // Major, minor, then the build as 16 bits.
                             const uint32_t version = firmware.version();
                             auto* out = static_cast<uint8_t*>(call.output);
                             out[0] = static_cast<uint8_t>(version >> 24);
                             out[1] = static_cast<uint8_t>(version >> 16);
                             out[2] = static_cast<uint8_t>(version);
                             out[3] = static_cast<uint8_t>(version >> 8);
                             *call.returned = 4;
                             return kStatusOk;
                         });
    for (const DWORD offset : {241u, 243u})
        firmware.addFunction(0, offset,
                             [&firmware, offset](const ddk::FirmwareCall& call)
                             {
                                 uint64_t address = 0;
                                 if (!readAddress(call, address) || address == 0)
                                     return kStatusBadParameter;
                                 return firmware.registerSingle(offset, address);
                             });
    firmware.addFunction(0, 242,
                         [&firmware](const ddk::FirmwareCall& call)
                         {
                             if (!call.input || call.inputSize != 1 ||
                                 *static_cast<uint8_t*>(call.input) != 0xAA)
                                 return kStatusBadParameter;
                             firmware.noteHandshake();
                             return kStatusOk;
                         });
    firmware.addFunction(0, 254,
                         [&firmware](const ddk::FirmwareCall& call) {
                             return firmware.registerTable(static_cast<uint8_t*>(call.input), call.inputSize);
                         });
    firmware.addFunction(0, 255, [&firmware](const ddk::FirmwareCall&) { return firmware.withdrawTable(); });
}

} // namespace boardsim
