// The device families behind their index groups. Group 0 shares its offsets
// with the core functions, which take precedence.
#include "firmware_functions.h"

namespace boardsim
{

void installFamilyFunctions(Firmware& firmware, const BoardDescription& description)
{
    firmware.families().reset(description.families);
    for (const uint32_t group : families::BoardFamilies::groups())
        firmware.addGroup(group,
                          [&firmware](const ddk::FirmwareCall& call)
                          {
                              return firmware.families().call(
                                  {call.group, call.offset, static_cast<const uint8_t*>(call.input),
                                   call.inputSize, static_cast<uint8_t*>(call.output), call.outputSize,
                                   call.returned});
                          });
}

} // namespace boardsim
