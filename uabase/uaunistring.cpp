#include "uaunistring.h"
#include "uabytearray.h"
#include "uaunistringlist.h"
#include "utf8walk.h"

#include <opcua.h>

#include <cstring>
#include <new>
#include <vector>

UaUniStringRecord* UaUniStringRecord::empty()
{
    static char16_t terminator = 0;
    static UaUniStringRecord record{{kImmortalRefCount}, &terminator, 0};
    return &record;
}

void UaUniStringRecord::destroy(UaUniStringRecord* record)
{
    OpcUa_Memory_Free(record->data);
    delete record;
}

UaUniStringRecord* UaUniString::makeRecord(const char16_t* first, int firstLength, const char16_t* second,
                                           int secondLength)
{
    int total = firstLength + secondLength;
    if (total <= 0)
        return sharedEmpty();
    auto* data =
        static_cast<char16_t*>(OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>((total + 1) * sizeof(char16_t))));
    if (data == nullptr)
        return nullptr;
    if (firstLength > 0)
        std::memcpy(data, first, static_cast<std::size_t>(firstLength) * sizeof(char16_t));
    if (secondLength > 0)
        std::memcpy(data + firstLength, second, static_cast<std::size_t>(secondLength) * sizeof(char16_t));
    data[total] = 0;
    auto* record = new (std::nothrow) UaUniStringRecord{{1}, data, total};
    if (record == nullptr)
        OpcUa_Memory_Free(data);
    return record;
}

UaUniString::UaUniString() = default;

UaUniString::UaUniString(const char16_t* units)
{
    if (units == nullptr)
        return;
    int length = 0;
    while (units[length] != 0)
        ++length;
    adopt(makeRecord(units, length));
}

UaUniString::UaUniString(const char* utf8)
{
    if (utf8 == nullptr)
        return;
    std::vector<std::uint16_t> units = Utf8Walk::toUtf16(utf8, std::strlen(utf8));
    adopt(makeRecord(reinterpret_cast<const char16_t*>(units.data()), static_cast<int>(units.size())));
}

UaUniString::UaUniString(const UaByteArray& utf16)
{
    if (utf16.data() == nullptr)
        return;
    const auto* units = reinterpret_cast<const char16_t*>(utf16.data());
    int maxUnits = utf16.size() / 2;
    int length = 0;
    while (length < maxUnits && units[length] != 0)
        ++length;
    adopt(makeRecord(units, length));
}

UaUniString& UaUniString::append(const UaUniString& s)
{
    if (s.isEmpty())
        return *this;
    if (isEmpty())
        return *this = s;
    adopt(makeRecord(data(), length(), s.data(), s.length()));
    return *this;
}

UaUniString& UaUniString::chop(int n)
{
    if (n <= 0)
        return *this;
    if (n >= length())
        return *this = UaUniString();
    adopt(makeRecord(data(), length() - n));
    return *this;
}

UaUniString UaUniString::mid(int pos, int n) const
{
    if (pos < 0 || pos >= length())
        return UaUniString();
    int available = length() - pos;
    if (n < 0 || n > available)
        n = available;
    if (pos == 0 && n == length())
        return *this;
    UaUniString result;
    result.adopt(makeRecord(data() + pos, n));
    return result;
}

namespace
{
bool isBlank(char16_t unit)
{
    return unit == 32 || (unit >= 9 && unit <= 13);
}
} // namespace

UaUniString UaUniString::trimmed() const
{
    int first = 0;
    int end = length();
    while (first < end && isBlank(at(first)))
        ++first;
    while (end > first && isBlank(at(end - 1)))
        --end;
    return mid(first, end - first);
}

UaUniString& UaUniString::replace(const UaUniString& before, const UaUniString& after)
{
    // An empty pattern would match everywhere without moving on.
    if (before.isEmpty() || isEmpty())
        return *this;
    std::vector<char16_t> out;
    int pos = 0;
    bool replaced = false;
    for (;;)
    {
        int hit = indexOf(before, pos);
        if (hit < 0)
            break;
        out.insert(out.end(), data() + pos, data() + hit);
        out.insert(out.end(), after.data(), after.data() + after.length());
        pos = hit + before.length();
        replaced = true;
    }
    if (!replaced)
        return *this;
    out.insert(out.end(), data() + pos, data() + length());
    adopt(makeRecord(out.data(), static_cast<int>(out.size())));
    return *this;
}

UaUniString& UaUniString::replace(int pos, int n, const UaUniString& s)
{
    if (isEmpty() || pos < 0 || pos >= length() || n < 0 || n > length() - pos)
        return *this;
    std::vector<char16_t> out(data(), data() + pos);
    out.insert(out.end(), s.data(), s.data() + s.length());
    out.insert(out.end(), data() + pos + n, data() + length());
    adopt(makeRecord(out.data(), static_cast<int>(out.size())));
    return *this;
}

void UaUniString::setAt(int i, char16_t unit)
{
    if (i < 0 || i >= length())
        return;
    UaUniStringRecord* copy = makeRecord(data(), length());
    if (copy == nullptr)
        return;
    copy->data[i] = unit;
    adopt(copy);
}

int UaUniString::normalizeFrom(int from) const
{
    if (from < 0)
        from += length();
    if (from < 0 || from >= length())
        return -1;
    return from;
}

int UaUniString::indexOf(const UaUniString& s, int from) const
{
    from = normalizeFrom(from);
    if (from < 0 || s.isEmpty())
        return -1;
    for (int i = from; i + s.length() <= length(); ++i)
    {
        if (std::memcmp(data() + i, s.data(), static_cast<std::size_t>(s.length()) * sizeof(char16_t)) == 0)
            return i;
    }
    return -1;
}

int UaUniString::indexOf(char16_t unit, int from) const
{
    from = normalizeFrom(from);
    if (from < 0)
        return -1;
    for (int i = from; i < length(); ++i)
    {
        if (at(i) == unit)
            return i;
    }
    return -1;
}

int UaUniString::lastIndexOf(char16_t unit, int from) const
{
    from = normalizeFrom(from);
    if (from < 0)
        return -1;
    for (int i = from; i >= 0; --i)
    {
        if (at(i) == unit)
            return i;
    }
    return -1;
}

bool UaUniString::startsWith(const UaUniString& s) const
{
    if (s.isEmpty() || s.length() > length())
        return false;
    return std::memcmp(data(), s.data(), static_cast<std::size_t>(s.length()) * sizeof(char16_t)) == 0;
}

UaUniStringList UaUniString::split(const UaUniString& separator) const
{
    UaUniStringList list;
    if (separator.isEmpty())
    {
        if (!isEmpty())
            list.append(*this);
        return list;
    }
    int pos = 0;
    for (;;)
    {
        int hit = indexOf(separator, pos);
        if (hit < 0)
            break;
        if (hit > pos)
            list.append(mid(pos, hit - pos));
        pos = hit + separator.length();
    }
    if (pos < length())
        list.append(mid(pos));
    return list;
}

int UaUniString::compare(const UaUniString& other, bool caseSensitive) const
{
    if (m_record == other.m_record)
        return 0;
    auto fold = [caseSensitive](char16_t u) -> char16_t
    { return (!caseSensitive && u >= 'A' && u <= 'Z') ? static_cast<char16_t>(u + ('a' - 'A')) : u; };
    int common = length() < other.length() ? length() : other.length();
    for (int i = 0; i < common; ++i)
    {
        char16_t a = fold(at(i));
        char16_t b = fold(other.at(i));
        if (a != b)
            return a < b ? -1 : 1;
    }
    return length() == other.length() ? 0 : (length() < other.length() ? -1 : 1);
}

bool UaUniString::greaterThan(const UaUniString& other, bool caseSensitive) const
{
    return compare(other, caseSensitive) > 0;
}

bool UaUniString::lessThan(const UaUniString& other, bool caseSensitive) const
{
    return compare(other, caseSensitive) < 0;
}

bool UaUniString::operator==(const UaUniString& other) const
{
    return compare(other, true) == 0;
}
