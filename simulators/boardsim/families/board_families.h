// The device families of the simulated board's firmware: mainboard data,
// sensors, GPIO, power controller, S-UPS, watchdog, user EEPROM, LEDs,
// power-supply unit, UPS and the SMBus with its boot loader. Most functions
// answer fixed bytes or take fixed-size writes, as the board's description
// sets them up; the sensors, the EEPROM, the battery date and the SMBus have
// behaviour of their own. Every call is logged for tests.
#pragma once

#include "smbus_family.h"

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

namespace boardsim::families
{

// Index groups of the families.
constexpr uint32_t kMainboardGroup = 0x0000;
constexpr uint32_t kSensorGroup = 0x2000;
constexpr uint32_t kEepromGroup = 0x7000;
constexpr uint32_t kUpsGroup = 0x9001;
// Groups whose functions the description sets up one by one.
constexpr uint32_t kPlainGroups[] = {0x0000, 0x3000, 0x4000, 0x5000, 0x6000, 0x8000, 0x9000, 0x9001};

constexpr uint32_t kEepromSize = 128;
constexpr uint32_t kSensorRecordSize = 56;
// The UPS's battery change date: read at one offset, written at the next.
constexpr uint32_t kBatteryDateRead = 151;
constexpr uint32_t kBatteryDateWrite = 152;

using FunctionKey = std::pair<uint32_t, uint32_t>; // group, offset

struct WriteSetup
{
    uint32_t size = 1;         // the data a write takes
    int64_t mirrorOffset = -1; // a read of the group that answers what was written last
};

struct SensorSetup
{
    uint32_t kind = 0;
    uint32_t place = 0;
    uint16_t value = 0;
    uint16_t flags = 0;
};

struct FamiliesSetup
{
    std::map<FunctionKey, std::vector<uint8_t>> reads; // fixed answers
    std::map<FunctionKey, WriteSetup> writes;
    std::set<FunctionKey> commands; // no data either way
    std::vector<SensorSetup> sensors;
    std::array<uint8_t, kEepromSize> eeprom{};
    uint32_t batteryDate = 0;
    BootLoaderSetup bootLoader;
};

// One call of the firmware API as the families see it.
struct FamilyCall
{
    uint32_t group;
    uint32_t offset;
    const uint8_t* input;
    uint32_t inputSize;
    uint8_t* output;
    uint32_t outputSize;
    uint32_t* returned;
};

// A call as it reached the families.
struct LoggedCall
{
    uint32_t group;
    uint32_t offset;
    uint32_t outputSize;
    std::vector<uint8_t> input;
};

class BoardFamilies
{
public:
    explicit BoardFamilies(FamiliesSetup setup = {});

    // Back to the setup: what was written is forgotten, the log emptied.
    void reset(FamiliesSetup setup);

    // The index groups the families answer.
    static std::vector<uint32_t> groups();

    // Answers one call: writes at most the output size and sets the count.
    uint32_t call(const FamilyCall& call);

    SmbusFamily& smbus() { return m_smbus; }

    // The calls since the last take, oldest first; at most kLogCapacity are
    // kept, and `lost` counts the older ones that gave way.
    static constexpr size_t kLogCapacity = 256;
    std::vector<LoggedCall> takeLog(uint32_t* lost = nullptr);
    std::array<uint8_t, kEepromSize> eeprom() const;

private:
    uint32_t plain(const FamilyCall& call);
    uint32_t sensor(const FamilyCall& call);
    uint32_t eepromCall(const FamilyCall& call);
    uint32_t smbusCall(const FamilyCall& call);
    void log(const FamilyCall& call);

    mutable std::mutex m_lock;
    FamiliesSetup m_setup;
    SmbusFamily m_smbus;
    std::deque<LoggedCall> m_log;
    uint32_t m_lost = 0;
};

} // namespace boardsim::families
