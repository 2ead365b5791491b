// UTC date-times, their text form, the tick count and GUIDs.
#include "test_clock.h"

#include <opcua.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <mutex>

namespace
{
// 100-ns ticks between 1601-01-01 and 1970-01-01.
constexpr int64_t kEpochDifference = 116444736000000000LL;
constexpr int64_t kTicksPerSecond = 10000000LL;

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int64_t* y, unsigned* m, unsigned* d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = static_cast<int64_t>(yoe) + era * 400 + (*m <= 2);
}

bool readDigits(const char*& p, int count, int* value)
{
    *value = 0;
    for (int i = 0; i < count; ++i)
    {
        if (!std::isdigit(static_cast<unsigned char>(*p)))
            return false;
        *value = *value * 10 + (*p++ - '0');
    }
    return true;
}
} // namespace

extern "C"
{

    OPCUA_EXPORT OpcUa_DateTime OpcUa_DateTime_UtcNow(void)
    {
        OpcUa_DateTime stepped;
        if (OpcUa::testclock::active() && OpcUa::testclock::utcNow(&stepped))
            return stepped;
        auto now = std::chrono::system_clock::now().time_since_epoch();
        int64_t ticks =
            std::chrono::duration_cast<std::chrono::nanoseconds>(now).count() / 100 + kEpochDifference;
        return OpcUa_DateTime_FromInt64(ticks);
    }

    OPCUA_EXPORT OpcUa_StatusCode OpcUa_DateTime_GetStringFromDateTime(OpcUa_DateTime value,
                                                                       OpcUa_CharA* buffer,
                                                                       OpcUa_UInt32 length)
    {
        if (buffer == nullptr)
            return OpcUa_BadInvalidArgument;
        if (length < 25)
            return OpcUa_BadOutOfRange;
        int64_t ticks = OpcUa_DateTime_ToInt64(value);
        if (ticks < 0)
            return OpcUa_BadOutOfRange;
        int64_t unixTicks = ticks - kEpochDifference;
        int64_t seconds = unixTicks >= 0 ? unixTicks / kTicksPerSecond
                                         : -((-unixTicks + kTicksPerSecond - 1) / kTicksPerSecond);
        int64_t rest = unixTicks - seconds * kTicksPerSecond;
        int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
        int64_t secondOfDay = seconds - days * 86400;
        int64_t year;
        unsigned month, day;
        civilFromDays(days, &year, &month, &day);
        if (year < 1601 || year > 9999)
            return OpcUa_BadOutOfRange;
        std::snprintf(buffer, length, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(year), month,
                      day, static_cast<int>(secondOfDay / 3600), static_cast<int>(secondOfDay / 60 % 60),
                      static_cast<int>(secondOfDay % 60), static_cast<int>(rest / 10000));
        return OpcUa_Good;
    }

    OPCUA_EXPORT OpcUa_StatusCode OpcUa_DateTime_GetDateTimeFromString(const OpcUa_CharA* text,
                                                                       OpcUa_DateTime* value)
    {
        if (text == nullptr || value == nullptr)
            return OpcUa_BadInvalidArgument;
        const char* p = text;
        int year, month, day, hour, minute, second;
        if (!readDigits(p, 4, &year) || *p++ != '-' || !readDigits(p, 2, &month) || *p++ != '-' ||
            !readDigits(p, 2, &day) || (*p != 'T' && *p != 't'))
            return OpcUa_BadSyntaxError;
        ++p;
        if (!readDigits(p, 2, &hour) || *p++ != ':' || !readDigits(p, 2, &minute) || *p++ != ':' ||
            !readDigits(p, 2, &second))
            return OpcUa_BadSyntaxError;
        int64_t fraction = 0; // in 100 ns
        if (*p == '.' || *p == ',')
        {
            ++p;
            int digits = 0;
            int64_t scale = 1000000;
            if (!std::isdigit(static_cast<unsigned char>(*p)))
                return OpcUa_BadSyntaxError;
            while (std::isdigit(static_cast<unsigned char>(*p)))
            {
                if (digits < 7)
                {
                    fraction += (*p - '0') * scale;
                    scale /= 10;
                }
                ++digits;
                ++p;
            }
        }
        int64_t offsetSeconds = 0;
        if (*p == 'Z' || *p == 'z')
        {
            ++p;
        }
        else if (*p == '+' || *p == '-')
        {
            int sign = *p++ == '-' ? -1 : 1;
            int oh, om;
            if (!readDigits(p, 2, &oh) || *p++ != ':' || !readDigits(p, 2, &om) || oh > 23 || om > 59)
                return OpcUa_BadSyntaxError;
            offsetSeconds = sign * (oh * 3600 + om * 60);
        }
        if (*p != 0)
            return OpcUa_BadSyntaxError;
        static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1] || hour > 23 || minute > 59 ||
            second > 60)
            return OpcUa_BadSyntaxError;
        bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        if (month == 2 && day == 29 && !leap)
            return OpcUa_BadSyntaxError;
        int64_t days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
        int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second - offsetSeconds;
        int64_t ticks = seconds * kTicksPerSecond + fraction + kEpochDifference;
        if (ticks < 0)
            return OpcUa_BadOutOfRange;
        *value = OpcUa_DateTime_FromInt64(ticks);
        return OpcUa_Good;
    }

    OPCUA_EXPORT OpcUa_UInt32 OpcUa_GetTickCount(void)
    {
        OpcUa_UInt32 stepped;
        if (OpcUa::testclock::active() && OpcUa::testclock::tickCount(&stepped))
            return stepped;
        auto now = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<OpcUa_UInt32>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
    }

    OPCUA_EXPORT OpcUa_Guid* OpcUa_Guid_Create(OpcUa_Guid* guid)
    {
        if (guid == nullptr)
            return nullptr;
        static std::mutex mutex;
        static std::mt19937_64 engine{std::random_device{}()};
        OpcUa_Byte bytes[16];
        {
            std::lock_guard<std::mutex> lock(mutex);
            uint64_t a = engine(), b = engine();
            std::memcpy(bytes, &a, 8);
            std::memcpy(bytes + 8, &b, 8);
        }
        bytes[7] = static_cast<OpcUa_Byte>((bytes[7] & 0x0F) | 0x40); // version 4 (high nibble of Data3)
        bytes[8] = static_cast<OpcUa_Byte>((bytes[8] & 0x3F) | 0x80); // variant 1
        std::memcpy(&guid->Data1, bytes, 4);
        std::memcpy(&guid->Data2, bytes + 4, 2);
        std::memcpy(&guid->Data3, bytes + 6, 2);
        std::memcpy(guid->Data4, bytes + 8, 8);
        return guid;
    }

    OPCUA_EXPORT OpcUa_CharA* OpcUa_Guid_ToString(const OpcUa_Guid* guid, OpcUa_CharA* buffer)
    {
        if (guid == nullptr || buffer == nullptr)
            return nullptr;
        std::snprintf(buffer, OPCUA_GUID_LEXICAL_LENGTH + 1,
                      "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", guid->Data1, guid->Data2,
                      guid->Data3, guid->Data4[0], guid->Data4[1], guid->Data4[2], guid->Data4[3],
                      guid->Data4[4], guid->Data4[5], guid->Data4[6], guid->Data4[7]);
        return buffer;
    }

} // extern "C"
