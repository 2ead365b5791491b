// The simulated board's description file: start-up choices of the firmware
// and the processor, bus and port values of the board.
//
// Line-based text; '#' starts a comment. Each line is a keyword and its
// arguments; numbers are decimal or 0x hex, bytes are hex:0A0B0C.
//
//   firmware-version <major>.<minor>.<build>
//   signature <position> <entry offset>    the API header at a position in the image
//   ram <physical address> hex:<bytes>     preset memory outside the image
//   fault <kind> <group|*> <offset|*> <count|always> [<value>]
//                                          kinds: busy exception answer-size status map-failure
//   cpuid <leaf> <a> <b> <c> <d>           a processor identification leaf
//   brand "<text>"                         the brand string (leaves 0x80000002-4, at most 48 bytes)
//   msr <register> <value>                 a model-specific register (64 bits)
//   pci <bus> <device> <function> hex:<configuration space, up to 256 bytes>
//   port <port> <value>                    what a read of the port answers (unlisted: all ones)
//
// The firmware's device families (board_families.h):
//   answer <group> <offset> hex:<bytes>    a function's fixed answer
//   answer <group> <offset> "<text>" <size>  the same as a text in a zeroed record of <size> bytes
//   value <group> <offset> <width> <number>  the same as a little-endian number; a negative one in
//                                          two's complement
//   write <group> <offset> <size> [<read offset>]  a function taking <size> bytes; a read offset
//                                          of the group answers what was written last
//   command <group> <offset>               a function without data
//   sensor <kind> <place> <value> <flags>  the next sensor (numbered from 1)
//   eeprom hex:<bytes>                     the user EEPROM's first bytes (128 in all, the rest 0)
//   battery-date <day> <month> <year> <kept byte>  the UPS's battery change date
//   bootloader <segment> <address> "<name>" <major>.<minor>.<build>  the boot loader on the SMBus
//
// New keywords take one row in the keyword table of description.cpp.
#pragma once

#include <boardsim/control.h>

#include <board_families.h>

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace boardsim
{

struct SignaturePlacement
{
    uint32_t position = 0;    // from the start of the image
    uint32_t entryOffset = 0; // from the signature
};

struct MemoryPreset
{
    uint32_t address = 0;
    std::vector<uint8_t> bytes;
};

struct BoardDescription
{
    uint32_t version = packVersion(2, 4, 0);
    std::vector<SignaturePlacement> signatures;
    std::vector<MemoryPreset> memory;
    std::vector<FaultRequest> faults;

    std::map<uint32_t, std::array<uint32_t, 4>> cpuid;
    std::map<uint32_t, uint64_t> msrs;
    // Key: bus << 8 | slot (device in bits 0-4, function in bits 5-7).
    std::map<uint32_t, std::vector<uint8_t>> pci;
    std::map<uint16_t, uint32_t> ports;

    families::FamiliesSetup families;
};

// Parses `text`; on failure returns false with a message naming the line.
bool parseDescription(const std::string& text, BoardDescription& description, std::string& error);

} // namespace boardsim
