#include "smbus_family.h"

#include "family_status.h"

#include <algorithm>
#include <cstring>

namespace boardsim::families
{

namespace
{

constexpr uint32_t kHeaderSize = 8;
constexpr uint32_t kNameSize = 16;
constexpr uint8_t kGetMode = 0xA0;
constexpr uint8_t kSetMode = 0xA1;
constexpr uint8_t kGetVersion = 0xA2;
constexpr uint8_t kGetName = 0xA3;
constexpr uint8_t kRequest = 0xA5;
constexpr uint8_t kResponse = 0xA6;

uint32_t lengthOf(const uint8_t* header)
{
    uint32_t length = 0;
    std::memcpy(&length, header + 4, sizeof length);
    return length;
}

// A record: byte count, address, type, data, checksum, summing to 0.
bool checksumHolds(const uint8_t* data, uint32_t length)
{
    if (length < 5 || data[0] != length - 5)
        return false;
    uint8_t sum = 0;
    for (uint32_t i = 0; i < length; ++i)
        sum = static_cast<uint8_t>(sum + data[i]);
    return sum == 0;
}

} // namespace

SmbusFamily::SmbusFamily(BootLoaderSetup setup) : m_setup(std::move(setup)) {}

void SmbusFamily::reset(BootLoaderSetup setup)
{
    std::lock_guard guard(m_lock);
    m_setup = std::move(setup);
    m_shortenings.clear();
    m_records.clear();
    m_answer[0] = kRecordNone;
    m_answer[1] = m_answer[2] = m_answer[3] = 0;
    m_forcedStatus = -1;
}

bool SmbusFamily::isBootLoader(const uint8_t* header) const
{
    return header[0] == m_setup.segment && header[1] == m_setup.address;
}

uint32_t SmbusFamily::answerLength(uint8_t command, uint32_t full)
{
    const auto found = m_shortenings.find(command);
    if (found == m_shortenings.end() || found->second.times == 0)
        return full;
    if (found->second.skip > 0)
    {
        --found->second.skip;
        return full;
    }
    --found->second.times;
    return std::min(full, found->second.length);
}

uint32_t SmbusFamily::read(const uint8_t* input, uint32_t inputSize, uint8_t* output, uint32_t outputSize,
                           uint32_t& count)
{
    count = 0;
    if (!input || inputSize != kHeaderSize || lengthOf(input) > outputSize)
        return kBadParameter;
    std::lock_guard guard(m_lock);
    if (!isBootLoader(input))
        return kNotSupported;
    uint8_t answer[kNameSize] = {};
    uint32_t full = 0;
    switch (input[3])
    {
    case kGetMode:
        answer[0] = m_setup.mode;
        full = 1;
        break;
    case kGetVersion:
        std::memcpy(answer, m_setup.version, 3);
        full = 3;
        break;
    case kGetName:
        std::memcpy(answer, m_setup.name.data(), std::min<size_t>(m_setup.name.size(), kNameSize));
        full = kNameSize;
        break;
    case kResponse:
        std::memcpy(answer, m_answer, sizeof m_answer);
        full = sizeof m_answer;
        break;
    default:
        return kNotSupported;
    }
    count = std::min(answerLength(input[3], full), lengthOf(input));
    std::memcpy(output, answer, count);
    return kOk;
}

uint32_t SmbusFamily::write(const uint8_t* input, uint32_t inputSize)
{
    if (!input || inputSize < kHeaderSize || lengthOf(input) != inputSize - kHeaderSize)
        return kBadParameter;
    std::lock_guard guard(m_lock);
    if (!isBootLoader(input))
        return kNotSupported;
    const uint8_t* data = input + kHeaderSize;
    const uint32_t length = inputSize - kHeaderSize;
    switch (input[3])
    {
    case kSetMode:
        if (length != 1)
            return kBadParameter;
        if (!m_setup.modeLocked)
            m_setup.mode = data[0];
        return kOk;
    case kRequest:
        takeRecord(data, length);
        return kOk;
    default:
        return kNotSupported;
    }
}

void SmbusFamily::takeRecord(const uint8_t* data, uint32_t length)
{
    uint8_t status = kRecordTaken;
    if ((m_setup.mode & 1) == 0)
        status = kRecordNotInLoaderMode;
    else if (!checksumHolds(data, length))
        status = kRecordBadChecksum;
    if (m_forcedStatus >= 0)
    {
        status = static_cast<uint8_t>(m_forcedStatus);
        m_forcedStatus = -1;
    }
    if (status == kRecordTaken)
        m_records.emplace_back(data, data + length);
    m_answer[0] = status;
    m_answer[1] = length > 3 ? data[3] : 0;
    m_answer[2] = length > 1 ? data[1] : 0;
    m_answer[3] = length > 2 ? data[2] : 0;
}

uint32_t SmbusFamily::addressByName(const uint8_t* input, uint32_t inputSize, uint8_t* output,
                                    uint32_t outputSize, uint32_t& count)
{
    count = 0;
    if (!input || inputSize == 0 || input[inputSize - 1] != 0 || !output || outputSize < 2)
        return kBadParameter;
    std::lock_guard guard(m_lock);
    if (m_setup.name != reinterpret_cast<const char*>(input))
        return kNotSupported;
    output[0] = m_setup.segment;
    output[1] = m_setup.address;
    count = 2;
    return kOk;
}

void SmbusFamily::shortenAnswers(uint8_t command, uint32_t length, uint32_t times, uint32_t skip)
{
    std::lock_guard guard(m_lock);
    m_shortenings[command] = {length, times, skip};
}

void SmbusFamily::failNextRecord(uint8_t status)
{
    std::lock_guard guard(m_lock);
    m_forcedStatus = status;
}

void SmbusFamily::lockMode(bool locked)
{
    std::lock_guard guard(m_lock);
    m_setup.modeLocked = locked;
}

std::vector<std::vector<uint8_t>> SmbusFamily::records() const
{
    std::lock_guard guard(m_lock);
    return m_records;
}

uint8_t SmbusFamily::mode() const
{
    std::lock_guard guard(m_lock);
    return m_setup.mode;
}

} // namespace boardsim::families
