// A started server manager over a fake configuration, and a node manager that records what the
// root passes on to it, for the tests of start-up, registration and dispatch.
#pragma once

#include "fake_serverconfig.h"

#include <browsecontext.h>
#include <nodemanager.h>
#include <nodemanagerroot.h>
#include <servermanager.h>
#include <servicecontext.h>

#include <gtest/gtest.h>

#include <uaservicediagnostics.h>

#include <atomic>
#include <functional>
#include <vector>

namespace servertest
{
using uaserver::testing::FakeServerConfig;

// Answers every call with the status a test chose and counts what reached it.
class RecordingNodeManager : public NodeManager
{
public:
    UaStatus startUp(ServerManager*) override { return OpcUa_Good; }
    UaStatus shutDown() override
    {
        ++shutDowns;
        return answer;
    }
    UaStatus sessionOpened(Session*) override
    {
        ++sessionsOpened;
        return answer;
    }
    UaStatus browse(const ServiceContext&, BrowseContext&, UaReferenceDescriptionArray&) override
    {
        ++browses;
        return answer;
    }
    UaStatus translateBrowsePathToNodeId(const ServiceContext&, const UaNodeId&, UaRelativePathElements&,
                                         UaBrowsePathTargetArray&) override
    {
        ++translates;
        return answer;
    }
    VariableHandle* getVariableHandle(Session*, OpcUa_UInt32, const OpcUa_NodeId*, OpcUa_Int32) override
    {
        ++variableHandles;
        return nullptr;
    }
    UaStatus addNode(const ServiceContext&, const OpcUa_ExpandedNodeId&, const OpcUa_NodeId&,
                     const OpcUa_ExpandedNodeId&, const OpcUa_QualifiedName&, OpcUa_NodeClass,
                     const OpcUa_ExtensionObject&, const OpcUa_ExpandedNodeId&, OpcUa_NodeId&) override
    {
        ++addNodes;
        return answer;
    }
    UaStatus deleteNode(const ServiceContext&, const OpcUa_NodeId&, OpcUa_Boolean) override
    {
        ++deleteNodes;
        return answer;
    }

    UaStatus answer = OpcUa_Good;
    std::atomic<int> shutDowns{0}, sessionsOpened{0}, browses{0}, translates{0}, variableHandles{0},
        addNodes{0}, deleteNodes{0};
};

// A server manager started on a fake configuration, which a test may set up first.
struct StartedServer
{
    explicit StartedServer(const std::function<void(FakeServerConfig&)>& configure = {})
    {
        if (configure)
            configure(config);
        EXPECT_TRUE(serverManager.startUp(&config).isGood());
    }
    NodeManagerRoot& root() { return *NodeManagerRoot::instance(); }

    // The attributes of the nodes through the server manager's read, in the order asked.
    std::vector<UaDataValue> read(const std::vector<std::pair<UaNodeId, OpcUa_UInt32>>& items)
    {
        UaReadValueIdArray nodesToRead;
        nodesToRead.create(static_cast<OpcUa_UInt32>(items.size()));
        for (OpcUa_UInt32 i = 0; i < nodesToRead.length(); ++i)
        {
            items[i].first.copyTo(&nodesToRead[i].NodeId);
            nodesToRead[i].AttributeId = items[i].second;
        }
        UaDataValueArray results;
        UaDiagnosticInfos diagnostics;
        EXPECT_TRUE(
            serverManager
                .read(ServiceContext(), 0.0, OpcUa_TimestampsToReturn_Both, nodesToRead, results, diagnostics)
                .isGood());
        std::vector<UaDataValue> values;
        for (OpcUa_UInt32 i = 0; i < results.length(); ++i)
            values.emplace_back(results[i]);
        return values;
    }
    // The Value attribute of one node.
    UaDataValue readValue(const UaNodeId& nodeId) { return read({{nodeId, 13}}).at(0); }

    FakeServerConfig config;
    ServerManager serverManager;
};

// A browse request of one node, owning its description.
class BrowseRequest
{
public:
    BrowseRequest(const UaNodeId& node, OpcUa_UInt32 direction, OpcUa_UInt32 referenceTypeId = 33)
    {
        OpcUa_BrowseDescription_Initialize(&m_description);
        node.copyTo(&m_description.NodeId);
        m_description.BrowseDirection = static_cast<OpcUa_BrowseDirection>(direction);
        UaNodeId(referenceTypeId, 0).copyTo(&m_description.ReferenceTypeId);
        m_description.IncludeSubtypes = OpcUa_True;
        m_description.ResultMask = OpcUa_BrowseResultMask_All;
    }
    ~BrowseRequest() { OpcUa_BrowseDescription_Clear(&m_description); }
    BrowseRequest(const BrowseRequest&) = delete;
    BrowseRequest& operator=(const BrowseRequest&) = delete;

    UaStatus run(NodeManager& nodeManager, UaReferenceDescriptionArray& references)
    {
        BrowseContext context(nullptr, m_description, 0);
        return nodeManager.browse(ServiceContext(), context, references);
    }

private:
    OpcUa_BrowseDescription m_description;
};
} // namespace servertest
