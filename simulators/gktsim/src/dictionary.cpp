#include "dictionary.h"

#include <cmath>
#include <cstring>
#include <numbers>

namespace gktsim
{

namespace
{

bool isSignedType(uint16_t type)
{
    return type == 2 || type == 3 || type == 4;
}

bool isRealType(uint16_t type)
{
    return type == 8 || type == 11;
}

void putLittleEndian(uint64_t value, uint32_t size, std::vector<uint8_t>& bytes)
{
    bytes.resize(size);
    for (uint32_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

} // namespace

uint32_t gktTypeSize(uint16_t type)
{
    switch (type)
    {
    case 1:
    case 2:
    case 5:
        return 1;
    case 3:
    case 6:
        return 2;
    case 4:
    case 7:
    case 8:
    case 40:
        return 4;
    case 9:
    case 10:
        return 512;
    case 11:
    case 27:
        return 8;
    case 22:
        return 3;
    case 24:
        return 5;
    case 25:
        return 6;
    case 26:
        return 7;
    default:
        return type >= 48 && type <= 55 ? 1 : 0;
    }
}

bool gktTypeIsString(uint16_t type)
{
    return type == 9 || type == 10;
}

bool encodeInteger(uint16_t type, bool negative, uint64_t magnitude, std::vector<uint8_t>& bytes)
{
    const uint32_t size = gktTypeSize(type);
    if (size == 0 || size > 8 || gktTypeIsString(type))
        return false;
    if (isRealType(type))
        return encodeReal(type, negative ? -static_cast<double>(magnitude) : static_cast<double>(magnitude),
                          bytes);
    if (type == 1 && magnitude > 1)
        return false;
    const unsigned bits = 8 * size;
    if (isSignedType(type))
    {
        const uint64_t limit = uint64_t{1} << (bits - 1); // |min|; max is limit - 1
        if (negative ? magnitude > limit : magnitude >= limit)
            return false;
        const uint64_t value = negative ? ~magnitude + 1 : magnitude;
        putLittleEndian(value, size, bytes);
        return true;
    }
    if (negative && magnitude != 0)
        return false;
    if (bits < 64 && magnitude >> bits)
        return false;
    putLittleEndian(magnitude, size, bytes);
    return true;
}

bool encodeReal(uint16_t type, double number, std::vector<uint8_t>& bytes)
{
    if (!std::isfinite(number))
        return false;
    if (type == 8)
    {
        const float value = static_cast<float>(number);
        bytes.resize(4);
        std::memcpy(bytes.data(), &value, 4);
        return true;
    }
    if (type == 11)
    {
        bytes.resize(8);
        std::memcpy(bytes.data(), &number, 8);
        return true;
    }
    const double rounded = std::round(number);
    if (std::fabs(rounded) >= 18446744073709551616.0)
        return false;
    return encodeInteger(type, rounded < 0, static_cast<uint64_t>(std::fabs(rounded)), bytes);
}

Dictionary::Dictionary() : m_start(std::chrono::steady_clock::now()) {}

bool Dictionary::addObject(Object object)
{
    for (size_t i = 0; i < object.entries.size(); ++i)
        if (object.entries[i].subindex != i)
            return false;
    if (object.entries.size() > 255)
        return false;
    std::lock_guard guard(m_lock);
    return m_objects.emplace(object.index, std::move(object)).second;
}

std::vector<uint16_t> Dictionary::objectIndices() const
{
    std::lock_guard guard(m_lock);
    std::vector<uint16_t> indices;
    for (const auto& [index, object] : m_objects)
        indices.push_back(index);
    return indices;
}

std::optional<Object> Dictionary::describeObject(uint16_t index) const
{
    std::lock_guard guard(m_lock);
    auto it = m_objects.find(index);
    if (it == m_objects.end())
        return std::nullopt;
    Object copy = it->second;
    for (auto& entry : copy.entries)
        entry.value.clear();
    return copy;
}

std::optional<Entry> Dictionary::describeEntry(uint16_t index, uint8_t subindex) const
{
    std::lock_guard guard(m_lock);
    const Entry* entry = findEntry(index, subindex);
    if (!entry)
        return std::nullopt;
    Entry copy = *entry;
    copy.value.clear();
    return copy;
}

const Entry* Dictionary::findEntry(uint16_t index, uint8_t subindex) const
{
    auto it = m_objects.find(index);
    if (it == m_objects.end() || subindex >= it->second.entries.size())
        return nullptr;
    return &it->second.entries[subindex];
}

std::vector<uint8_t> Dictionary::currentValue(const Entry& entry) const
{
    if (!entry.live)
        return entry.value;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    const LiveValue& live = *entry.live;
    double number = 0;
    if (live.shape == LiveValue::Shape::wave)
        number = live.a + (live.b - live.a) * (1 + std::sin(2 * std::numbers::pi * seconds / live.c)) / 2;
    else
        number = live.a + live.b * seconds;
    std::vector<uint8_t> bytes;
    if (!isRealType(entry.type))
        number = std::floor(number);
    if (!encodeReal(entry.type, number, bytes))
        return entry.value;
    return bytes;
}

int32_t Dictionary::read(uint16_t index, uint8_t subindex, uint8_t* out, uint32_t capacity,
                         uint32_t& length) const
{
    length = 0;
    std::lock_guard guard(m_lock);
    const Entry* entry = findEntry(index, subindex);
    if (!entry)
        return kStatusInvalidIndex;
    if (!entry->readable)
        return kStatusInvalidAccess;
    const std::vector<uint8_t> value = currentValue(*entry);
    if (value.size() > capacity)
        return kStatusBufferTooSmall;
    std::memcpy(out, value.data(), value.size());
    length = static_cast<uint32_t>(value.size());
    return 0;
}

int32_t Dictionary::write(uint16_t index, uint8_t subindex, const uint8_t* data, uint32_t length)
{
    std::lock_guard guard(m_lock);
    Entry* entry = const_cast<Entry*>(findEntry(index, subindex));
    if (!entry)
        return kStatusInvalidIndex;
    if (!entry->writable || entry->live)
        return kStatusInvalidAccess;
    if (gktTypeIsString(entry->type))
    {
        // A text is taken up to its first zero, and kept with one terminating zero.
        if (length == 0 || length > gktTypeSize(entry->type))
            return kStatusInvalidData;
        const size_t textLength = ::strnlen(reinterpret_cast<const char*>(data), length);
        if (textLength == gktTypeSize(entry->type))
            return kStatusInvalidData;
        entry->value.assign(data, data + textLength);
        entry->value.push_back(0);
        return 0;
    }
    if (length != gktTypeSize(entry->type))
        return kStatusInvalidData;
    entry->value.assign(data, data + length);
    return 0;
}

} // namespace gktsim
