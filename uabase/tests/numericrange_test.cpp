#include "uanumericrange.h"
#include "uastring.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
struct Dim
{
    OpcUa_UInt32 first, last, kind;
};
} // namespace

TEST(UaNumericRange, ParseTable)
{
    struct Row
    {
        const char* text;
        OpcUa_StatusCode status;
        std::vector<Dim> dims;
    };
    const Row rows[] = {
        {"5", OpcUa_Good, {{5, 0, 1}}},
        {"1:3,7", OpcUa_Good, {{1, 3, 2}, {7, 0, 1}}},
        {"7,1:3", OpcUa_Good, {{7, 7, 1}, {1, 3, 2}}},
        {"0:4294967295", OpcUa_Good, {{0, 4294967295u, 2}}},
        {"12,34,56", OpcUa_Good, {{12, 12, 1}, {34, 34, 1}, {56, 0, 1}}},
        {"3:3", OpcUa_BadIndexRangeInvalid, {}},
        {"4:2", OpcUa_BadIndexRangeInvalid, {}},
        {"4:2,1", OpcUa_BadIndexRangeInvalid, {}},
        {"1:", OpcUa_BadIndexRangeInvalid, {}},
        {",1", OpcUa_BadIndexRangeInvalid, {}},
        {"1,,2", OpcUa_BadIndexRangeInvalid, {}},
        {"1,", OpcUa_BadIndexRangeInvalid, {}},
        {"a", OpcUa_BadIndexRangeInvalid, {}},
        {"1 :2", OpcUa_BadIndexRangeInvalid, {}},
        {"1:2:3", OpcUa_BadIndexRangeInvalid, {}},
        {"-1", OpcUa_BadIndexRangeInvalid, {}},
        {"1\xC2\xB2", OpcUa_BadIndexRangeInvalid, {}},
        // Indices beyond 32 bits are refused, not wrapped.
        {"4294967296", OpcUa_BadIndexRangeInvalid, {}},
        {"4294967297:4294967299", OpcUa_BadIndexRangeInvalid, {}},
        {"1:4294967296", OpcUa_BadIndexRangeInvalid, {}},
        {"99999999999999999999", OpcUa_BadIndexRangeInvalid, {}},
        {"", OpcUa_BadInvalidArgument, {}},
    };
    for (const Row& r : rows)
    {
        SCOPED_TRACE(r.text);
        UaNumericRange range(UaString("9"));
        EXPECT_EQ(range.parse(UaString(r.text)), r.status);
        ASSERT_EQ(range.dimensionCount(), r.dims.size());
        for (OpcUa_UInt32 i = 0; i < r.dims.size(); ++i)
        {
            UaNumericRangeDimension d = range.dimension(i);
            EXPECT_EQ(d.first, r.dims[i].first);
            EXPECT_EQ(d.last, r.dims[i].last);
            EXPECT_EQ(d.kind, r.dims[i].kind);
        }
    }
}

TEST(UaNumericRange, AccessCopyAndClear)
{
    UaNumericRange range(UaString("2:5,8"));
    ASSERT_EQ(range.dimensionCount(), 2u);
    UaNumericRangeDimension beyond = range.dimension(5);
    EXPECT_EQ(beyond.first, 0u);
    EXPECT_EQ(beyond.last, 0u);
    EXPECT_EQ(beyond.kind, 0u);

    UaNumericRange copy(range);
    range.clear();
    EXPECT_EQ(range.dimensionCount(), 0u);
    ASSERT_EQ(copy.dimensionCount(), 2u);
    EXPECT_EQ(copy.dimension(0).last, 5u);
    UaNumericRange assigned;
    assigned = copy;
    EXPECT_EQ(assigned.dimension(1).first, 8u);

    UaNumericRange invalid(UaString("x"));
    EXPECT_EQ(invalid.dimensionCount(), 0u);
}
