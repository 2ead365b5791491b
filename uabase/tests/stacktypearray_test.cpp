#include "uapointerarray.h"
#include "uastacktypearray.h"
#include "uastring.h"

#include <gtest/gtest.h>

#include <string>

using StringArray = UaStackTypeArray<OpcUa_String, ClearString>;
using Int32Array = UaStackTypeArray<OpcUa_Int32, ClearNothing>;
using NodeIdArray = UaStackTypeArray<OpcUa_NodeId, ClearNodeId>;

namespace
{
void fill(StringArray& a)
{
    for (OpcUa_UInt32 i = 0; i < a.length(); ++i)
        UaString(("item" + std::to_string(i)).c_str()).copyTo(&a[i]);
}
} // namespace

TEST(UaStackTypeArray, CreateGivesZeroedElementsAndClearFreesThem)
{
    StringArray a;
    EXPECT_EQ(a.length(), 0u);
    EXPECT_EQ(a.data(), nullptr);
    a.clear(); // never allocated
    ASSERT_EQ(a.create(4), OpcUa_Good);
    for (OpcUa_UInt32 i = 0; i < 4; ++i)
        EXPECT_EQ(a[i].strContent, nullptr);
    fill(a);
    ASSERT_EQ(a.create(2), OpcUa_Good); // the old strings are freed first
    EXPECT_EQ(a.length(), 2u);
    EXPECT_EQ(a[0].strContent, nullptr);
    fill(a);
    a.clear();
    a.clear();
    EXPECT_EQ(a.length(), 0u);
    EXPECT_EQ(a.data(), nullptr);
}

TEST(UaStackTypeArray, ResizeDownThenUpGivesZeroedElements)
{
    StringArray a;
    ASSERT_EQ(a.create(5), OpcUa_Good);
    fill(a);
    ASSERT_EQ(a.resize(2), OpcUa_Good);
    EXPECT_EQ(a.length(), 2u);
    ASSERT_EQ(a.resize(2), OpcUa_Good);
    ASSERT_EQ(a.resize(6), OpcUa_Good);
    EXPECT_EQ(a.length(), 6u);
    EXPECT_STREQ(OpcUa_String_GetRawString(&a[0]), "item0");
    EXPECT_STREQ(OpcUa_String_GetRawString(&a[1]), "item1");
    for (OpcUa_UInt32 i = 2; i < 6; ++i)
        EXPECT_EQ(a[i].strContent, nullptr);

    Int32Array numbers;
    ASSERT_EQ(numbers.resize(3), OpcUa_Good); // growing from nothing
    numbers[2] = 42;
    ASSERT_EQ(numbers.resize(1), OpcUa_Good);
    ASSERT_EQ(numbers.resize(3), OpcUa_Good);
    EXPECT_EQ(numbers[2], 0);
}

TEST(UaStackTypeArray, FailedAllocationLeavesTheArrayAsItWas)
{
    NodeIdArray a;
    const OpcUa_UInt32 tooMany = 0xFFFFFFF0u; // more bytes than one block can hold
    EXPECT_NE(a.create(tooMany), OpcUa_Good);
    EXPECT_EQ(a.length(), 0u);
    EXPECT_EQ(a.data(), nullptr);

    StringArray b;
    ASSERT_EQ(b.create(3), OpcUa_Good);
    fill(b);
    OpcUa_String* before = b.data();
    EXPECT_NE(b.resize(tooMany), OpcUa_Good);
    EXPECT_EQ(b.length(), 3u);
    EXPECT_EQ(b.data(), before);
    EXPECT_STREQ(OpcUa_String_GetRawString(&b[2]), "item2");
}

TEST(UaStackTypeArray, AttachAndHandOver)
{
    auto* block = static_cast<OpcUa_String*>(OpcUa_Memory_Alloc(2 * sizeof(OpcUa_String)));
    OpcUa_String_Initialize(&block[0]);
    OpcUa_String_Initialize(&block[1]);
    UaString("owned").copyTo(&block[1]);

    StringArray a;
    a.attach(static_cast<OpcUa_UInt32>(-1), block);
    EXPECT_EQ(a.length(), 0u);
    EXPECT_EQ(a.data(), nullptr);
    a.attach(2, block); // now owned and freed by the array
    EXPECT_EQ(a.data(), block);
    EXPECT_STREQ(OpcUa_String_GetRawString(&a[1]), "owned");

    // Handing over: the receiver takes count and block, the array lets go.
    OpcUa_Int32 count = static_cast<OpcUa_Int32>(a.length());
    OpcUa_String* taken = a.data();
    a.detach();
    EXPECT_EQ(a.length(), 0u);
    for (OpcUa_Int32 i = 0; i < count; ++i)
        OpcUa_String_Clear(&taken[i]);
    OpcUa_Memory_Free(taken);
}

TEST(UaPointerArray, OwnsTheSlotsNotThePointees)
{
    UaString alive("still here");
    UaPointerArray<UaString> a;
    ASSERT_EQ(a.create(3), OpcUa_Good);
    EXPECT_EQ(a.length(), 3u);
    EXPECT_EQ(a[0], nullptr);
    a[1] = &alive;
    a.clear();
    EXPECT_EQ(a.length(), 0u);
    EXPECT_EQ(a.data(), nullptr);
    EXPECT_STREQ(alive.toUtf8(), "still here");
    EXPECT_NE(a.create(1u << 30), OpcUa_Good);
    EXPECT_EQ(a.length(), 0u);
}
