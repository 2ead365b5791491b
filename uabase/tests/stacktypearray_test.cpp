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

namespace
{
template <typename T, void (*Clear)(T*)> void createAndClear()
{
    UaStackTypeArray<T, Clear> a;
    ASSERT_EQ(a.create(3), OpcUa_Good);
    ASSERT_EQ(a.resize(1), OpcUa_Good);
    ASSERT_EQ(a.resize(4), OpcUa_Good);
    EXPECT_EQ(a.length(), 4u);
}
} // namespace

TEST(UaStackTypeArray, EveryElementTypeClearsZeroedElements)
{
#define UABASE_CHECK_INSTANCE(Name) createAndClear<OpcUa_##Name, Clear##Name>();
    UABASE_STRUCTURE_CLEAR_ROUTINES(UABASE_CHECK_INSTANCE)
    UABASE_CHECK_INSTANCE(String)
    UABASE_CHECK_INSTANCE(ByteString)
    UABASE_CHECK_INSTANCE(Variant)
    UABASE_CHECK_INSTANCE(DiagnosticInfo)
    UABASE_CHECK_INSTANCE(QualifiedName)
    UABASE_CHECK_INSTANCE(LocalizedText)
    UABASE_CHECK_INSTANCE(NodeId)
    UABASE_CHECK_INSTANCE(ExpandedNodeId)
    UABASE_CHECK_INSTANCE(ExtensionObject)
    UABASE_CHECK_INSTANCE(DataValue)
#undef UABASE_CHECK_INSTANCE
    createAndClear<OpcUa_Byte, ClearNothing>();
    createAndClear<OpcUa_SByte, ClearNothing>();
    createAndClear<OpcUa_Int16, ClearNothing>();
    createAndClear<OpcUa_UInt16, ClearNothing>();
    createAndClear<OpcUa_UInt32, ClearNothing>();
    createAndClear<OpcUa_Int64, ClearNothing>();
    createAndClear<OpcUa_UInt64, ClearNothing>();
    createAndClear<OpcUa_Float, ClearNothing>();
    createAndClear<OpcUa_Double, ClearNothing>();
    createAndClear<OpcUa_DateTime, ClearNothing>();
    createAndClear<OpcUa_Guid, ClearNothing>();
    UaPointerArray<OpcUa_DataValue> values;
    EXPECT_EQ(values.create(2), OpcUa_Good);
}

TEST(UaStackTypeArray, ResizedStringsAreFreedOnce)
{
    // Strings beyond a shrink are cleared; growing moves the rest without copying them, so the
    // sanitizers see each string freed exactly once.
    StringArray a;
    ASSERT_EQ(a.create(8), OpcUa_Good);
    fill(a);
    for (OpcUa_UInt32 n : {3u, 9u, 1u, 1u, 5u, 0u, 2u})
    {
        ASSERT_EQ(a.resize(n), OpcUa_Good);
        fill(a);
        EXPECT_EQ(a.length(), n);
    }
}
