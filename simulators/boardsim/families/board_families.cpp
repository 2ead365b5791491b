#include "board_families.h"

#include "family_status.h"

#include <algorithm>
#include <cstring>

namespace boardsim::families
{

namespace
{

// Offsets of the user EEPROM.
constexpr uint32_t kEepromRead = 0;
constexpr uint32_t kEepromWrite = 1;
constexpr uint32_t kEepromReadByte = 2;
constexpr uint32_t kEepromWriteByte = 3;

uint32_t answer(const FamilyCall& call, const uint8_t* bytes, uint32_t size)
{
    if (!call.output || call.outputSize < size)
        return kBadParameter;
    std::memcpy(call.output, bytes, size);
    *call.returned = size;
    return kOk;
}

} // namespace

BoardFamilies::BoardFamilies(FamiliesSetup setup) : m_setup(std::move(setup)), m_smbus(m_setup.bootLoader) {}

void BoardFamilies::reset(FamiliesSetup setup)
{
    std::lock_guard guard(m_lock);
    m_smbus.reset(setup.bootLoader);
    m_setup = std::move(setup);
    m_log.clear();
    m_lost = 0;
}

std::vector<uint32_t> BoardFamilies::groups()
{
    std::vector<uint32_t> all(std::begin(kPlainGroups), std::end(kPlainGroups));
    all.push_back(kSensorGroup);
    all.push_back(kEepromGroup);
    all.push_back(kSmbusGroup);
    return all;
}

uint32_t BoardFamilies::call(const FamilyCall& call)
{
    *call.returned = 0;
    log(call);
    if (call.group == kSensorGroup)
        return sensor(call);
    if (call.group == kEepromGroup)
        return eepromCall(call);
    if (call.group == kSmbusGroup)
        return smbusCall(call);
    return plain(call);
}

uint32_t BoardFamilies::plain(const FamilyCall& call)
{
    std::lock_guard guard(m_lock);
    const FunctionKey key{call.group, call.offset};
    if (call.group == kUpsGroup && call.offset == kBatteryDateRead)
        return answer(call, reinterpret_cast<const uint8_t*>(&m_setup.batteryDate), 4);
    if (call.group == kUpsGroup && call.offset == kBatteryDateWrite)
    {
        if (!call.input || call.inputSize != 4)
            return kBadParameter;
        std::memcpy(&m_setup.batteryDate, call.input, 4);
        return kOk;
    }
    if (const auto read = m_setup.reads.find(key); read != m_setup.reads.end())
        return answer(call, read->second.data(), static_cast<uint32_t>(read->second.size()));
    if (const auto write = m_setup.writes.find(key); write != m_setup.writes.end())
    {
        if (!call.input || call.inputSize != write->second.size)
            return kBadParameter;
        if (write->second.mirrorOffset >= 0)
            m_setup.reads[{call.group, static_cast<uint32_t>(write->second.mirrorOffset)}].assign(
                call.input, call.input + call.inputSize);
        return kOk;
    }
    if (m_setup.commands.count(key))
        return call.inputSize == 0 ? kOk : kBadParameter;
    return kNotSupported;
}

uint32_t BoardFamilies::sensor(const FamilyCall& call)
{
    std::lock_guard guard(m_lock);
    const auto count = static_cast<uint32_t>(m_setup.sensors.size());
    if (call.offset == 0)
        return answer(call, reinterpret_cast<const uint8_t*>(&count), 4);
    if (call.offset > count)
        return kNotSupported;
    const SensorSetup& setup = m_setup.sensors[call.offset - 1];
    // Fourteen 32-bit words: kind, place, ..., the value and flags in word 11.
    uint32_t words[kSensorRecordSize / 4] = {};
    words[0] = setup.kind;
    words[1] = setup.place;
    words[11] = setup.value | static_cast<uint32_t>(setup.flags) << 16;
    return answer(call, reinterpret_cast<const uint8_t*>(words), kSensorRecordSize);
}

uint32_t BoardFamilies::eepromCall(const FamilyCall& call)
{
    std::lock_guard guard(m_lock);
    auto& eeprom = m_setup.eeprom;
    switch (call.offset)
    {
    case kEepromRead:
        return answer(call, eeprom.data(), kEepromSize);
    case kEepromWrite:
        // A write fills the EEPROM from its start.
        if (!call.input || call.inputSize == 0 || call.inputSize > kEepromSize)
            return kBadParameter;
        std::memcpy(eeprom.data(), call.input, call.inputSize);
        return kOk;
    case kEepromReadByte:
        if (!call.input || call.inputSize != 1 || call.input[0] >= kEepromSize)
            return kBadParameter;
        return answer(call, &eeprom[call.input[0]], 1);
    case kEepromWriteByte:
        if (!call.input || call.inputSize != 2 || call.input[0] >= kEepromSize)
            return kBadParameter;
        eeprom[call.input[0]] = call.input[1];
        return kOk;
    default:
        return kNotSupported;
    }
}

uint32_t BoardFamilies::smbusCall(const FamilyCall& call)
{
    switch (call.offset)
    {
    case kSmbusRead:
        return m_smbus.read(call.input, call.inputSize, call.output, call.outputSize, *call.returned);
    case kSmbusWrite:
        return m_smbus.write(call.input, call.inputSize);
    case kSmbusAddressByName:
        return m_smbus.addressByName(call.input, call.inputSize, call.output, call.outputSize,
                                     *call.returned);
    default:
        return kNotSupported;
    }
}

void BoardFamilies::log(const FamilyCall& call)
{
    std::lock_guard guard(m_lock);
    LoggedCall entry{call.group, call.offset, call.outputSize, {}};
    if (call.input && call.inputSize > 0)
        entry.input.assign(call.input, call.input + call.inputSize);
    m_log.push_back(std::move(entry));
    while (m_log.size() > kLogCapacity)
    {
        m_log.pop_front();
        ++m_lost;
    }
}

std::vector<LoggedCall> BoardFamilies::takeLog(uint32_t* lost)
{
    std::lock_guard guard(m_lock);
    std::vector<LoggedCall> taken(m_log.begin(), m_log.end());
    if (lost)
        *lost = m_lost;
    m_log.clear();
    m_lost = 0;
    return taken;
}

std::array<uint8_t, kEepromSize> BoardFamilies::eeprom() const
{
    std::lock_guard guard(m_lock);
    return m_setup.eeprom;
}

} // namespace boardsim::families
