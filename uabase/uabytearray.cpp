#include "uabytearray.h"
#include "hextext.h"
#include "uastring.h"

#include <cstdlib>
#include <cstring>
#include <new>

UaByteArrayRecord* UaByteArrayRecord::empty()
{
    static UaByteArrayRecord record{{kImmortalRefCount}, 0, 0, nullptr};
    return &record;
}

void UaByteArrayRecord::destroy(UaByteArrayRecord* record)
{
    std::free(record->data);
    delete record;
}

UaByteArrayRecord* UaByteArray::makeRecord(const char* data, int size, int capacity)
{
    if (capacity <= 0)
        return sharedEmpty();
    char* block = static_cast<char*>(std::calloc(static_cast<std::size_t>(capacity), 1));
    if (block == nullptr)
        return nullptr;
    if (data != nullptr && size > 0)
        std::memcpy(block, data, static_cast<std::size_t>(size));
    auto* record = new (std::nothrow) UaByteArrayRecord{{1}, size, capacity, block};
    if (record == nullptr)
        std::free(block);
    return record;
}

UaByteArray::UaByteArray() = default;

UaByteArray::UaByteArray(const char* data, int length)
{
    if (length > 0)
        adopt(makeRecord(data, length, length));
}

UaByteArray::UaByteArray(const OpcUa_ByteString& byteString)
    : UaByteArray(reinterpret_cast<const char*>(byteString.Data), byteString.Data ? byteString.Length : 0)
{
}

bool UaByteArray::detach()
{
    if (m_record->refCount.load() == 1 || m_record->capacity == 0)
        return true;
    UaByteArrayRecord* copy = makeRecord(m_record->data, m_record->size, m_record->capacity);
    if (copy == nullptr)
        return false;
    adopt(copy);
    return true;
}

char* UaByteArray::data()
{
    if (!detach())
        return nullptr;
    return m_record->data;
}

bool UaByteArray::resize(int size)
{
    if (size < 0)
        return false;
    if (size <= m_record->capacity && detach())
    {
        if (size > m_record->size)
            std::memset(m_record->data + m_record->size, 0, static_cast<std::size_t>(size - m_record->size));
        m_record->size = size;
        return true;
    }
    int keep = size < m_record->size ? size : m_record->size;
    UaByteArrayRecord* grown = makeRecord(m_record->data, keep, size);
    if (grown == nullptr)
        return false;
    grown->size = size;
    adopt(grown);
    return true;
}

bool UaByteArray::operator==(const UaByteArray& other) const
{
    return size() == other.size() &&
           (size() == 0 || std::memcmp(data(), other.data(), static_cast<std::size_t>(size())) == 0);
}

UaString UaByteArray::toHex(bool withBlanks) const
{
    if (data() == nullptr || size() <= 0)
        return UaString();
    std::string text = HexText::bytes(reinterpret_cast<const unsigned char*>(data()),
                                      static_cast<std::size_t>(size()), withBlanks);
    return UaString(text.c_str());
}
