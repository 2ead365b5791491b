// The simulated device's object dictionary: objects by 16-bit index, entries
// by 8-bit subindex, each entry with a Gkt data type, access and value.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace gktsim
{

// Status codes the device answers in a read-write block.
constexpr int32_t kStatusInvalidIndex = static_cast<int32_t>(0xECA60100);
constexpr int32_t kStatusInvalidAccess = static_cast<int32_t>(0xECA60101);
constexpr int32_t kStatusBufferTooSmall = static_cast<int32_t>(0xECA60102);
constexpr int32_t kStatusInvalidData = static_cast<int32_t>(0xECA60106);

// Fixed byte size of a Gkt data type; for the string types the largest value.
// 0 for an unknown type.
uint32_t gktTypeSize(uint16_t type);
bool gktTypeIsString(uint16_t type);

// A value that changes with time since the device started.
struct LiveValue
{
    enum class Shape
    {
        wave, // a = low, b = high, c = period in seconds
        ramp, // a = start, b = change per second
    } shape = Shape::wave;
    double a = 0, b = 0, c = 1;
};

struct Entry
{
    uint8_t subindex = 0;
    uint16_t type = 0;
    bool readable = true;
    bool writable = false;
    std::vector<uint8_t> value; // little-endian bytes; strings with their terminating zero
    std::optional<LiveValue> live;
    std::string name;
};

struct Object
{
    uint16_t index = 0;
    uint8_t code = 7; // 7 variable, 8 array, 9 record
    uint16_t dataType = 0;
    std::string name;
    std::vector<Entry> entries; // by subindex, 0..n-1
};

class Dictionary
{
public:
    Dictionary();

    // Adds an object; false when the index is taken or the subindices are not 0..n-1.
    bool addObject(Object object);

    std::vector<uint16_t> objectIndices() const;
    std::optional<Object> describeObject(uint16_t index) const; // without values
    std::optional<Entry> describeEntry(uint16_t index, uint8_t subindex) const;

    // Read into `out` (capacity `capacity`); returns a status, fills `length`.
    int32_t read(uint16_t index, uint8_t subindex, uint8_t* out, uint32_t capacity, uint32_t& length) const;
    int32_t write(uint16_t index, uint8_t subindex, const uint8_t* data, uint32_t length);

private:
    const Entry* findEntry(uint16_t index, uint8_t subindex) const;
    std::vector<uint8_t> currentValue(const Entry& entry) const;

    mutable std::mutex m_lock;
    std::map<uint16_t, Object> m_objects;
    std::chrono::steady_clock::time_point m_start;
};

// Encode a number into the bytes of a numeric Gkt type; false when the type
// is not numeric or the number doesn't fit. Integer types round a real number.
bool encodeReal(uint16_t type, double number, std::vector<uint8_t>& bytes);
bool encodeInteger(uint16_t type, bool negative, uint64_t magnitude, std::vector<uint8_t>& bytes);

} // namespace gktsim
