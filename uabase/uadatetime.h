#ifndef UABASE_UADATETIME_H
#define UABASE_UADATETIME_H

#include "uastring.h"

#include <opcua.h>

// A stack date-time: 100-nanosecond ticks since 1601-01-01 UTC, low half then high half.
class UaDateTime
{
public:
    UaDateTime();
    UaDateTime(const OpcUa_DateTime& value);
    virtual ~UaDateTime();

    UaDateTime(const UaDateTime&) = default;
    UaDateTime& operator=(const UaDateTime&) = default;

    static UaDateTime now();
    // A date-time from one signed tick count (high half times 2^32 plus low half).
    static UaDateTime fromInt64(OpcUa_Int64 ticks);

    operator OpcUa_DateTime() const { return m_value; }
    OpcUa_Int64 toInt64() const;
    bool isNull() const { return m_value.dwLowDateTime == 0 && m_value.dwHighDateTime == 0; }

    // (other - this) in whole milliseconds / seconds, truncated toward zero; differences beyond
    // the 32-bit range saturate at its limits.
    int msecsTo(const UaDateTime& other) const;
    int secsTo(const UaDateTime& other) const;

    bool operator<(const UaDateTime& other) const;
    bool operator>(const UaDateTime& other) const;
    bool operator==(const UaDateTime& other) const;
    bool operator!=(const UaDateTime& other) const { return !(*this == other); }

    // "YYYY-MM-DDThh:mm:ss.fffZ"; empty when the value cannot be shown.
    UaString toString() const;
    // The text before its first 'T' / after it (the whole text without a 'T').
    UaString toDateString() const;
    UaString toTimeString() const;

    // Parses the ISO 8601 text the stack reads; the stack's status on failure (out unchanged).
    static OpcUa_StatusCode fromString(const UaString& text, UaDateTime& out);

private:
    OpcUa_DateTime m_value;
};

#endif
