#include "uabytearray.h"
#include "hextext.h"
#include "uastring.h"

#include <cstdlib>
#include <cstring>
#include <new>

UaByteArray::Record* UaByteArray::emptyRecord()
{
    static Record record{{1}, 0, 0, nullptr};
    return &record;
}

UaByteArray::Record* UaByteArray::makeRecord(const char* data, int size, int capacity)
{
    if (capacity <= 0)
    {
        emptyRecord()->refCount.fetch_add(1);
        return emptyRecord();
    }
    char* block = static_cast<char*>(std::calloc(static_cast<std::size_t>(capacity), 1));
    if (block == nullptr)
        return nullptr;
    if (data != nullptr && size > 0)
        std::memcpy(block, data, static_cast<std::size_t>(size));
    auto* record = new (std::nothrow) Record{{1}, size, capacity, block};
    if (record == nullptr)
        std::free(block);
    return record;
}

void UaByteArray::release(Record* record)
{
    if (record->refCount.fetch_sub(1) == 1)
    {
        std::free(record->data);
        delete record;
    }
}

UaByteArray::UaByteArray() : m_record(emptyRecord()) { m_record->refCount.fetch_add(1); }

UaByteArray::UaByteArray(const char* data, int length) : UaByteArray()
{
    if (length <= 0)
        return;
    Record* record = makeRecord(data, length, length);
    if (record == nullptr)
        return;
    release(m_record);
    m_record = record;
}

UaByteArray::UaByteArray(const OpcUa_ByteString& byteString)
    : UaByteArray(reinterpret_cast<const char*>(byteString.Data), byteString.Data ? byteString.Length : 0)
{
}

UaByteArray::UaByteArray(const UaByteArray& other) : m_record(other.m_record) { m_record->refCount.fetch_add(1); }

UaByteArray& UaByteArray::operator=(const UaByteArray& other)
{
    other.m_record->refCount.fetch_add(1);
    release(m_record);
    m_record = other.m_record;
    return *this;
}

UaByteArray::~UaByteArray() { release(m_record); }

bool UaByteArray::detach()
{
    if (m_record->refCount.load() == 1 || m_record->capacity == 0)
        return true;
    Record* copy = makeRecord(m_record->data, m_record->size, m_record->capacity);
    if (copy == nullptr)
        return false;
    release(m_record);
    m_record = copy;
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
    Record* grown = makeRecord(m_record->data, keep, size);
    if (grown == nullptr)
        return false;
    grown->size = size;
    release(m_record);
    m_record = grown;
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
    std::string text = HexText::bytes(reinterpret_cast<const unsigned char*>(data()), static_cast<std::size_t>(size()),
                                      withBlanks);
    return UaString(text.c_str());
}
