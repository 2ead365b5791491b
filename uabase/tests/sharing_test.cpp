#include "uabytearray.h"
#include "uadatavalue.h"
#include "uadatetime.h"
#include "uanodeid.h"
#include "uastring.h"
#include "uaunistring.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace
{
// Copies and drops one shared value from several threads at once; a count that goes wrong shows as
// a double free or a leak under the sanitizers, or as a changed value.
template <typename T, typename Check> void copyFromThreads(const T& shared, Check check)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
    {
        threads.emplace_back(
            [&shared]
            {
                for (int i = 0; i < 20000; ++i)
                {
                    T copy(shared);
                    T other;
                    other = copy;
                }
            });
    }
    for (std::thread& thread : threads)
        thread.join();
    check(shared);
}
} // namespace

TEST(SharedValues, CopiesFromManyThreads)
{
    copyFromThreads(UaString("shared text"),
                    [](const UaString& s) { EXPECT_STREQ(s.toUtf8(), "shared text"); });
    copyFromThreads(UaNodeId(UaString("Node"), 4),
                    [](const UaNodeId& id)
                    {
                        EXPECT_EQ(id.identifierString(), UaString("Node"));
                        EXPECT_EQ(id.namespaceIndex(), 4);
                    });
    copyFromThreads(UaUniString(u"wide"), [](const UaUniString& s) { EXPECT_EQ(s.length(), 4); });
    copyFromThreads(UaByteArray("\x01\x02", 2), [](const UaByteArray& a) { EXPECT_EQ(a.size(), 2); });
}

// Default values of every thread share one empty record per class, and nothing counts references
// to it: a value that changes must still copy it first, and the record must outlive every value.
TEST(SharedValues, DefaultValuesOfManyThreadsChangeTheirOwnCopiesAndLeaveTheEmptyOneEmpty)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
    {
        threads.emplace_back(
            [t]
            {
                for (int i = 0; i < 5000; ++i)
                {
                    UaDataValue value;
                    value.setServerTimestamp(UaDateTime::now());
                    value.setStatusCode(OpcUa_BadTimeout);
                    UaNodeId id;
                    id.setNodeId(static_cast<OpcUa_UInt32>(i + 1), static_cast<OpcUa_UInt16>(t));
                    UaString text;
                    text += UaString("x");
                    UaUniString wide;
                    wide += UaUniString(u"y");
                    const UaDataValue fresh;
                    ASSERT_FALSE(fresh.isServerTimestampSet());
                    ASSERT_EQ(fresh.statusCode(), static_cast<OpcUa_StatusCode>(OpcUa_Good));
                    ASSERT_TRUE(UaNodeId().isNull());
                    ASSERT_EQ(UaString().length(), 0);
                    ASSERT_EQ(UaUniString().length(), 0);
                    ASSERT_EQ(text.length(), 1);
                    ASSERT_EQ(id.identifierNumeric(), static_cast<OpcUa_UInt32>(i + 1));
                }
            });
    }
    for (std::thread& thread : threads)
        thread.join();
    UaByteArray bytes;
    EXPECT_EQ(bytes.size(), 0);
    EXPECT_FALSE(UaDataValue().isServerTimestampSet());
}
