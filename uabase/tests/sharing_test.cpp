#include "uabytearray.h"
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
