#include "uadatetime.h"

#include <cstring>
#include <limits>

namespace
{
constexpr OpcUa_Int64 TicksPerMillisecond = 10000;
constexpr OpcUa_Int64 TicksPerSecond = 10000000;

int saturatedQuotient(OpcUa_Int64 from, OpcUa_Int64 to, OpcUa_Int64 divisor)
{
    // The difference of two tick counts can exceed 64 bits; 128-bit arithmetic keeps it exact.
    __int128 quotient = (static_cast<__int128>(to) - static_cast<__int128>(from)) / divisor;
    if (quotient > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (quotient < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return static_cast<int>(quotient);
}
} // namespace

UaDateTime::UaDateTime() : m_value{0, 0} {}

UaDateTime::UaDateTime(const OpcUa_DateTime& value) : m_value(value) {}

UaDateTime::~UaDateTime() = default;

UaDateTime UaDateTime::now()
{
    return UaDateTime(OpcUa_DateTime_UtcNow());
}

UaDateTime UaDateTime::fromInt64(OpcUa_Int64 ticks)
{
    OpcUa_UInt64 bits = static_cast<OpcUa_UInt64>(ticks);
    OpcUa_DateTime value;
    value.dwLowDateTime = static_cast<OpcUa_UInt32>(bits & 0xFFFFFFFFu);
    value.dwHighDateTime = static_cast<OpcUa_UInt32>(bits >> 32);
    return UaDateTime(value);
}

OpcUa_Int64 UaDateTime::toInt64() const
{
    OpcUa_UInt64 bits = (static_cast<OpcUa_UInt64>(m_value.dwHighDateTime) << 32) | m_value.dwLowDateTime;
    return static_cast<OpcUa_Int64>(bits);
}

int UaDateTime::msecsTo(const UaDateTime& other) const
{
    return saturatedQuotient(toInt64(), other.toInt64(), TicksPerMillisecond);
}

int UaDateTime::secsTo(const UaDateTime& other) const
{
    return saturatedQuotient(toInt64(), other.toInt64(), TicksPerSecond);
}

bool UaDateTime::operator<(const UaDateTime& other) const
{
    if (m_value.dwHighDateTime != other.m_value.dwHighDateTime)
        return m_value.dwHighDateTime < other.m_value.dwHighDateTime;
    return m_value.dwLowDateTime < other.m_value.dwLowDateTime;
}

bool UaDateTime::operator>(const UaDateTime& other) const
{
    return other < *this;
}

bool UaDateTime::operator==(const UaDateTime& other) const
{
    return m_value.dwHighDateTime == other.m_value.dwHighDateTime &&
           m_value.dwLowDateTime == other.m_value.dwLowDateTime;
}

UaString UaDateTime::toString() const
{
    char buffer[100] = {};
    OpcUa_StatusCode status = OpcUa_DateTime_GetStringFromDateTime(m_value, buffer, sizeof(buffer));
    if ((status & 0xC0000000u) != 0)
        return UaString();
    return UaString(buffer);
}

UaString UaDateTime::toDateString() const
{
    UaString text = toString();
    const char* bytes = text.toUtf8();
    const char* t = std::strchr(bytes, 'T');
    if (t == nullptr)
        return text;
    return UaString::fromBytes(bytes, static_cast<int>(t - bytes));
}

UaString UaDateTime::toTimeString() const
{
    UaString text = toString();
    const char* t = std::strchr(text.toUtf8(), 'T');
    if (t == nullptr)
        return text;
    return UaString(t + 1);
}

OpcUa_StatusCode UaDateTime::fromString(const UaString& text, UaDateTime& out)
{
    OpcUa_DateTime value{0, 0};
    OpcUa_StatusCode status = OpcUa_DateTime_GetDateTimeFromString(text.toUtf8(), &value);
    if ((status & 0xC0000000u) != 0)
        return status;
    out = UaDateTime(value);
    return OpcUa_Good;
}
