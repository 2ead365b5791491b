#ifndef UABASE_UASTRING_H
#define UABASE_UASTRING_H

#include "uachar.h"
#include "uasharedhandle.h"

#include <opcua.h>

#include <atomic>

class UaByteArray;
class UaByteString;

struct UaStringRecord
{
    OpcUa_String str;
    std::atomic<OpcUa_UInt32> refCount;
    static UaStringRecord* empty();
    static void destroy(UaStringRecord* record);
};

// Shared UTF-8 text over one stack string. Records are never changed once shared: every change
// builds a new record.
class UaString : public UaSharedHandle<UaStringRecord>
{
public:
    UaString();
    UaString(const char* utf8);
    UaString(const OpcUa_String* s);
    // From UTF-16 units up to the terminating 0; a null pointer gives the empty string.
    UaString(const char16_t* utf16);
    // The bytes up to the byte string's length or its first 0 byte, whichever comes first.
    explicit UaString(const UaByteString& b);

    bool operator==(const UaString& other) const;
    bool operator!=(const UaString& other) const { return !(*this == other); }
    // Shorter strings first, bytes at equal size.
    bool operator<(const UaString& other) const;

    int size() const;
    int length() const;
    bool isEmpty() const { return size() == 0; }
    const char* toUtf8() const;
    const OpcUa_String* toOpcUaString() const { return &m_record->str; }
    void copyTo(OpcUa_String* target) const;
    static void copyTo(const OpcUa_String* source, OpcUa_String* target);

    // The character at a character position; a default character beyond the end.
    UaChar at(int index) const;
    int indexOf(UaChar c) const;
    // UTF-16 units followed by a 0 unit.
    UaByteArray toUtf16() const;

    UaString& operator+=(const UaString& other);

    static bool isValidLikePattern(const UaString& pattern);
    bool like(const UaString& pattern) const;

    UaString arg(const UaString& a, int fieldWidth = 0, UaChar fill = UaChar(' ')) const;
    UaString arg(int a, int fieldWidth = 0, int base = 10, UaChar fill = UaChar(' ')) const;
    UaString arg(unsigned a, int fieldWidth = 0, int base = 10, UaChar fill = UaChar(' ')) const;

    // A string holding exactly `size` bytes.
    static UaString fromBytes(const char* bytes, int size);

private:
    static UaStringRecord* makeRecord(const char* bytes, std::size_t size);
};

UaString operator+(const UaString& a, const UaString& b);

#endif
