// The transaction manager's Call: method handles from the root, ConditionRefresh through the
// subscription manager, every failure reported at its method's index while the other methods run,
// and the library's own checks of method ownership and declared argument types.
#include "method_arguments.h"
#include "pendingcallrequest.h"
#include "transaction_fixture.h"

#include <referencetypes.h>
#include <uatracecapture.h>
#include <uavariant.h>

#include <atomic>

using namespace runtimetest;
using uaserver::testing::eventually;

namespace
{
struct MethodCall
{
    UaNodeId objectId;
    UaNodeId methodId;
    std::vector<UaVariant> inputs;
};

OpcUa_CallRequest* newCallRequest(OpcUa_UInt32 requestHandle, const std::vector<MethodCall>& calls)
{
    auto* request = newRequest<OpcUa_CallRequest>(OpcUa_CallRequest_EncodeableType, requestHandle);
    request->NoOfMethodsToCall = static_cast<OpcUa_Int32>(calls.size());
    request->MethodsToCall = newArray<OpcUa_CallMethodRequest>(calls.size());
    for (std::size_t i = 0; i < calls.size(); ++i)
    {
        OpcUa_CallMethodRequest& method = request->MethodsToCall[i];
        calls[i].objectId.copyTo(&method.ObjectId);
        calls[i].methodId.copyTo(&method.MethodId);
        method.NoOfInputArguments = static_cast<OpcUa_Int32>(calls[i].inputs.size());
        method.InputArguments = newArray<OpcUa_Variant>(calls[i].inputs.size());
        for (std::size_t j = 0; j < calls[i].inputs.size(); ++j)
            calls[i].inputs[j].copyTo(&method.InputArguments[j]);
    }
    return request;
}

UaVariant uint32(OpcUa_UInt32 value)
{
    UaVariant variant;
    variant.setUInt32(value);
    return variant;
}

UaVariant text(const char* value)
{
    UaVariant variant;
    variant.setString(UaString(value));
    return variant;
}

// A method handle that counts its release.
class CountedMethodHandle : public MethodHandle
{
public:
    CountedMethodHandle(MethodManager* methodManager, std::atomic<int>& released)
        : MethodHandle(methodManager, nullptr, nullptr), m_released(released)
    {
    }
    ~CountedMethodHandle() override { ++m_released; }

private:
    std::atomic<int>& m_released;
};

const UaNodeId kConditionType(2782, 0);
const UaNodeId kConditionRefresh(3875, 0);
const UaNodeId kObject(500, kNs);
// An object that has none of the methods, and one whose type's supertype has method 607.
const UaNodeId kStranger(501, kNs);
const UaNodeId kTyped(502, kNs);
const UaNodeId kType(700, kNs);
const UaNodeId kSuperType(701, kNs);
// Method 607 declares (Double, UInt16 array).
const UaNodeId kDeclaring(607, kNs);
const UaNodeId kInputArguments(608, kNs);

class CallTest : public TransactionManagerFixture
{
protected:
    CallTest()
    {
        refusing.answer = Answer::Refuse;
        onThread.answer = Answer::AfterFinish;
        // Method numbers: 601 inline, 602 from a thread, 603 refused, 604 a handle without method
        // manager, 605 a lookup that fails, any other none.
        server.root.methodHandles = [this](Session*, const OpcUa_NodeId&, const OpcUa_NodeId& methodId,
                                           UaStatus& result) -> MethodHandle*
        {
            MethodManager* managers[] = {&inline_, &onThread, &refusing, nullptr};
            const OpcUa_UInt32 method = methodId.NamespaceIndex == kNs ? numberOf(methodId) : 0;
            if (method >= 601 && method <= 604)
            {
                ++created;
                return new CountedMethodHandle(managers[method - 601], released);
            }
            if (method == 607)
            {
                ++created;
                return new CountedMethodHandle(&inline_, released);
            }
            if (method == 605)
                result = OpcUa_BadNodeIdInvalid;
            return nullptr;
        };
    }
    ~CallTest() override { onThread.threads.join(); }

    // The address space the ownership and argument checks browse.
    void declareComponents()
    {
        for (OpcUa_UInt32 method = 601; method <= 604; ++method)
            server.root.addReference(kObject, ReferenceTypeId::HasComponent, UaNodeId(method, kNs),
                                     OpcUa_NodeClass_Method);
        server.root.addReference(kObject, ReferenceTypeId::HasOrderedComponent, kDeclaring,
                                 OpcUa_NodeClass_Method);
        server.root.addReference(kDeclaring, ReferenceTypeId::HasProperty, kInputArguments,
                                 OpcUa_NodeClass_Variable, UaQualifiedName("InputArguments", 0));
        UaNode* property = uaserver::testing::inputArgumentsProperty(kInputArguments,
                                                                     {{11, -1}, {5, 1}}); // Double, UInt16[]
        server.root.addLookUpNode(property);
        property->releaseReference();
        server.root.addReference(kTyped, ReferenceTypeId::HasTypeDefinition, kType,
                                 OpcUa_NodeClass_ObjectType);
        server.root.addReference(kSuperType, ReferenceTypeId::HasSubtype, kType, OpcUa_NodeClass_ObjectType);
        server.root.addReference(kSuperType, ReferenceTypeId::HasComponent, kDeclaring,
                                 OpcUa_NodeClass_Method);
        // A variable of the object is no method of it.
        server.root.addReference(kStranger, ReferenceTypeId::HasComponent, UaNodeId(601, kNs),
                                 OpcUa_NodeClass_Variable);
    }

    PendingCallRequest* call(OpcUa_CallRequest* request, OpcUa_Handle& context)
    {
        return newPending<PendingCallRequest>(endpoint, kChannel, session, request,
                                              OpcUa_CallRequest_EncodeableType,
                                              OpcUa_CallResponse_EncodeableType, context);
    }

    FakeMethodManager inline_{log};
    FakeMethodManager onThread{log};
    FakeMethodManager refusing{log};
    RecordingConditionRefresh refresh;
    std::atomic<int> created{0};
    std::atomic<int> released{0};
};

TEST_F(CallTest, EveryMethodIsAnsweredAtItsIndexWhateverTheOthersDo)
{
    declareComponents();
    startManager(&refresh);
    const std::vector<MethodCall> calls = {
        {kConditionType, kConditionRefresh, {uint32(5)}},
        {kConditionType, kConditionRefresh, {text("5")}},
        {kConditionType, kConditionRefresh, {uint32(5), uint32(6)}},
        {kObject, UaNodeId(605, kNs), {}},
        {kObject, UaNodeId(606, kNs), {}},
        {kObject, UaNodeId(604, kNs), {}},
        {kObject, UaNodeId(603, kNs), {}},
        {kObject, UaNodeId(602, kNs), {uint32(1), text("two")}},
        {kObject, UaNodeId(601, kNs), {}},
    };
    UaTraceCapture trace(7);
    OpcUa_Handle context = nullptr;
    ASSERT_TRUE(manager->beginMethodCall(call(newCallRequest(21, calls), context)).isGood());
    const auto* response =
        endpoint.waitForAnswer(context).as<OpcUa_CallResponse>(OpcUa_CallResponse_EncodeableType);
    ASSERT_NE(response, nullptr);
    ASSERT_EQ(response->NoOfResults, 9);

    struct Expected
    {
        OpcUa_StatusCode status;
        OpcUa_Int32 inputArgumentResults;
        OpcUa_Int32 outputs;
    };
    const Expected expected[] = {
        {OpcUa_Good, 1, 0},                // the refresh started for subscription 5
        {OpcUa_BadInvalidArgument, 0, 0},  // a String is no subscription id
        {OpcUa_BadInvalidArgument, 0, 0},  // nor are two arguments
        {OpcUa_BadNodeIdInvalid, 0, 0},    // the lookup's own status
        {OpcUa_BadNodeIdUnknown, 0, 0},    // no handle, no status: not a success
        {OpcUa_BadInternalError, 0, 0},    // a handle without method manager
        {OpcUa_BadUserAccessDenied, 0, 0}, // the method manager's refusal
        {OpcUa_Good, 2, 1},                // answered from another thread
        {OpcUa_Good, 0, 1},                // answered inside beginCall
    };
    for (int i = 0; i < 9; ++i)
    {
        SCOPED_TRACE(i);
        const OpcUa_CallMethodResult& result = response->Results[i];
        EXPECT_EQ(result.StatusCode, expected[i].status);
        EXPECT_EQ(result.NoOfInputArgumentResults, expected[i].inputArgumentResults);
        EXPECT_EQ(result.NoOfOutputArguments, expected[i].outputs);
    }
    EXPECT_EQ(response->Results[0].InputArgumentResults[0], static_cast<OpcUa_StatusCode>(OpcUa_Good));
    EXPECT_EQ(response->Results[7].OutputArguments[0].Value.UInt32, 2u);
    ASSERT_EQ(refresh.calls.size(), 1u);
    EXPECT_EQ(refresh.calls[0].first, static_cast<Session*>(session));
    EXPECT_EQ(refresh.calls[0].second, 5u);
    EXPECT_TRUE(eventually([&] { return released == created; })) << "every method handle released";
    EXPECT_EQ(created, 4);
    EXPECT_TRUE(eventually([&] { return session->activeServiceCount() == 0; }));

    for (const char* error : {"Error: UaTransactionManager::beginMethodCall - Call[1] for Refresh failed "
                              "based on invalid subscription "
                              "id parameter",
                              "Error: UaTransactionManager::beginMethodCall - Call[2] for Refresh failed "
                              "based on invalid subscription "
                              "id parameter",
                              "Error: UaTransactionManager::beginMethodCall - Call[3] failed - can not get "
                              "MethodHandle [ret=0x80330000]",
                              "Error: UaTransactionManager::beginMethodCall - Call[4] failed - can not get "
                              "MethodHandle [ret=0x80340000]",
                              "Error: UaTransactionManager::beginMethodCall - Call[5] failed - MethodManager "
                              "in MethodHandle is NULL",
                              "Error: UaTransactionManager::beginMethodCall - Call[6] failed "
                              "MethodManager::beginCall [ret=0x801f0000]"})
        EXPECT_EQ(trace.count(1, error), 1u) << error;
    for (const char* dump :
         {"Call Request:", "  NoOfMethodsToCall = 9", "    Method 0:", "      ObjectId = NS0|Numeric|2782",
          "      MethodId = NS0|Numeric|3875", "      NoOfInputArguments = 1",
          "        InputArgutment[0] = 5", "        InputArgutment[1] = two",
          "Call Response [Request=21]:", "  NoOfResults = 9", "    Method 6:", "      Status = 0x801f0000",
          "      NoOfInputArgumentResults = 2", "        Status[1] = 0x0", "        OutputArgutment[0] = 2"})
        EXPECT_TRUE(trace.contains(7, dump)) << dump;
    EXPECT_TRUE(trace.contains(6, "--> UaTransactionManager::beginMethodCall with 9 nodes"));
}

TEST_F(CallTest, ConditionRefreshWithoutASubscriptionManagerIsAnInternalError)
{
    startManager(nullptr);
    OpcUa_Handle context = nullptr;
    ASSERT_TRUE(manager
                    ->beginMethodCall(
                        call(newCallRequest(22, {{kConditionType, kConditionRefresh, {uint32(1)}}}), context))
                    .isGood());
    const auto* response =
        endpoint.waitForAnswer(context).as<OpcUa_CallResponse>(OpcUa_CallResponse_EncodeableType);
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(response->Results[0].StatusCode, static_cast<OpcUa_StatusCode>(OpcUa_BadInternalError));
}

TEST_F(CallTest, AFailingRefreshReportsItsStatusWithoutArgumentResults)
{
    refresh.result = OpcUa_BadSubscriptionIdInvalid;
    startManager(&refresh);
    OpcUa_Handle context = nullptr;
    ASSERT_TRUE(manager
                    ->beginMethodCall(
                        call(newCallRequest(23, {{kConditionType, kConditionRefresh, {uint32(9)}}}), context))
                    .isGood());
    const auto* response =
        endpoint.waitForAnswer(context).as<OpcUa_CallResponse>(OpcUa_CallResponse_EncodeableType);
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(response->Results[0].StatusCode, static_cast<OpcUa_StatusCode>(OpcUa_BadSubscriptionIdInvalid));
    EXPECT_EQ(response->Results[0].NoOfInputArgumentResults, 0);
}

TEST_F(CallTest, MethodsAnsweredInsideTheBeginAreSentByTheBeginOnesAnsweredLaterByTheirThread)
{
    declareComponents();
    startManager(&refresh);
    OpcUa_Handle insideContext = nullptr;
    PendingCallRequest* inside =
        call(newCallRequest(24, {{kObject, UaNodeId(601, kNs), {}}, {kObject, UaNodeId(601, kNs), {}}}),
             insideContext);
    EXPECT_TRUE(answeredInsideBegin([&] { return manager->beginMethodCall(inside); }, insideContext));
    EXPECT_EQ(endpoint.waitForAnswer(insideContext).kind, FakeAnswerKind::Response);

    uaserver::testing::Gate afterBegin;
    onThread.gate = &afterBegin;
    OpcUa_Handle laterContext = nullptr;
    ASSERT_TRUE(
        manager->beginMethodCall(call(newCallRequest(25, {{kObject, UaNodeId(602, kNs), {}}}), laterContext))
            .isGood());
    EXPECT_FALSE(endpoint.isAnswered(laterContext));
    // Answered once the begin is done: the method manager's thread sends it and has sent it when it
    // ends.
    afterBegin.open();
    onThread.threads.join();
    EXPECT_TRUE(endpoint.isAnswered(laterContext));
    EXPECT_EQ(endpoint.waitForAnswer(laterContext).kind, FakeAnswerKind::Response);
}

UaVariant number(double value)
{
    UaVariant variant;
    variant.setDouble(value);
    return variant;
}

UaVariant uint16s(std::vector<OpcUa_UInt16> values)
{
    OpcUa_Variant value;
    OpcUa_Variant_Initialize(&value);
    value.Datatype = OpcUaType_UInt16;
    value.ArrayType = OpcUa_VariantArrayType_Array;
    value.Value.Array.Length = static_cast<OpcUa_Int32>(values.size());
    value.Value.Array.Value.UInt16Array = newArray<OpcUa_UInt16>(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        value.Value.Array.Value.UInt16Array[i] = values[i];
    UaVariant variant(value);
    OpcUa_Variant_Clear(&value);
    return variant;
}

// Before a method manager sees a call, the library checks that the method belongs to the object
// (or to its type or a supertype) and that the arguments have the declared types and shapes; no
// argument is converted.
TEST_F(CallTest, OwnershipAndDeclaredArgumentsAreCheckedBeforeAnyMethodManager)
{
    declareComponents();
    startManager(&refresh);
    const auto good = std::vector<UaVariant>{number(3), uint16s({4, 5})};
    struct Row
    {
        const char* name;
        MethodCall call;
        OpcUa_StatusCode status;
        std::vector<OpcUa_StatusCode> inputResults; // of a refusal
        bool reachesManager;
    };
    const std::vector<Row> rows = {
        {"declared types", {kObject, kDeclaring, good}, OpcUa_Good, {}, true},
        {"method of the type's supertype", {kTyped, kDeclaring, good}, OpcUa_Good, {}, true},
        {"method of another object", {kStranger, UaNodeId(601, kNs), {}}, OpcUa_BadMethodInvalid, {}, false},
        {"method of neither object nor type",
         {kTyped, UaNodeId(601, kNs), {}},
         OpcUa_BadMethodInvalid,
         {},
         false},
        {"a String for a Double",
         {kObject, kDeclaring, {text("3"), uint16s({4})}},
         OpcUa_BadInvalidArgument,
         {OpcUa_BadTypeMismatch, OpcUa_Good},
         false},
        {"a scalar for an array",
         {kObject, kDeclaring, {number(3), uint32(4)}},
         OpcUa_BadInvalidArgument,
         {OpcUa_Good, OpcUa_BadTypeMismatch},
         false},
        {"an empty value",
         {kObject, kDeclaring, {UaVariant(), uint16s({})}},
         OpcUa_BadInvalidArgument,
         {OpcUa_BadTypeMismatch, OpcUa_Good},
         false},
        {"one missing", {kObject, kDeclaring, {number(3)}}, OpcUa_BadArgumentsMissing, {}, false},
        {"one too many",
         {kObject, kDeclaring, {number(3), uint16s({4}), number(5)}},
         OpcUa_BadTooManyArguments,
         {},
         false},
        {"no declaration: the method manager checks",
         {kObject, UaNodeId(601, kNs), {text("anything")}},
         OpcUa_Good,
         {},
         true},
    };
    std::vector<MethodCall> calls;
    for (const Row& row : rows)
        calls.push_back(row.call);
    OpcUa_Handle context = nullptr;
    ASSERT_TRUE(manager->beginMethodCall(call(newCallRequest(26, calls), context)).isGood());
    const auto* response =
        endpoint.waitForAnswer(context).as<OpcUa_CallResponse>(OpcUa_CallResponse_EncodeableType);
    ASSERT_NE(response, nullptr);
    ASSERT_EQ(response->NoOfResults, static_cast<OpcUa_Int32>(rows.size()));
    std::vector<std::string> reached;
    for (std::size_t i = 0; i < rows.size(); ++i)
    {
        SCOPED_TRACE(rows[i].name);
        const OpcUa_CallMethodResult& result = response->Results[i];
        EXPECT_EQ(result.StatusCode, rows[i].status);
        if (OpcUa_IsBad(rows[i].status))
        {
            ASSERT_EQ(result.NoOfInputArgumentResults, static_cast<OpcUa_Int32>(rows[i].inputResults.size()));
            for (std::size_t j = 0; j < rows[i].inputResults.size(); ++j)
                EXPECT_EQ(result.InputArgumentResults[j], rows[i].inputResults[j]) << j;
        }
        if (rows[i].reachesManager)
            reached.push_back("method call " + std::to_string(i + 1));
    }
    EXPECT_EQ(reached, log.lines());
    EXPECT_TRUE(eventually([&] { return released == created; })) << "every method handle released";
}
} // namespace
