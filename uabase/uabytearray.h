#ifndef UABASE_UABYTEARRAY_H
#define UABASE_UABYTEARRAY_H

#include "uasharedhandle.h"

#include <opcua.h>

#include <atomic>
#include <cstdint>

class UaString;

struct UaByteArrayRecord
{
    std::atomic<std::uint32_t> refCount;
    int size;
    int capacity;
    char* data;
    static UaByteArrayRecord* empty();
    static void destroy(UaByteArrayRecord* record);
};

// Shared block of bytes from the runtime heap; a change first gives the array a block of its own.
class UaByteArray : public UaSharedHandle<UaByteArrayRecord>
{
public:
    UaByteArray();
    UaByteArray(const char* data, int length);
    explicit UaByteArray(const OpcUa_ByteString& byteString);

    int size() const { return m_record->size; }
    // Null for an array that never had bytes.
    const char* data() const { return m_record->data; }
    char* data();
    // Keeps the first bytes; new bytes are 0. False when memory runs out (the array is unchanged).
    bool resize(int size);
    bool operator==(const UaByteArray& other) const;
    bool operator!=(const UaByteArray& other) const { return !(*this == other); }

    // Two upper-case hexadecimal digits per byte, with blanks between the pairs when asked.
    UaString toHex(bool withBlanks) const;

private:
    static UaByteArrayRecord* makeRecord(const char* data, int size, int capacity);
    bool detach();
};

#endif
