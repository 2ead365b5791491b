#ifndef UABASE_UANUMERICRANGE_H
#define UABASE_UANUMERICRANGE_H

#include <opcua.h>

class UaString;

// One dimension of an index range: a single index (kind 1) or a range first:last (kind 2).
struct UaNumericRangeDimension
{
    OpcUa_UInt32 first;
    OpcUa_UInt32 last;
    OpcUa_UInt32 kind;
};

// An index range text ("1:3,7") parsed into its dimensions.
class UaNumericRange
{
public:
    static constexpr OpcUa_UInt32 SingleIndex = 1;
    static constexpr OpcUa_UInt32 IndexRange = 2;

    UaNumericRange() = default;
    explicit UaNumericRange(const UaString& text);
    UaNumericRange(const UaNumericRange& other);
    UaNumericRange& operator=(const UaNumericRange& other);
    ~UaNumericRange();

    OpcUa_StatusCode parse(const UaString& text);
    OpcUa_UInt32 dimensionCount() const { return m_dimensionCount; }
    UaNumericRangeDimension dimension(OpcUa_UInt32 i) const;
    void clear();

private:
    bool appendDimension();

    OpcUa_UInt32 m_dimensionCount = 0;
    UaNumericRangeDimension* m_dimensions = nullptr;
};

#endif
