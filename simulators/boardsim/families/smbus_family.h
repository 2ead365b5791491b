// The SMBus of the simulated board (firmware index group 0xF000) with one
// device on it, a boot loader. Requests carry the 8-byte SMBus header:
// segment, device address, transfer kind, command, then the data length;
// writes append the data.
//
// The boot loader answers:
//   0xA0 read: its mode byte (bit 0 = loader mode);   0xA1 write: a new mode
//   0xA2 read: version (major, minor, build);          0xA3 read: its name (16 bytes)
//   0xA5 write: one hex record, taken only in loader mode and with a correct checksum
//   0xA6 read: the answer to the last record: status (0 = taken), record type,
//        address high, address low
// Test controls shorten answers, lock the mode and show what reached it.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace boardsim::families
{

// Offsets of the SMBus group.
constexpr uint32_t kSmbusGroup = 0xF000;
constexpr uint32_t kSmbusRead = 0;
constexpr uint32_t kSmbusWrite = 1;
constexpr uint32_t kSmbusAddressByName = 2;

// Statuses of a record in the answer to 0xA6.
constexpr uint8_t kRecordTaken = 0;
constexpr uint8_t kRecordNotInLoaderMode = 1;
constexpr uint8_t kRecordBadChecksum = 2;
constexpr uint8_t kRecordNone = 3;

struct BootLoaderSetup
{
    uint8_t segment = 0;
    uint8_t address = 0x50;
    std::string name = "PSU-LOADER";
    uint8_t version[3] = {1, 4, 2};
    uint8_t mode = 0;
    bool modeLocked = false; // a request for another mode is taken but has no effect
};

class SmbusFamily
{
public:
    explicit SmbusFamily(BootLoaderSetup setup = {});

    // Back to the setup, with no records taken and no test controls.
    void reset(BootLoaderSetup setup);

    // The three functions of the group; statuses of family_status.h.
    uint32_t read(const uint8_t* input, uint32_t inputSize, uint8_t* output, uint32_t outputSize,
                  uint32_t& count);
    uint32_t write(const uint8_t* input, uint32_t inputSize);
    uint32_t addressByName(const uint8_t* input, uint32_t inputSize, uint8_t* output, uint32_t outputSize,
                           uint32_t& count);

    // Test controls.
    // After `skip` full answers, the next `times` reads of `command` deliver only `length` bytes.
    void shortenAnswers(uint8_t command, uint32_t length, uint32_t times, uint32_t skip = 0);
    // The status the next record is answered with, whatever it holds.
    void failNextRecord(uint8_t status);
    void lockMode(bool locked);
    // The records taken in loader mode, each as it arrived.
    std::vector<std::vector<uint8_t>> records() const;
    uint8_t mode() const;

private:
    struct Shortening
    {
        uint32_t length;
        uint32_t times;
        uint32_t skip;
    };

    bool isBootLoader(const uint8_t* header) const;
    uint32_t answerLength(uint8_t command, uint32_t full);
    void takeRecord(const uint8_t* data, uint32_t length);

    mutable std::mutex m_lock;
    BootLoaderSetup m_setup;
    std::map<uint8_t, Shortening> m_shortenings;
    std::vector<std::vector<uint8_t>> m_records;
    uint8_t m_answer[4] = {kRecordNone, 0, 0, 0};
    int m_forcedStatus = -1;
};

} // namespace boardsim::families
