#include "requests.h"

#include <algorithm>
#include <cstring>

namespace gktsim
{

namespace
{

uint16_t get16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t get32(const uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void put16(uint8_t* p, uint16_t value)
{
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

void put32(uint8_t* p, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(value >> (8 * i));
}

IoResult fail(uint32_t error)
{
    return {error, 0};
}

// A block is a 14-byte header (status, length, reserved, index, flags,
// subindex) and `length` data bytes, all within the buffer.
bool blockFits(const uint8_t* block, uint32_t size)
{
    return block && size >= kHeaderSize && get32(block + 4) <= size - kHeaderSize;
}

IoResult readWrite(Dictionary& dictionary, const IoRequest& request)
{
    const bool hasWrite = request.inSize > 0;
    const bool hasRead = request.outSize > 0;
    if ((!hasWrite && !hasRead) || (hasWrite && !blockFits(request.in, request.inSize)) ||
        (hasRead && !blockFits(request.out, request.outSize)))
        return fail(kErrorInvalidParameter);
    // The write goes first, so a combined request reads what it wrote.
    if (hasWrite)
    {
        uint8_t* block = request.in;
        const int32_t status =
            dictionary.write(get16(block + 10), block[13], block + kHeaderSize, get32(block + 4));
        put32(block, static_cast<uint32_t>(status));
    }
    if (!hasRead)
        return {0, 0};
    uint8_t* block = request.out;
    uint32_t length = 0;
    const int32_t status =
        dictionary.read(get16(block + 10), block[13], block + kHeaderSize, get32(block + 4), length);
    put32(block, static_cast<uint32_t>(status));
    put32(block + 4, length);
    return {0, kHeaderSize + length};
}

// Selector 0: five 16-bit list lengths, the first the number of all objects;
// selector 1: the indices of all objects in ascending order.
IoResult objectList(Dictionary& dictionary, const IoRequest& request)
{
    if (!request.in || request.inSize < 2 || !request.out)
        return fail(kErrorInvalidParameter);
    const std::vector<uint16_t> indices = dictionary.objectIndices();
    const uint16_t selector = get16(request.in);
    if (selector == 0)
    {
        if (request.outSize < 2)
            return fail(kErrorInsufficientBuffer);
        uint8_t lengths[10] = {};
        put16(lengths, static_cast<uint16_t>(indices.size()));
        const uint32_t size = std::min<uint32_t>(request.outSize, sizeof lengths);
        std::memcpy(request.out, lengths, size);
        return {0, size};
    }
    if (selector != 1)
        return fail(kErrorInvalidParameter);
    if (request.outSize < 2 * indices.size())
        return fail(kErrorInsufficientBuffer);
    for (size_t i = 0; i < indices.size(); ++i)
        put16(request.out + 2 * i, indices[i]);
    return {0, static_cast<uint32_t>(2 * indices.size())};
}

// Byte 0 object code, bytes 1-2 the object's data type, byte 3 the number of
// entries, then the name without a terminating zero. A name that does not fit
// is cut, and the bytes returned tell the room the whole description needs.
IoResult objectDescription(Dictionary& dictionary, const IoRequest& request)
{
    if (!request.in || request.inSize < 6 || !request.out)
        return fail(kErrorInvalidParameter);
    if (request.outSize < 4)
        return fail(kErrorInsufficientBuffer);
    const auto object = dictionary.describeObject(get16(request.in));
    if (!object)
        return fail(kErrorNotFound);
    request.out[0] = object->code;
    put16(request.out + 1, object->dataType);
    request.out[3] = static_cast<uint8_t>(object->entries.size());
    const uint32_t room = request.outSize - 4;
    std::memcpy(request.out + 4, object->name.data(), std::min<size_t>(room, object->name.size()));
    return {0, static_cast<uint32_t>(4 + object->name.size())};
}

// Layout in the caller's buffer: 0 size of the description, 4 the caller's
// 16-bit value echoed, 6 data type, 8 length in bits, 10 access (bit 0 read,
// bit 1 write), 12-27 zero, 28 offset of the zero-terminated name (32).
IoResult entryDescription(Dictionary& dictionary, const IoRequest& request)
{
    constexpr uint32_t kNameOffset = 32;
    if (!request.in || request.inSize < 9 || !request.out || request.outSize < 36)
        return fail(kErrorInvalidParameter);
    const auto entry = dictionary.describeEntry(get16(request.in), request.in[2]);
    if (!entry)
        return fail(kErrorNotFound);
    const uint32_t size = kNameOffset + static_cast<uint32_t>(entry->name.size()) + 1;
    if (size > request.outSize)
        return fail(kErrorInsufficientBuffer);
    const uint16_t echo = get16(request.in + 7);
    std::memset(request.out, 0, size);
    put32(request.out, size);
    put16(request.out + 4, echo);
    put16(request.out + 6, entry->type);
    put16(request.out + 8, static_cast<uint16_t>(8 * gktTypeSize(entry->type)));
    put16(request.out + 10, static_cast<uint16_t>((entry->readable ? 1 : 0) | (entry->writable ? 2 : 0)));
    put32(request.out + 28, kNameOffset);
    std::memcpy(request.out + kNameOffset, entry->name.c_str(), entry->name.size() + 1);
    return {0, size};
}

} // namespace

IoResult handleRequest(Dictionary& dictionary, const IoRequest& request)
{
    switch (request.code)
    {
    case kIoctlReadWrite:
        return readWrite(dictionary, request);
    case kIoctlObjectList:
        return objectList(dictionary, request);
    case kIoctlObjectDescription:
        return objectDescription(dictionary, request);
    case kIoctlEntryDescription:
        return entryDescription(dictionary, request);
    default:
        return fail(kErrorNotSupported);
    }
}

} // namespace gktsim
