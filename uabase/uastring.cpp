#include "uastring.h"
#include "placeholders.h"
#include "uabytearray.h"
#include "uabytestring.h"
#include "ualikepattern.h"
#include "utf8walk.h"

#include <cstring>
#include <new>
#include <utility>

UaStringRecord* UaStringRecord::empty()
{
    static UaStringRecord* record = []
    {
        auto* r = new UaStringRecord;
        OpcUa_String_Initialize(&r->str);
        r->refCount.store(kImmortalRefCount);
        return r;
    }();
    return record;
}

void UaStringRecord::destroy(UaStringRecord* record)
{
    OpcUa_String_Clear(&record->str);
    delete record;
}

UaStringRecord* UaString::makeRecord(const char* bytes, std::size_t size)
{
    if (size == 0)
        return sharedEmpty();
    if (size >= 0x7FFFFFFF)
        return nullptr;
    auto* content = static_cast<OpcUa_CharA*>(OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(size + 1)));
    if (content == nullptr)
        return nullptr;
    std::memcpy(content, bytes, size);
    content[size] = 0;
    auto* record = new (std::nothrow) UaStringRecord;
    if (record == nullptr)
    {
        OpcUa_Memory_Free(content);
        return nullptr;
    }
    OpcUa_String_Initialize(&record->str);
    record->str.uLength = static_cast<OpcUa_UInt32>(size);
    record->str.strContent = content;
    record->refCount.store(1);
    return record;
}

UaString::UaString() = default;

UaString::UaString(const char* utf8)
{
    if (utf8 != nullptr)
        adopt(makeRecord(utf8, std::strlen(utf8)));
}

UaString::UaString(const OpcUa_String* s)
{
    if (s != nullptr && s->strContent != nullptr)
        adopt(makeRecord(s->strContent, s->uLength));
}

UaString::UaString(const char16_t* utf16)
{
    if (utf16 == nullptr)
        return;
    std::size_t count = 0;
    while (utf16[count] != 0)
        ++count;
    std::vector<char> bytes = Utf8Walk::fromUtf16(utf16, count);
    adopt(makeRecord(bytes.data(), bytes.size()));
}

UaString::UaString(const UaByteString& b)
{
    const OpcUa_ByteString* raw = b.toOpcUaByteString();
    if (raw->Length <= 0 || raw->Data == nullptr)
        return;
    const void* zero = std::memchr(raw->Data, 0, static_cast<std::size_t>(raw->Length));
    std::size_t size = zero ? static_cast<std::size_t>(static_cast<const OpcUa_Byte*>(zero) - raw->Data)
                            : static_cast<std::size_t>(raw->Length);
    adopt(makeRecord(reinterpret_cast<const char*>(raw->Data), size));
}

UaString UaString::fromBytes(const char* bytes, int size)
{
    UaString s;
    if (bytes != nullptr && size > 0)
        s.adopt(makeRecord(bytes, static_cast<std::size_t>(size)));
    return s;
}

bool UaString::operator==(const UaString& other) const
{
    if (m_record == other.m_record)
        return true;
    if (size() != other.size())
        return false;
    return OpcUa_String_StrnCmp(&m_record->str, &other.m_record->str, static_cast<OpcUa_UInt32>(size()),
                                OpcUa_False) == 0;
}

bool UaString::operator<(const UaString& other) const
{
    if (m_record == other.m_record)
        return false;
    if (size() != other.size())
        return size() < other.size();
    return OpcUa_String_StrnCmp(&m_record->str, &other.m_record->str, static_cast<OpcUa_UInt32>(size()),
                                OpcUa_False) < 0;
}

int UaString::size() const
{
    return static_cast<int>(OpcUa_String_StrSize(&m_record->str));
}

int UaString::length() const
{
    return static_cast<int>(OpcUa_String_StrLen(&m_record->str));
}

const char* UaString::toUtf8() const
{
    return OpcUa_String_GetRawString(&m_record->str);
}

void UaString::copyTo(OpcUa_String* target) const
{
    copyTo(&m_record->str, target);
}

void UaString::copyTo(const OpcUa_String* source, OpcUa_String* target)
{
    if (source == nullptr || target == nullptr)
        return;
    OpcUa_String_StrnCpy(target, source, OPCUA_STRING_LENDONTCARE);
}

UaChar UaString::at(int index) const
{
    const char* text = toUtf8();
    std::size_t total = static_cast<std::size_t>(size());
    std::size_t pos = 0;
    for (int i = 0; pos < total; ++i)
    {
        if (i == index)
            return UaChar(text + pos, total - pos);
        pos += Utf8Walk::step(text + pos, total - pos);
    }
    return UaChar();
}

int UaString::indexOf(UaChar c) const
{
    const char* text = toUtf8();
    std::size_t total = static_cast<std::size_t>(size());
    std::size_t pos = 0;
    for (int i = 0; pos < total; ++i)
    {
        if (UaChar(text + pos, total - pos) == c)
            return i;
        pos += Utf8Walk::step(text + pos, total - pos);
    }
    return -1;
}

UaByteArray UaString::toUtf16() const
{
    std::vector<std::uint16_t> units = Utf8Walk::toUtf16(toUtf8(), static_cast<std::size_t>(size()));
    units.push_back(0);
    return UaByteArray(reinterpret_cast<const char*>(units.data()), static_cast<int>(units.size() * 2));
}

UaString& UaString::operator+=(const UaString& other)
{
    if (other.isEmpty())
        return *this;
    if (isEmpty())
        return *this = other;
    std::string joined(toUtf8(), static_cast<std::size_t>(size()));
    joined.append(other.toUtf8(), static_cast<std::size_t>(other.size()));
    adopt(makeRecord(joined.data(), joined.size()));
    return *this;
}

UaString operator+(const UaString& a, const UaString& b)
{
    UaString result(a);
    result += b;
    return result;
}

bool UaString::isValidLikePattern(const UaString& pattern)
{
    return UaLikePattern(pattern.toUtf8(), static_cast<std::size_t>(pattern.size())).isValid();
}

bool UaString::like(const UaString& pattern) const
{
    UaLikePattern compiled(pattern.toUtf8(), static_cast<std::size_t>(pattern.size()));
    return compiled.matches(toUtf8(), static_cast<std::size_t>(size()));
}

UaString UaString::arg(const UaString& a, int fieldWidth, UaChar fill) const
{
    std::string text =
        Placeholders::fill(toUtf8(), static_cast<std::size_t>(size()),
                           std::string(a.toUtf8(), static_cast<std::size_t>(a.size())), fieldWidth, fill);
    return fromBytes(text.data(), static_cast<int>(text.size()));
}

UaString UaString::arg(int a, int fieldWidth, int base, UaChar fill) const
{
    return arg(UaString(Placeholders::numberText(a, base).c_str()), fieldWidth, fill);
}

UaString UaString::arg(unsigned a, int fieldWidth, int base, UaChar fill) const
{
    return arg(UaString(Placeholders::numberText(a, base).c_str()), fieldWidth, fill);
}
