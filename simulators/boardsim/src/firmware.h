// The simulated firmware's API: the routine behind the entry marker. Each
// function is one (index group, index offset) pair, or a whole group, in a
// table that the function sets fill when the board starts
// (firmware_functions.cpp lists them).
#pragma once

#include "faults.h"

#include <board_families.h>

#include <ddk/board.h>
#include <ddk/firmware.h>

#include <functional>
#include <map>
#include <mutex>
#include <utility>

namespace boardsim
{

// Statuses the firmware answers.
constexpr DWORD kStatusOk = 0;
constexpr DWORD kStatusNotSupported = 1793;
constexpr DWORD kStatusBadParameter = 1797;
constexpr DWORD kStatusBusy = 1800;
constexpr DWORD kStatusNoMapping = 1802;

// The routine number of the API entry in the entry marker.
constexpr uint32_t kApiRoutine = 1;

// The operating-system services the driver registered, from the table or one by one.
struct Services
{
    FIRMWARE_READMSR readMsr = nullptr;
    FIRMWARE_GETBUSDT busData = nullptr;
    FIRMWARE_MAPMEM mapMemory = nullptr;
    FIRMWARE_UNMAPMEM unmapMemory = nullptr;
};

class Firmware
{
public:
    // A function answers one call: it may write up to the output size and sets the count.
    using Function = std::function<DWORD(const ddk::FirmwareCall& call)>;

    explicit Firmware(uint32_t version) : m_version(version) {}

    // Only while the board starts, before any call.
    void addFunction(DWORD group, DWORD offset, Function function);
    // Answers every offset of the group that has no function of its own.
    void addGroup(DWORD group, Function function);

    // One call of the API entry; false when it ends in a processor exception.
    bool call(const ddk::FirmwareCall& call, DWORD& status);

    FaultTable& faults() { return m_faults; }
    // The device families (sensors, EEPROM, SMBus, ...), set up by their installer.
    families::BoardFamilies& families() { return m_families; }

    uint32_t version() const;
    void setVersion(uint32_t version);

    Services services() const;
    // The registration functions of index group 0.
    DWORD registerTable(const uint8_t* table, DWORD size);
    DWORD withdrawTable();
    DWORD registerSingle(DWORD offset, uint64_t address);
    void noteHandshake();

    // Everything but the open mappings, which the memory counts.
    BoardState state() const;

private:
    void noteCall(const ddk::FirmwareCall& call);

    std::map<std::pair<DWORD, DWORD>, Function> m_functions;
    std::map<DWORD, Function> m_groups;
    FaultTable m_faults;
    families::BoardFamilies m_families;

    mutable std::mutex m_lock;
    uint32_t m_version;
    Services m_table; // from the registered table
    uint32_t m_tableNames = 0;
    Services m_singles;   // registered one by one
    BoardState m_state{}; // counters and the last call
};

// The outputs of a call as one little-endian 32-bit value each; false when the output is too small.
bool putWords(const ddk::FirmwareCall& call, std::initializer_list<uint32_t> words);

} // namespace boardsim
