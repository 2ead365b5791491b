// Platform services of the stack: memory, text, time, GUIDs, threads, locks, semaphores, lists,
// trace and set-up.
#include <opcua.h>
#include <opcua_binarycodec.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace
{
TEST(UaStackMemory, MemCpyChecksTheTargetSizeAndFreeAcceptsNull)
{
    char target[4] = {};
    EXPECT_EQ(OpcUa_Good, OpcUa_Memory_MemCpy(target, 4, "abc", 4));
    EXPECT_STREQ("abc", target);
    EXPECT_EQ(OpcUa_BadOutOfRange, OpcUa_Memory_MemCpy(target, 3, "abc", 4));
    EXPECT_EQ(OpcUa_BadInvalidArgument, OpcUa_Memory_MemCpy(nullptr, 4, "abc", 4));
    OpcUa_Memory_Free(nullptr);
    void* p = OpcUa_Memory_Alloc(8);
    p = OpcUa_Memory_ReAlloc(p, 64);
    ASSERT_NE(nullptr, p);
    OpcUa_Memory_Free(p);
}

TEST(UaStackString, CopyCompareSizeAndLength)
{
    OpcUa_String a, b;
    OpcUa_String_Initialize(&a);
    OpcUa_String_Initialize(&b);
    EXPECT_TRUE(OpcUa_String_IsNull(&a));
    EXPECT_STREQ("", OpcUa_String_GetRawString(&a));
    ASSERT_EQ(OpcUa_Good, OpcUa_String_AttachCopy(&a, "Caf\xC3\xA9"));
    EXPECT_EQ(5u, OpcUa_String_StrSize(&a));
    EXPECT_EQ(4u, OpcUa_String_StrLen(&a));
    ASSERT_EQ(OpcUa_Good, OpcUa_String_StrnCpy(&b, &a, OPCUA_STRING_LENDONTCARE));
    EXPECT_STREQ("Caf\xC3\xA9", OpcUa_String_GetRawString(&b));
    EXPECT_EQ(0, OpcUa_String_StrnCmp(&a, &b, OPCUA_STRING_LENDONTCARE, OpcUa_False));
    ASSERT_EQ(OpcUa_Good, OpcUa_String_StrnCpy(&b, &a, 2));
    EXPECT_STREQ("Ca", OpcUa_String_GetRawString(&b));

    OpcUa_String upper;
    OpcUa_String_Initialize(&upper);
    OpcUa_String_AttachCopy(&upper, "CAF\xC3\xA9");
    EXPECT_GT(OpcUa_String_StrnCmp(&a, &upper, OPCUA_STRING_LENDONTCARE, OpcUa_False), 0);
    EXPECT_EQ(0, OpcUa_String_StrnCmp(&a, &upper, OPCUA_STRING_LENDONTCARE, OpcUa_True));
    EXPECT_LT(OpcUa_String_StrnCmp(&b, &a, OPCUA_STRING_LENDONTCARE, OpcUa_False), 0); // prefix orders first
    EXPECT_EQ(0, OpcUa_String_StrnCmp(&b, &a, 2, OpcUa_False));
    OpcUa_String_Clear(&a);
    OpcUa_String_Clear(&b);
    OpcUa_String_Clear(&upper);
    EXPECT_TRUE(OpcUa_String_IsNull(&a));
}

TEST(UaStackString, FormattingIsBoundedAndKnowsThe64BitPrefix)
{
    char buffer[8];
    EXPECT_EQ(5, OpcUa_StringA_snprintf(buffer, sizeof(buffer), "%d-%s", 12, "ab"));
    EXPECT_STREQ("12-ab", buffer);
    EXPECT_EQ(-1, OpcUa_StringA_snprintf(buffer, sizeof(buffer), "%s", "0123456789"));
    EXPECT_STREQ("0123456", buffer);
    char wide[64];
    OpcUa_StringA_snprintf(
        wide, sizeof(wide), "%I64d|%I64u|%5I64x|I64", static_cast<long long>(-5000000000LL),
        static_cast<unsigned long long>(18000000000000000000ULL), static_cast<unsigned long long>(255));
    EXPECT_STREQ("-5000000000|18000000000000000000|   ff|I64", wide);
}

TEST(UaStackDateTime, TextFormRoundTripsAndRejectsGarbage)
{
    OpcUa_DateTime t;
    ASSERT_EQ(OpcUa_Good, OpcUa_DateTime_GetDateTimeFromString("2011-12-01T19:17:23.123Z", &t));
    char text[100];
    ASSERT_EQ(OpcUa_Good, OpcUa_DateTime_GetStringFromDateTime(t, text, sizeof(text)));
    EXPECT_STREQ("2011-12-01T19:17:23.123Z", text);
    // 1601-01-01 is tick 0; 1970-01-01 is the Unix epoch.
    ASSERT_EQ(OpcUa_Good, OpcUa_DateTime_GetDateTimeFromString("1970-01-01T00:00:00Z", &t));
    EXPECT_EQ(116444736000000000LL, OpcUa_DateTime_ToInt64(t));
    ASSERT_EQ(OpcUa_Good, OpcUa_DateTime_GetDateTimeFromString("1970-01-01T02:00:00+02:00", &t));
    EXPECT_EQ(116444736000000000LL, OpcUa_DateTime_ToInt64(t));
    for (const char* bad : {"", "2011-13-01T00:00:00Z", "2011-02-30T00:00:00Z", "2011-12-01 19:17:23Z",
                            "2011-12-01T19:17:23Zjunk", "yesterday"})
        EXPECT_EQ(OpcUa_BadSyntaxError, OpcUa_DateTime_GetDateTimeFromString(bad, &t)) << bad;
    EXPECT_EQ(OpcUa_BadOutOfRange, OpcUa_DateTime_GetStringFromDateTime(t, text, 10));

    OpcUa_DateTime now = OpcUa_DateTime_UtcNow();
    ASSERT_EQ(OpcUa_Good, OpcUa_DateTime_GetStringFromDateTime(now, text, sizeof(text)));
    OpcUa_DateTime back;
    ASSERT_EQ(OpcUa_Good, OpcUa_DateTime_GetDateTimeFromString(text, &back));
    EXPECT_EQ(OpcUa_DateTime_ToInt64(now) / 10000, OpcUa_DateTime_ToInt64(back) / 10000); // millisecond text
}

TEST(UaStackGuid, CreatesDistinctVersion4GuidsAndFormatsThem)
{
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i)
    {
        OpcUa_Guid g;
        ASSERT_EQ(&g, OpcUa_Guid_Create(&g));
        EXPECT_EQ(0x4000, g.Data3 & 0xF000);
        char text[OPCUA_GUID_LEXICAL_LENGTH + 1];
        ASSERT_EQ(text, OpcUa_Guid_ToString(&g, text));
        seen.insert(text);
    }
    EXPECT_EQ(100u, seen.size());
    OpcUa_Guid g{0x72962B91, 0xFA75, 0x4AE6, {0x8D, 0x28, 0xB4, 0x04, 0xDC, 0x7D, 0xAF, 0x63}};
    char text[OPCUA_GUID_LEXICAL_LENGTH + 1];
    EXPECT_STREQ("72962B91-FA75-4AE6-8D28-B404DC7DAF63", OpcUa_Guid_ToString(&g, text));
}

struct Gate
{
    OpcUa_Semaphore go = nullptr;
    std::atomic<int> runs{0};
};

void gatedMain(void* argument)
{
    auto* gate = static_cast<Gate*>(argument);
    OpcUa_Semaphore_Wait(gate->go);
    ++gate->runs;
}

TEST(UaStackThread, StartsRunsAndReportsItsEnd)
{
    Gate gate;
    ASSERT_EQ(OpcUa_Good, OpcUa_Semaphore_Create(&gate.go, 0, 1));
    OpcUa_Thread thread = nullptr;
    ASSERT_EQ(OpcUa_Good, OpcUa_Thread_Create(&thread, gatedMain, &gate));
    EXPECT_FALSE(OpcUa_Thread_IsRunning(thread));
    EXPECT_EQ(OpcUa_Good, OpcUa_Thread_WaitForShutdown(thread, 0)); // never started counts as ended
    ASSERT_EQ(OpcUa_Good, OpcUa_Thread_Start(thread));
    EXPECT_EQ(OpcUa_BadInvalidState, OpcUa_Thread_Start(thread));
    EXPECT_TRUE(OpcUa_Thread_IsRunning(thread));
    EXPECT_EQ(OpcUa_BadTimeout, OpcUa_Thread_WaitForShutdown(thread, 20));
    ASSERT_EQ(OpcUa_Good, OpcUa_Semaphore_Post(gate.go, 1));
    EXPECT_EQ(OpcUa_Good, OpcUa_Thread_WaitForShutdown(thread, OpcUa_Infinite));
    EXPECT_FALSE(OpcUa_Thread_IsRunning(thread));
    EXPECT_EQ(1, gate.runs.load());
    OpcUa_Thread_Delete(&thread);
    EXPECT_EQ(nullptr, thread);
    OpcUa_Semaphore_Delete(&gate.go);
    EXPECT_NE(0u, OpcUa_Thread_GetCurrentThreadId());
}

struct SelfDeleting
{
    OpcUa_Thread handle = nullptr;
    OpcUa_Semaphore deleted = nullptr;
};

void selfDeletingMain(void* argument)
{
    auto* self = static_cast<SelfDeleting*>(argument);
    OpcUa_Thread_Delete(&self->handle);
    OpcUa_Semaphore_Post(self->deleted, 1);
}

// A thread object that deletes itself from its own body (a worker that ends
// itself) must not have its record touched after the body returns.
TEST(UaStackThread, DeletedFromItsOwnMainFreesItsRecordSafely)
{
    SelfDeleting self;
    ASSERT_EQ(OpcUa_Good, OpcUa_Semaphore_Create(&self.deleted, 0, 1));
    ASSERT_EQ(OpcUa_Good, OpcUa_Thread_Create(&self.handle, selfDeletingMain, &self));
    ASSERT_EQ(OpcUa_Good, OpcUa_Thread_Start(self.handle));
    ASSERT_EQ(OpcUa_Good, OpcUa_Semaphore_Wait(self.deleted));
    EXPECT_EQ(nullptr, self.handle);
    // Give the thread time to leave: the address sanitizer reports any access
    // to the freed record, and the leak checker a record never freed.
    OpcUa_Thread_Sleep(200);
    OpcUa_Semaphore_Delete(&self.deleted);
}

TEST(UaStackMutex, IsRecursive)
{
    OpcUa_Mutex m = nullptr;
    ASSERT_EQ(OpcUa_Good, OpcUa_Mutex_Create(&m));
    OpcUa_Mutex_Lock(m);
    OpcUa_Mutex_Lock(m);
    OpcUa_Mutex_Unlock(m);
    OpcUa_Mutex_Unlock(m);
    OpcUa_Mutex_Delete(&m);
    EXPECT_EQ(nullptr, m);
}

TEST(UaStackSemaphore, CountsUpToItsMaximumAndTimesOut)
{
    OpcUa_Semaphore s = nullptr;
    EXPECT_EQ(OpcUa_BadInvalidArgument, OpcUa_Semaphore_Create(&s, 3, 2));
    ASSERT_EQ(OpcUa_Good, OpcUa_Semaphore_Create(&s, 1, 2));
    EXPECT_EQ(OpcUa_Good, OpcUa_Semaphore_Post(s, 1));
    EXPECT_EQ(OpcUa_BadTooManyPosts, OpcUa_Semaphore_Post(s, 1));
    EXPECT_EQ(OpcUa_Good, OpcUa_Semaphore_TimedWait(s, 0));
    EXPECT_EQ(OpcUa_Good, OpcUa_Semaphore_Wait(s));
    EXPECT_EQ(OpcUa_GoodNonCriticalTimeout, OpcUa_Semaphore_TimedWait(s, 10));
    EXPECT_EQ(OpcUa_Good, OpcUa_Semaphore_Post(s, 2));
    OpcUa_Semaphore_Delete(&s);
}

TEST(UaStackList, KeepsOrderAndRemovesWhileIterating)
{
    OpcUa_List* list = nullptr;
    ASSERT_EQ(OpcUa_Good, OpcUa_List_Create(&list));
    int a = 1, b = 2, c = 3;
    OpcUa_List_AddElementToEnd(list, &b);
    OpcUa_List_AddElementToEnd(list, &c);
    OpcUa_List_AddElement(list, &a);
    OpcUa_UInt32 count = 0;
    OpcUa_List_GetNumberOfElements(list, &count);
    EXPECT_EQ(3u, count);
    std::vector<int> order;
    OpcUa_List_ResetCurrent(list);
    for (void* p = OpcUa_List_GetCurrentElement(list); p; p = OpcUa_List_GetNextElement(list))
        order.push_back(*static_cast<int*>(p));
    EXPECT_EQ((std::vector<int>{1, 2, 3}), order);
    OpcUa_List_ResetCurrent(list);
    OpcUa_List_GetNextElement(list);
    EXPECT_EQ(&c, OpcUa_List_DeleteCurrentElement(list));
    EXPECT_EQ(nullptr, OpcUa_List_GetElement(list, &b));
    EXPECT_EQ(OpcUa_BadNotFound, OpcUa_List_DeleteElement(list, &b));
    EXPECT_EQ(&a, OpcUa_List_RemoveFirstElement(list));
    OpcUa_List_GetNumberOfElements(list, &count);
    EXPECT_EQ(1u, count);
    OpcUa_List_Delete(&list);
    EXPECT_EQ(nullptr, list);
}

struct Captured
{
    std::vector<std::pair<OpcUa_UInt32, std::string>> lines;
};

void capture(OpcUa_UInt32 level, const OpcUa_CharA* message, OpcUa_Void* context)
{
    static_cast<Captured*>(context)->lines.emplace_back(level, message);
}

TEST(UaStackSetup, RecordGatesTheTraceAndSetsTheSerializerLimits)
{
    Captured captured;
    OpcUa_Trace_SetSink(capture, &captured);
    OpcUa_Handle platform = nullptr;
    ASSERT_EQ(OpcUa_Good, OpcUa_P_Initialize(&platform));
    EXPECT_EQ(OpcUa_BadInvalidState, OpcUa_P_Initialize(&platform));

    OpcUa_ProxyStubConfiguration record;
    memset(&record, 0, sizeof(record));
    EXPECT_EQ(OpcUa_BadInvalidState, OpcUa_ProxyStub_ReInitialize(&record));
    record.bProxyStub_Trace_Enabled = OpcUa_True;
    record.uProxyStub_Trace_Level = OPCUA_TRACE_LEVEL_ERROR | OPCUA_TRACE_LEVEL_WARNING;
    record.iSerializer_MaxAlloc = -1;
    record.iSerializer_MaxStringLength = 100;
    record.iSerializer_MaxByteStringLength = -1;
    record.iSerializer_MaxArrayLength = 10;
    record.iSerializer_MaxMessageSize = -1;
    ASSERT_EQ(OpcUa_Good, OpcUa_ProxyStub_Initialize(platform, &record));

    EXPECT_TRUE(OpcUa_Trace_Imp(OPCUA_TRACE_LEVEL_ERROR, "failed [ret=0x%08x]\n", 0x80340000u));
    EXPECT_FALSE(OpcUa_Trace_Imp(OPCUA_TRACE_LEVEL_INFO, "not shown\n"));
    ASSERT_EQ(1u, captured.lines.size());
    EXPECT_EQ("failed [ret=0x80340000]\n", captured.lines[0].second);

    OpcUa_ProxyStubConfiguration inForce;
    OpcUa_ProxyStub_GetConfiguration(&inForce);
    EXPECT_EQ(100, inForce.iSerializer_MaxStringLength);
    EXPECT_EQ(OPCUA_SERIALIZER_DEFAULT_MAXALLOC, inForce.iSerializer_MaxAlloc);
    std::string config = OpcUa_ProxyStub_GetConfigString();
    EXPECT_NE(std::string::npos, config.find("\\MaxStringLength: 100\\"));

    // The decoder takes its limits from the record in force: at most 10 array elements.
    std::vector<OpcUa_Byte> elevenInts = {0x86, 11, 0, 0, 0};
    elevenInts.resize(elevenInts.size() + 44);
    OpcUa::BinaryDecoder decoder(elevenInts.data(), elevenInts.size());
    OpcUa_Variant v;
    EXPECT_EQ(OpcUa_BadEncodingLimitsExceeded, decoder.readVariant(&v));
    elevenInts[1] = 10;
    OpcUa::BinaryDecoder fits(elevenInts.data(), elevenInts.size() - 4);
    EXPECT_EQ(OpcUa_Good, fits.readVariant(&v));
    OpcUa_Variant_Clear(&v);

    record.bProxyStub_Trace_Enabled = OpcUa_False;
    ASSERT_EQ(OpcUa_Good, OpcUa_ProxyStub_ReInitialize(&record));
    EXPECT_FALSE(OpcUa_Trace_Imp(OPCUA_TRACE_LEVEL_ERROR, "off\n"));
    EXPECT_EQ(1u, captured.lines.size());

    OpcUa_ProxyStub_Clear();
    OpcUa_P_Clean(&platform);
    EXPECT_EQ(nullptr, platform);
    OpcUa_Trace_SetSink(nullptr, nullptr);

    for (const char* text : {OpcUa_P_GetVersion(), OpcUa_P_GetConfigString(), OpcUa_ProxyStub_GetVersion(),
                             OpcUa_ProxyStub_GetStaticConfigString()})
        EXPECT_NE(nullptr, strchr(text, '\\')) << text;
}
} // namespace
