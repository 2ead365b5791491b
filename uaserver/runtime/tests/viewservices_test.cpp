// The view services' work on a started server manager with namespace 0: the reference type check,
// continuation points kept on a session, BrowseNext and path translation.
#include "servertestbed.h"
#include "registerednode.h"
#include "uasession.h"
#include "viewservices.h"

#include <iomanageruanode.h>
#include <nodemanageruanode.h>
#include <uaobjectbase.h>
#include <uaplainnodes.h>

#include <uatracecapture.h>

#include <fake_endpoint.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace servertest;
using uaserver::testing::newMessage;

namespace
{
// Namespace 2 with two nodes of string id: an object and a reference type.
class StringIdNodeManager : public NodeManagerUaNode, public IOManagerUaNode
{
public:
    StringIdNodeManager() : NodeManagerUaNode("urn:test:strings", 101) {}
    UaStatus afterStartUp() override
    {
        const OpcUa_UInt16 ns = getNameSpaceIndex();
        UaStatus status = addUaNode(new UaFolder("Pump", UaNodeId("Pump", ns), "en"));
        if (status.isGood())
            status = addUaNode(new UaReferenceTypePlain(
                UaNodeId("Feeds", ns), UaQualifiedName("Feeds", ns), UaLocalizedText("en", "Feeds"),
                UaLocalizedText(), false, false, UaLocalizedText("en", "FedBy"), nullptr));
        return status;
    }
    UaStatus beforeShutDown() override { return OpcUa_Good; }
    IOManager* getIOManager(UaNode*, OpcUa_Int32) const override
    {
        return const_cast<StringIdNodeManager*>(this);
    }
};

// Translates every path to one target and answers the status a test chose.
class TranslatingNodeManager : public RecordingNodeManager
{
public:
    UaStatus translateBrowsePathToNodeId(const ServiceContext&, const UaNodeId&, UaRelativePathElements&,
                                         UaBrowsePathTargetArray& targets) override
    {
        targets.create(1);
        UaNodeId(7, 3).copyTo(&targets[0].TargetId.NodeId);
        return answer;
    }
};

// Browses every node to nothing; node 1 fails with a status that carries a text.
class DiagnosingNodeManager : public RecordingNodeManager
{
public:
    UaStatus browse(const ServiceContext&, BrowseContext& browseContext,
                    UaReferenceDescriptionArray&) override
    {
        UaStatus status;
        if (browseContext.startingNodeId().identifierNumeric() == 1)
            status.setStatus(OpcUa_BadNodeIdUnknown, "no such pump");
        return status;
    }
};

// One message of the stack, freed as the stack frees it.
struct Message
{
    Message(OpcUa_EncodeableType* messageType, OpcUa_Void* object) : type(messageType), message(object) {}
    Message(Message&& other) noexcept : type(other.type), message(other.message) { other.message = nullptr; }
    Message(const Message&) = delete;
    Message& operator=(const Message&) = delete;
    ~Message()
    {
        if (message != nullptr)
            OpcUa_EncodeableObject_Delete(type, &message);
    }
    template <typename T> T* as() { return static_cast<T*>(message); }

    OpcUa_EncodeableType* type;
    OpcUa_Void* message;
};

void setNodes(OpcUa_BrowseRequest& request, const std::vector<UaNodeId>& nodes, const UaNodeId& referenceType)
{
    request.NoOfNodesToBrowse = static_cast<OpcUa_Int32>(nodes.size());
    request.NodesToBrowse = static_cast<OpcUa_BrowseDescription*>(
        OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(nodes.size() * sizeof(OpcUa_BrowseDescription))));
    for (std::size_t i = 0; i < nodes.size(); ++i)
    {
        OpcUa_BrowseDescription& node = request.NodesToBrowse[i];
        OpcUa_BrowseDescription_Initialize(&node);
        nodes[i].copyTo(&node.NodeId);
        referenceType.copyTo(&node.ReferenceTypeId);
        node.IncludeSubtypes = OpcUa_True;
        node.ResultMask = OpcUa_BrowseResultMask_All;
    }
}

std::vector<std::string> targetsOf(const OpcUa_BrowseResult& result)
{
    std::vector<std::string> targets;
    for (OpcUa_Int32 i = 0; i < result.NoOfReferences; ++i)
        targets.push_back(UaNodeId(result.References[i].NodeId.NodeId).toFullString().toUtf8());
    return targets;
}

class ViewServicesTest : public ::testing::Test
{
protected:
    // The session takes its continuation-point limit from the running configuration.
    void startSession(OpcUa_UInt32 maxBrowseContinuationPoints)
    {
        server.config.maxBrowseContinuationPoints = maxBrowseContinuationPoints;
        session = new UaSession(1, UaNodeId(1, 1));
        OpcUa_RequestHeader header;
        OpcUa_RequestHeader_Initialize(&header);
        context.setSession(session, header);
    }
    ~ViewServicesTest() override
    {
        context = ServiceContext();
        if (session != nullptr)
            session->releaseReference();
    }

    Message browseRequest(const std::vector<UaNodeId>& nodes, OpcUa_UInt32 maxReferences,
                          const UaNodeId& referenceType = UaNodeId())
    {
        Message request{&OpcUa_BrowseRequest_EncodeableType,
                        newMessage<OpcUa_BrowseRequest>(OpcUa_BrowseRequest_EncodeableType)};
        request.as<OpcUa_BrowseRequest>()->RequestedMaxReferencesPerNode = maxReferences;
        setNodes(*request.as<OpcUa_BrowseRequest>(), nodes, referenceType);
        return request;
    }
    Message browse(Message& request, UaStatus& status)
    {
        Message response{&OpcUa_BrowseResponse_EncodeableType,
                         newMessage<OpcUa_BrowseResponse>(OpcUa_BrowseResponse_EncodeableType)};
        status =
            ViewServices::browse(context, server.root(), server.serverManager,
                                 *request.as<OpcUa_BrowseRequest>(), *response.as<OpcUa_BrowseResponse>());
        return response;
    }
    Message browseNext(const std::vector<OpcUa_ByteString*>& points, bool release)
    {
        Message request{&OpcUa_BrowseNextRequest_EncodeableType,
                        newMessage<OpcUa_BrowseNextRequest>(OpcUa_BrowseNextRequest_EncodeableType)};
        auto* next = request.as<OpcUa_BrowseNextRequest>();
        next->ReleaseContinuationPoints = release;
        next->NoOfContinuationPoints = static_cast<OpcUa_Int32>(points.size());
        next->ContinuationPoints = static_cast<OpcUa_ByteString*>(
            OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(points.size() * sizeof(OpcUa_ByteString))));
        for (std::size_t i = 0; i < points.size(); ++i)
        {
            OpcUa_ByteString_Initialize(&next->ContinuationPoints[i]);
            OpcUa_ByteString_CopyTo(points[i], &next->ContinuationPoints[i]);
        }
        Message response{&OpcUa_BrowseNextResponse_EncodeableType,
                         newMessage<OpcUa_BrowseNextResponse>(OpcUa_BrowseNextResponse_EncodeableType)};
        EXPECT_TRUE(
            ViewServices::browseNext(context, server.root(), *next, *response.as<OpcUa_BrowseNextResponse>())
                .isGood());
        return response;
    }

    // The targets of the first node of a Browse response and of every BrowseNext that follows its
    // continuation points to the end; a page that is not Good ends it.
    std::vector<std::string> allPages(Message& firstResponse)
    {
        std::vector<std::string> collected;
        OpcUa_BrowseResult* result = &firstResponse.as<OpcUa_BrowseResponse>()->Results[0];
        std::vector<std::unique_ptr<Message>> answers;
        while (true)
        {
            EXPECT_EQ(result->StatusCode, OpcUa_Good);
            if (result->StatusCode != OpcUa_Good)
                break;
            for (const std::string& target : targetsOf(*result))
                collected.push_back(target);
            if (result->ContinuationPoint.Length <= 0)
                break;
            answers.push_back(std::make_unique<Message>(browseNext({&result->ContinuationPoint}, false)));
            result = &answers.back()->as<OpcUa_BrowseNextResponse>()->Results[0];
        }
        return collected;
    }

    // The node managers outlive the server, whose shut-down reaches them.
    StringIdNodeManager strings;
    TranslatingNodeManager translating;
    DiagnosingNodeManager diagnosing;
    StartedServer server;
    UaSession* session = nullptr;
    ServiceContext context;
};
} // namespace

TEST_F(ViewServicesTest, ReferenceTypeMustBeReferencesOrASubtypeOrNameAReferenceTypeNode)
{
    ASSERT_TRUE(strings.startUp(&server.serverManager).isGood());
    const OpcUa_UInt16 ns = strings.getNameSpaceIndex();
    struct Case
    {
        const char* name;
        UaNodeId typeId;
        bool browsable;
    } cases[] = {
        {"null", UaNodeId(), true},
        {"References", UaNodeId(31, 0), true},
        {"HasComponent", UaNodeId(47, 0), true},
        {"unknown number", UaNodeId(99999, 0), false},
        {"Objects folder", UaNodeId(85, 0), false},
        {"string id of an object", UaNodeId("Pump", ns), false},
        {"string id of a reference type", UaNodeId("Feeds", ns), true},
        {"unknown string id", UaNodeId("Nothing", ns), false},
        {"namespace without node manager", UaNodeId("Feeds", 77), false},
    };
    startSession(10);
    for (const Case& c : cases)
    {
        OpcUa_NodeId typeId;
        c.typeId.copyTo(&typeId);
        EXPECT_EQ(ViewServices::isBrowsableReferenceType(context, server.serverManager, typeId), c.browsable)
            << c.name;
        OpcUa_NodeId_Clear(&typeId);
    }

    // In a Browse the check decides per node: References without subtypes passes, 99999 does not.
    Message request = browseRequest({UaNodeId(84, 0), UaNodeId(84, 0)}, 0);
    auto* nodes = request.as<OpcUa_BrowseRequest>()->NodesToBrowse;
    UaNodeId(31, 0).copyTo(&nodes[0].ReferenceTypeId);
    nodes[0].IncludeSubtypes = OpcUa_False;
    UaNodeId(99999, 0).copyTo(&nodes[1].ReferenceTypeId);
    UaStatus status;
    Message response = browse(request, status);
    EXPECT_TRUE(status.isGood());
    const auto* browsed = response.as<OpcUa_BrowseResponse>();
    ASSERT_EQ(browsed->NoOfResults, 2);
    EXPECT_EQ(browsed->Results[0].StatusCode, OpcUa_Good);
    EXPECT_EQ(browsed->Results[1].StatusCode, OpcUa_BadReferenceTypeIdInvalid);
    EXPECT_EQ(browsed->Results[1].NoOfReferences, 0);
}

TEST_F(ViewServicesTest, AFaultOnlyWhenEveryNodeFailsInTheView)
{
    startSession(10);
    struct Case
    {
        const char* name;
        bool thirdNodeHasBadType;
        OpcUa_StatusCode service;
    } cases[] = {{"three of three", false, OpcUa_BadViewIdUnknown}, {"two of three", true, OpcUa_Good}};
    for (const Case& c : cases)
    {
        Message request = browseRequest({UaNodeId(84, 0), UaNodeId(85, 0), UaNodeId(86, 0)}, 0);
        auto* browse = request.as<OpcUa_BrowseRequest>();
        UaNodeId(99999, 0).copyTo(&browse->View.ViewId);
        if (c.thirdNodeHasBadType)
            UaNodeId(99999, 0).copyTo(&browse->NodesToBrowse[2].ReferenceTypeId);
        UaStatus status;
        Message response = this->browse(request, status);
        EXPECT_EQ(status.statusCode(), c.service) << c.name;
        const auto* browsed = response.as<OpcUa_BrowseResponse>();
        ASSERT_EQ(browsed->NoOfResults, 3) << c.name;
        EXPECT_EQ(browsed->Results[0].StatusCode, OpcUa_BadViewIdUnknown) << c.name;
        EXPECT_EQ(browsed->Results[1].StatusCode, OpcUa_BadViewIdUnknown) << c.name;
    }
}

TEST_F(ViewServicesTest, ContinuationPointsOfOneRequestStopAtTheSessionLimit)
{
    startSession(2);
    ASSERT_EQ(session->getMaxBrowseContinuationPoints(), 2);
    // Points from an earlier request do not count against this one.
    Message earlier = browseRequest({UaNodeId(84, 0)}, 1);
    UaStatus status;
    Message kept = browse(earlier, status);
    ASSERT_EQ(kept.as<OpcUa_BrowseResponse>()->Results[0].ContinuationPoint.Length, 4);

    Message request = browseRequest({UaNodeId(84, 0), UaNodeId(85, 0), UaNodeId(86, 0)}, 1);
    Message response = browse(request, status);
    EXPECT_TRUE(status.isGood());
    const auto* browsed = response.as<OpcUa_BrowseResponse>();
    ASSERT_EQ(browsed->NoOfResults, 3);
    for (int i = 0; i < 2; ++i)
    {
        EXPECT_EQ(browsed->Results[i].StatusCode, OpcUa_Good) << i;
        EXPECT_EQ(browsed->Results[i].NoOfReferences, 1) << i;
        EXPECT_EQ(browsed->Results[i].ContinuationPoint.Length, 4) << i;
    }
    EXPECT_EQ(browsed->Results[2].StatusCode, OpcUa_BadNoContinuationPoints);
    EXPECT_EQ(browsed->Results[2].NoOfReferences, 0);
    EXPECT_LE(browsed->Results[2].ContinuationPoint.Length, 0);
}

TEST_F(ViewServicesTest, BrowseNextToTheEndGivesWhatOneLargeBrowseGives)
{
    startSession(10);
    for (OpcUa_UInt32 node : {84u, 86u, 88u})
    {
        UaStatus status;
        Message whole = browseRequest({UaNodeId(node, 0)}, 0);
        Message all = browse(whole, status);
        const std::vector<std::string> expected = targetsOf(all.as<OpcUa_BrowseResponse>()->Results[0]);
        ASSERT_GT(expected.size(), 1u) << node;

        std::unique_ptr<Message> pieces;
        {
            // The request is gone before the point is continued: the context keeps its own copies.
            Message first = browseRequest({UaNodeId(node, 0)}, 1);
            pieces = std::make_unique<Message>(browse(first, status));
        }
        const std::vector<std::string> collected = allPages(*pieces);
        EXPECT_EQ(collected, expected) << node;
    }
}

// A registered alias is browsed as the node it stands for, whole and page by page; an alias the
// session does not know is browsed as it stands.
TEST_F(ViewServicesTest, ARegisteredAliasBrowsesAsItsNode)
{
    startSession(10);
    const OpcUa_UInt32 alias = session->registerNode(new RegisteredNode(UaNodeId(84, 0), nullptr));
    ASSERT_NE(0u, alias);
    UaStatus status;
    Message direct = browseRequest({UaNodeId(84, 0), UaNodeId(alias + 1, 99)}, 0);
    Message directResponse = browse(direct, status);
    const std::vector<std::string> expected =
        targetsOf(directResponse.as<OpcUa_BrowseResponse>()->Results[0]);
    ASSERT_GT(expected.size(), 1u);
    const OpcUa_StatusCode unknownAlias = directResponse.as<OpcUa_BrowseResponse>()->Results[1].StatusCode;
    EXPECT_TRUE(OpcUa_IsBad(unknownAlias)) << std::hex << unknownAlias;

    Message whole = browseRequest({UaNodeId(alias, 99)}, 0);
    Message wholeResponse = browse(whole, status);
    EXPECT_EQ(OpcUa_Good, wholeResponse.as<OpcUa_BrowseResponse>()->Results[0].StatusCode);
    EXPECT_EQ(expected, targetsOf(wholeResponse.as<OpcUa_BrowseResponse>()->Results[0]));

    Message first = browseRequest({UaNodeId(alias, 99)}, 1);
    Message firstResponse = browse(first, status);
    const std::vector<std::string> collected = allPages(firstResponse);
    EXPECT_EQ(expected, collected);
}

TEST_F(ViewServicesTest, ReleasedPointsAreGoneAndASecondReleaseFails)
{
    startSession(10);
    UaStatus status;
    Message request = browseRequest({UaNodeId(84, 0), UaNodeId(86, 0)}, 1);
    Message response = browse(request, status);
    auto* browsed = response.as<OpcUa_BrowseResponse>();
    std::vector<OpcUa_ByteString*> points{&browsed->Results[0].ContinuationPoint,
                                          &browsed->Results[1].ContinuationPoint};
    OpcUa_ByteString garbage;
    OpcUa_ByteString_Initialize(&garbage);
    garbage.Length = 3;
    garbage.Data = static_cast<OpcUa_Byte*>(OpcUa_Memory_Alloc(3));
    std::memset(garbage.Data, 0xA5, 3);

    for (OpcUa_StatusCode expected : {OpcUa_Good, OpcUa_BadContinuationPointInvalid})
    {
        Message released = browseNext({points[0], points[1]}, true);
        const auto* next = released.as<OpcUa_BrowseNextResponse>();
        ASSERT_EQ(next->NoOfResults, 2);
        for (int i = 0; i < 2; ++i)
        {
            EXPECT_EQ(next->Results[i].StatusCode, expected) << i;
            EXPECT_EQ(next->Results[i].NoOfReferences, 0) << i;
        }
    }
    Message bad = browseNext({&garbage}, false);
    EXPECT_EQ(bad.as<OpcUa_BrowseNextResponse>()->Results[0].StatusCode, OpcUa_BadContinuationPointInvalid);
    OpcUa_ByteString_Clear(&garbage);
}

TEST_F(ViewServicesTest, TranslateGivesTargetsOnlyForAGoodStatus)
{
    StartedServer& s = server;
    OpcUa_UInt16 ns = 0;
    ASSERT_TRUE(s.root().addNodeManager(&translating, "urn:test:translate", ns).isGood());
    startSession(10);
    struct Case
    {
        OpcUa_StatusCode answer;
        OpcUa_Int32 targets;
    } cases[] = {{OpcUa_Good, 1}, {OpcUa_UncertainReferenceOutOfServer, 0}, {OpcUa_BadNoMatch, 0}};
    for (const Case& c : cases)
    {
        translating.answer = c.answer;
        Message request{&OpcUa_TranslateBrowsePathsToNodeIdsRequest_EncodeableType,
                        newMessage<OpcUa_TranslateBrowsePathsToNodeIdsRequest>(
                            OpcUa_TranslateBrowsePathsToNodeIdsRequest_EncodeableType)};
        auto* translate = request.as<OpcUa_TranslateBrowsePathsToNodeIdsRequest>();
        translate->NoOfBrowsePaths = 1;
        translate->BrowsePaths = static_cast<OpcUa_BrowsePath*>(OpcUa_Memory_Alloc(sizeof(OpcUa_BrowsePath)));
        OpcUa_BrowsePath_Initialize(&translate->BrowsePaths[0]);
        UaNodeId(1, ns).copyTo(&translate->BrowsePaths[0].StartingNode);
        translate->BrowsePaths[0].RelativePath.NoOfElements = -1; // counts as none
        Message response{&OpcUa_TranslateBrowsePathsToNodeIdsResponse_EncodeableType,
                         newMessage<OpcUa_TranslateBrowsePathsToNodeIdsResponse>(
                             OpcUa_TranslateBrowsePathsToNodeIdsResponse_EncodeableType)};
        auto* translated = response.as<OpcUa_TranslateBrowsePathsToNodeIdsResponse>();
        EXPECT_TRUE(ViewServices::translateBrowsePaths(context, s.root(), *translate, *translated).isGood());
        ASSERT_EQ(translated->NoOfResults, 1);
        EXPECT_EQ(translated->Results[0].StatusCode, c.answer);
        EXPECT_EQ(translated->Results[0].NoOfTargets, c.targets);
    }
}

TEST_F(ViewServicesTest, BrowseDumpsItsRequestAndReferencesAtTraceLevelSeven)
{
    startSession(10);
    UaTraceCapture trace(7);
    Message request = browseRequest({UaNodeId(84, 0)}, 0, UaNodeId(33, 0));
    request.as<OpcUa_BrowseRequest>()->NodesToBrowse[0].BrowseDirection =
        static_cast<OpcUa_BrowseDirection>(5);
    UaStatus status;
    Message response = browse(request, status);
    EXPECT_TRUE(trace.contains(7, "  BrowseDirection has invalid value = 5"));
    // The direction is only traced here; the root refuses it for the node.
    EXPECT_EQ(response.as<OpcUa_BrowseResponse>()->Results[0].StatusCode, OpcUa_BadBrowseDirectionInvalid);

    request.as<OpcUa_BrowseRequest>()->NodesToBrowse[0].BrowseDirection = OpcUa_BrowseDirection_Forward;
    Message forward = browse(request, status);
    EXPECT_TRUE(trace.contains(7, "  Browse returnes 3 nodes:"));
    const std::vector<std::string> texts = trace.texts();
    const auto title = std::find(texts.begin(), texts.end(), "  Browse returnes 3 nodes:");
    ASSERT_GE(texts.end() - title, 4);
    // One line per reference of the answer, in its order.
    std::vector<std::string> expected;
    const std::vector<std::string> targets = targetsOf(forward.as<OpcUa_BrowseResponse>()->Results[0]);
    for (std::size_t i = 0; i < targets.size(); ++i)
        expected.push_back("  Node[" + std::to_string(i) + "] " + targets[i]);
    EXPECT_EQ(std::vector<std::string>(title + 1, title + 4), expected);
    EXPECT_EQ(std::set<std::string>(targets.begin(), targets.end()),
              (std::set<std::string>{"NS0|Numeric|85", "NS0|Numeric|86", "NS0|Numeric|87"}));
}

TEST_F(ViewServicesTest, BrowseBuildsDiagnosticInfosWhenAskedAndANodeHasARecord)
{
    OpcUa_UInt16 ns = 0;
    ASSERT_TRUE(server.root().addNodeManager(&diagnosing, "urn:test:diagnosing", ns).isGood());
    struct Case
    {
        OpcUa_UInt32 returnDiagnostics;
        OpcUa_Int32 diagnosticInfos;
    } cases[] = {{0x40, 2}, {0, 0}};
    for (const Case& c : cases)
    {
        OpcUa_RequestHeader header;
        OpcUa_RequestHeader_Initialize(&header);
        header.ReturnDiagnostics = c.returnDiagnostics;
        startSession(10);
        context.setSession(session, header);
        Message request = browseRequest({UaNodeId(2, ns), UaNodeId(1, ns)}, 0);
        UaStatus status;
        Message response = browse(request, status);
        EXPECT_TRUE(status.isGood());
        const auto* browsed = response.as<OpcUa_BrowseResponse>();
        EXPECT_EQ(browsed->Results[1].StatusCode, OpcUa_BadNodeIdUnknown);
        ASSERT_EQ(browsed->NoOfDiagnosticInfos, c.diagnosticInfos) << c.returnDiagnostics;
        if (c.diagnosticInfos == 0)
            continue;
        EXPECT_EQ(browsed->DiagnosticInfos[0].LocalizedText, -1);
        const OpcUa_Int32 text = browsed->DiagnosticInfos[1].LocalizedText;
        ASSERT_GE(text, 0);
        ASSERT_LT(text, browsed->ResponseHeader.NoOfStringTable);
        EXPECT_STREQ(OpcUa_String_GetRawString(&browsed->ResponseHeader.StringTable[text]), "no such pump");
        context = ServiceContext();
        session->releaseReference();
        session = nullptr;
    }
}
