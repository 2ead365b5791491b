#include "uanumericrange.h"
#include "uastring.h"

#include <cstring>

UaNumericRange::UaNumericRange(const UaString& text)
{
    parse(text);
}

UaNumericRange::UaNumericRange(const UaNumericRange& other)
{
    *this = other;
}

UaNumericRange& UaNumericRange::operator=(const UaNumericRange& other)
{
    if (this == &other)
        return *this;
    clear();
    if (other.m_dimensionCount == 0)
        return *this;
    std::size_t bytes = other.m_dimensionCount * sizeof(UaNumericRangeDimension);
    m_dimensions =
        static_cast<UaNumericRangeDimension*>(OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(bytes)));
    if (m_dimensions != nullptr)
    {
        std::memcpy(m_dimensions, other.m_dimensions, bytes);
        m_dimensionCount = other.m_dimensionCount;
    }
    return *this;
}

UaNumericRange::~UaNumericRange()
{
    clear();
}

void UaNumericRange::clear()
{
    OpcUa_Memory_Free(m_dimensions);
    m_dimensions = nullptr;
    m_dimensionCount = 0;
}

UaNumericRangeDimension UaNumericRange::dimension(OpcUa_UInt32 i) const
{
    if (i >= m_dimensionCount)
        return UaNumericRangeDimension{0, 0, 0};
    return m_dimensions[i];
}

bool UaNumericRange::appendDimension()
{
    auto bytes = static_cast<OpcUa_UInt32>((m_dimensionCount + 1) * sizeof(UaNumericRangeDimension));
    void* block = OpcUa_Memory_ReAlloc(m_dimensions, bytes);
    if (block == nullptr)
        return false;
    m_dimensions = static_cast<UaNumericRangeDimension*>(block);
    m_dimensions[m_dimensionCount++] = UaNumericRangeDimension{0, 0, 0};
    return true;
}

namespace
{
enum class State
{
    ExpectFirst,
    InFirst,
    ExpectLast,
    InLast
};

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Appends one decimal digit; false when the value leaves 32 bits (the text comes from clients).
bool accumulate(OpcUa_UInt32& value, char digit)
{
    OpcUa_UInt64 next = static_cast<OpcUa_UInt64>(value) * 10 + static_cast<OpcUa_UInt64>(digit - '0');
    if (next > 0xFFFFFFFFull)
        return false;
    value = static_cast<OpcUa_UInt32>(next);
    return true;
}

bool rangeInOrder(const UaNumericRangeDimension& d)
{
    return d.kind != UaNumericRange::IndexRange || d.first < d.last;
}
} // namespace

OpcUa_StatusCode UaNumericRange::parse(const UaString& text)
{
    clear();
    if (text.size() == 0)
        return OpcUa_BadInvalidArgument;

    const char* p = text.toUtf8();
    const int size = text.size();
    State state = State::ExpectFirst;
    OpcUa_StatusCode failure = OpcUa_BadIndexRangeInvalid;
    auto nextDimension = [&]()
    {
        if (appendDimension())
            return true;
        failure = OpcUa_BadOutOfMemory;
        return false;
    };
    bool ok = nextDimension();
    for (int i = 0; ok && i < size; ++i)
    {
        char c = p[i];
        UaNumericRangeDimension& d = m_dimensions[m_dimensionCount - 1];
        switch (state)
        {
        case State::ExpectFirst:
            ok = isDigit(c);
            if (ok)
            {
                d.kind = SingleIndex;
                d.first = static_cast<OpcUa_UInt32>(c - '0');
                state = State::InFirst;
            }
            break;
        case State::InFirst:
            if (isDigit(c))
            {
                ok = accumulate(d.first, c);
            }
            else if (c == ':')
            {
                d.kind = IndexRange;
                state = State::ExpectLast;
            }
            else if (c == ',')
            {
                d.last = d.first;
                ok = nextDimension();
                state = State::ExpectFirst;
            }
            else
            {
                ok = false;
            }
            break;
        case State::ExpectLast:
            ok = isDigit(c);
            if (ok)
            {
                d.last = static_cast<OpcUa_UInt32>(c - '0');
                state = State::InLast;
            }
            break;
        case State::InLast:
            if (isDigit(c))
            {
                ok = accumulate(d.last, c);
            }
            else if (c == ',')
            {
                ok = rangeInOrder(d) && nextDimension();
                state = State::ExpectFirst;
            }
            else
            {
                ok = false;
            }
            break;
        }
    }
    if (ok)
        ok = state != State::ExpectFirst && state != State::ExpectLast &&
             rangeInOrder(m_dimensions[m_dimensionCount - 1]);
    if (!ok)
    {
        clear();
        return failure;
    }
    return OpcUa_Good;
}
