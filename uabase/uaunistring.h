#ifndef UABASE_UAUNISTRING_H
#define UABASE_UAUNISTRING_H

#include "uasharedhandle.h"

#include <atomic>
#include <cstdint>

class UaByteArray;
class UaUniStringList;

struct UaUniStringRecord
{
    std::atomic<std::uint32_t> refCount;
    char16_t* data;
    std::int32_t length;
    static UaUniStringRecord* empty();
    static void destroy(UaUniStringRecord* record);
};

// Shared UTF-16 string; every change builds a new record, so other holders never see it.
class UaUniString : public UaSharedHandle<UaUniStringRecord>
{
public:
    UaUniString();
    UaUniString(const char16_t* units);
    explicit UaUniString(const char* utf8);
    // From the 0-terminated UTF-16 units of a byte array (the wide conversion of UaString).
    explicit UaUniString(const UaByteArray& utf16);

    int length() const { return m_record->length; }
    bool isEmpty() const { return m_record->length == 0; }
    char16_t at(int i) const { return m_record->data[i]; }
    const char16_t* data() const { return m_record->data; }

    UaUniString& append(const UaUniString& s);
    UaUniString& operator+=(const UaUniString& s) { return append(s); }
    UaUniString& chop(int n);
    UaUniString mid(int pos, int n = -1) const;
    UaUniString trimmed() const;
    UaUniString& replace(const UaUniString& before, const UaUniString& after);
    UaUniString& replace(int pos, int n, const UaUniString& s);
    void setAt(int i, char16_t unit);

    int indexOf(const UaUniString& s, int from = 0) const;
    int indexOf(char16_t unit, int from = 0) const;
    int lastIndexOf(char16_t unit, int from = -1) const;
    bool startsWith(const UaUniString& s) const;
    UaUniStringList split(const UaUniString& separator) const;

    bool greaterThan(const UaUniString& other, bool caseSensitive = true) const;
    bool lessThan(const UaUniString& other, bool caseSensitive = true) const;
    bool operator==(const UaUniString& other) const;
    bool operator!=(const UaUniString& other) const { return !(*this == other); }

private:
    static UaUniStringRecord* makeRecord(const char16_t* first, int firstLength,
                                         const char16_t* second = nullptr, int secondLength = 0);
    int compare(const UaUniString& other, bool caseSensitive) const;
    int normalizeFrom(int from) const;
};

#endif
