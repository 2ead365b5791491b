// Doubles of the runtime tests: the root node manager with namespace 0's configuration view, the
// running server manager, a counter variable and a recording subscription.
#pragma once

#include "fake_endpoint.h"
#include "fake_serverconfig.h"
#include "publishrequestcontext.h"
#include "session.h"
#include "sessionmanager.h"
#include "uasession.h"
#include "uasubscription.h"

#include <browsecontext.h>
#include <nodemanager.h>
#include <referencetypes.h>
#include <servermanagerlink.h>
#include <uanodebases.h>
#include <uanodeinterfaces.h>

#include <uamutex.h>
#include <uaqualifiedname.h>
#include <uapkicertificate.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

namespace runtimetest
{
using namespace uaserver::testing;

// The root node manager as sessions and their manager reach it: it records the session events,
// keeps the nodes added through its configuration view and finds the nodes a test gave it.
class FakeRootNodeManager : public NodeManager, public NodeManagerConfig
{
public:
    struct Added
    {
        UaNodeId parent;
        UaNode* node;
        UaNodeId referenceType;
    };

    ~FakeRootNodeManager() override
    {
        for (const Added& added : m_added)
            added.node->releaseReference();
        for (auto& [id, node] : m_nodes)
            node->releaseReference();
    }

    // The manager keeps a reference to node and hands one out per lookup.
    void addLookUpNode(UaNode* node)
    {
        node->addReference();
        m_nodes[node->nodeId()] = node;
    }

    UaStatus startUp(ServerManager*) override { return OpcUa_Good; }
    UaStatus shutDown() override { return OpcUa_Good; }
    UaStatus sessionOpened(Session*) override
    {
        ++opened;
        return OpcUa_Good;
    }
    UaStatus sessionActivated(Session*) override
    {
        ++activated;
        return OpcUa_Good;
    }
    UaStatus sessionClosed(Session*) override
    {
        ++closed;
        return OpcUa_Good;
    }
    // The references declared with addReference, in one page; BadNotImplemented when none were.
    UaStatus browse(const ServiceContext&, BrowseContext& context,
                    UaReferenceDescriptionArray& found) override
    {
        std::vector<const Reference*> matches;
        {
            std::lock_guard lock(m_mutex);
            if (m_references.empty())
                return OpcUa_BadNotImplemented;
            const UaNodeId start = context.startingNodeId();
            const UaNodeId wanted = context.referenceTypeId();
            for (const Reference& r : m_references)
            {
                const bool forward = context.browseDirection() != OpcUa_BrowseDirection_Inverse;
                const bool inverse = context.browseDirection() != OpcUa_BrowseDirection_Forward;
                const bool typeFits = wanted.isNull() || r.type == wanted ||
                                      (context.includeSubtypes() && StandardReferenceTypes::isProperSubtype(
                                                                        r.type.identifierNumeric(), wanted));
                const bool classFits =
                    context.nodeClassMask() == 0 || (context.nodeClassMask() & r.targetClass) != 0;
                if (typeFits &&
                    ((forward && r.source == start && classFits) || (inverse && r.target == start)))
                    matches.push_back(&r);
            }
        }
        found.create(static_cast<OpcUa_UInt32>(matches.size()));
        for (OpcUa_UInt32 i = 0; i < found.length(); ++i)
        {
            const Reference& r = *matches[i];
            const bool isForward = r.source == context.startingNodeId();
            r.type.copyTo(&found[i].ReferenceTypeId);
            found[i].IsForward = isForward ? OpcUa_True : OpcUa_False;
            (isForward ? r.target : r.source).copyTo(&found[i].NodeId.NodeId);
            r.targetName.copyTo(&found[i].BrowseName);
            found[i].NodeClass = static_cast<OpcUa_NodeClass>(r.targetClass);
        }
        return OpcUa_Good;
    }
    // A reference browse answers with; the target's name and class are what a forward browse shows.
    void addReference(const UaNodeId& source, OpcUa_UInt32 referenceTypeId, const UaNodeId& target,
                      OpcUa_UInt32 targetClass, const UaQualifiedName& targetName = UaQualifiedName())
    {
        std::lock_guard lock(m_mutex);
        m_references.push_back({source, UaNodeId(referenceTypeId, 0), target, targetClass, targetName});
    }
    UaStatus translateBrowsePathToNodeId(const ServiceContext&, const UaNodeId&, UaRelativePathElements&,
                                         UaBrowsePathTargetArray&) override
    {
        return OpcUa_BadNotImplemented;
    }
    VariableHandle* getVariableHandle(Session* session, OpcUa_UInt32 serviceType, const OpcUa_NodeId* nodeId,
                                      OpcUa_Int32 attributeId) override
    {
        return variableHandles ? variableHandles(session, serviceType, *nodeId, attributeId) : nullptr;
    }
    UaNodeHandle* getHistoryHandle(Session* session, OpcUa_UInt32 operation, const OpcUa_NodeId* nodeId,
                                   UaStatus& result) override
    {
        return historyHandles ? historyHandles(session, operation, *nodeId, result) : nullptr;
    }
    MethodHandle* getMethodHandle(Session* session, const OpcUa_NodeId* objectId,
                                  const OpcUa_NodeId* methodId, UaStatus& result) override
    {
        return methodHandles ? methodHandles(session, *objectId, *methodId, result) : nullptr;
    }
    UaStatus getEventManagers(Session* session, const OpcUa_NodeId* nodeId, const OpcUa_EventFilter*,
                              UaPointerArray<EventManager>& managers) override
    {
        return eventManagers ? eventManagers(session, *nodeId, managers) : UaStatus(OpcUa_Good);
    }
    NodeManagerConfig* getNodeManagerConfig() override { return this; }
    UaNode* getNode(const UaNodeId& nodeId) override
    {
        auto it = m_nodes.find(nodeId);
        if (it == m_nodes.end())
            return nullptr;
        it->second->addReference();
        return it->second;
    }

    UaStatus addUaNode(UaNode*) override { return OpcUa_BadNotImplemented; }
    UaStatus deleteUaNode(UaNode* node, bool, bool, bool) override
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_added.begin(); it != m_added.end(); ++it)
        {
            if (it->node == node)
            {
                ++deleted;
                it->node->releaseReference();
                m_added.erase(it);
                return OpcUa_Good;
            }
        }
        return OpcUa_BadNodeIdUnknown;
    }
    UaStatus addNodeAndReference(const UaNodeId& parent, UaReferenceLists* newNode,
                                 const UaNodeId& referenceType) override
    {
        std::lock_guard lock(m_mutex);
        if (OpcUa_IsBad(addResult))
            return addResult;
        m_added.push_back({parent, newNode->getUaNode(), referenceType});
        return OpcUa_Good;
    }
    UaStatus addNodeAndReference(UaReferenceLists*, UaReferenceLists*, const UaNodeId&) override
    {
        return OpcUa_BadNotImplemented;
    }
    UaStatus addUaReference(const UaNodeId&, const UaNodeId&, const UaNodeId&) override
    {
        return OpcUa_BadNotImplemented;
    }
    UaStatus addUaReference(UaReferenceLists*, UaReferenceLists*, const UaNodeId&) override
    {
        return OpcUa_BadNotImplemented;
    }
    UaStatus deleteUaReference(const UaNodeId&, const UaNodeId&, const UaNodeId&) override
    {
        return OpcUa_BadNotImplemented;
    }
    UaStatus deleteUaReference(UaReferenceLists*, UaReferenceLists*, const UaNodeId&) override
    {
        return OpcUa_BadNotImplemented;
    }
    OpcUa_UInt16 getNameSpaceIndex() const override { return 0; }

    std::vector<Added> added() const
    {
        std::lock_guard lock(m_mutex);
        return m_added;
    }

    // The handle lookups, null when unset; each hands the caller a reference.
    std::function<VariableHandle*(Session*, OpcUa_UInt32 serviceType, const OpcUa_NodeId&,
                                  OpcUa_Int32 attributeId)>
        variableHandles;
    std::function<UaNodeHandle*(Session*, OpcUa_UInt32 operation, const OpcUa_NodeId&, UaStatus& result)>
        historyHandles;
    std::function<MethodHandle*(Session*, const OpcUa_NodeId& objectId, const OpcUa_NodeId& methodId,
                                UaStatus& result)>
        methodHandles;
    // The event managers of a notifier; none when unset.
    std::function<UaStatus(Session*, const OpcUa_NodeId&, UaPointerArray<EventManager>& managers)>
        eventManagers;

    std::atomic<int> opened{0};
    std::atomic<int> activated{0};
    std::atomic<int> closed{0};
    std::atomic<int> deleted{0};
    OpcUa_StatusCode addResult = OpcUa_Good;

private:
    struct Reference
    {
        UaNodeId source;
        UaNodeId type;
        UaNodeId target;
        OpcUa_UInt32 targetClass;
        UaQualifiedName targetName;
    };

    mutable std::mutex m_mutex;
    std::vector<Added> m_added;
    std::map<UaNodeId, UaNode*> m_nodes;
    std::vector<Reference> m_references;
};

// The running server manager for as long as it lives.
class TestServerManager : public ServerManagerLink
{
public:
    TestServerManager() { ServerManagerLink::setRunning(this); }
    ~TestServerManager() override { ServerManagerLink::setRunning(nullptr); }
    ServerConfig* getServerConfig() override { return &config; }
    NodeManager* getNodeManagerRoot() override { return &root; }

    FakeServerConfig config;
    FakeRootNodeManager root;
};

// A variable of namespace 0 that keeps the last value written to it.
class CounterVariable : public UaPlainNode<UaVariable>
{
public:
    explicit CounterVariable(OpcUa_UInt32 id)
        : UaPlainNode(UaNodeId(id, 0), UaQualifiedName(UaString("Counter"), 0),
                      UaLocalizedText(UaString(), UaString("Counter")), UaLocalizedText())
    {
    }
    UaDataValue value(Session*) override
    {
        UaMutexLocker lock(&m_lock);
        return m_value;
    }
    UaStatus setValue(Session*, const UaDataValue& dataValue, bool) override
    {
        UaMutexLocker lock(&m_lock);
        m_value = dataValue;
        ++writes;
        return OpcUa_Good;
    }
    // The UInt32 last written; -1 before any write.
    OpcUa_Int64 written()
    {
        UaMutexLocker lock(&m_lock);
        if (writes == 0)
            return -1;
        const OpcUa_DataValue* raw = m_value;
        return raw->Value.Datatype == OpcUaType_UInt32 ? raw->Value.Value.UInt32 : -2;
    }
    UaNodeId dataType() const override { return UaNodeId(OpcUaId_UInt32, 0); }
    OpcUa_Int32 valueRank() const override { return -1; }
    bool isArrayDimensionsSupported() const override { return false; }
    void arrayDimensions(UaUInt32Array& dimensions) const override { dimensions.clear(); }
    OpcUa_Byte accessLevel() const override { return 1; }
    OpcUa_Byte userAccessLevel(Session*) const override { return 1; }
    bool isMinimumSamplingIntervalSupported() const override { return false; }
    OpcUa_Double minimumSamplingInterval() const override { return 0; }
    bool historizing() const override { return false; }

    int writes = 0;

private:
    UaMutex m_lock;
    UaDataValue m_value;
};

// A subscription that records what its session asks of it and answers a publish with an empty
// message of its id.
class RecordingSubscription : public UaSubscription
{
public:
    RecordingSubscription(UaSession* session, OpcUa_UInt32 id) : m_session(session), m_id(id) {}

    UaStatus close(bool sessionIsClosing) override
    {
        closeCalls.push_back(sessionIsClosing);
        state = CLOSED;
        return OpcUa_Good;
    }
    UaStatus publish(PublishRequestContext* request, bool& moreNotifications) override
    {
        ++published;
        moreNotifications = false;
        OpcUa_Void* response = nullptr;
        OpcUa_EncodeableType* type = nullptr;
        OpcUa_Endpoint_BeginSendResponse(request->m_hEndpoint, request->m_hContext, &response, &type);
        auto* publish = static_cast<OpcUa_PublishResponse*>(response);
        UaStatus(OpcUa_Good).fillResponseHeader(request->m_pRequest->RequestHeader, publish->ResponseHeader);
        publish->SubscriptionId = m_id;
        m_session->lockSendResponse();
        OpcUa_Endpoint_EndSendResponse(request->m_hEndpoint, &request->m_hContext, OpcUa_Good, response,
                                       type);
        m_session->unlockSendResponse();
        OpcUa_EncodeableObject_Delete(type, &response);
        delete request;
        m_session->finishedServiceProcessing();
        return OpcUa_Good;
    }
    OpcUa_UInt32 getState() override { return state; }

    std::atomic<OpcUa_UInt32> state{NORMAL};
    std::atomic<int> published{0};
    std::vector<bool> closeCalls;

private:
    UaSession* m_session;
    OpcUa_UInt32 m_id;
};

// A queued Publish request as the Publish service makes it: a context on endpoint and channel, the
// service's count on the session.
inline PublishRequestContext* newPublishRequest(FakeEndpoint& endpoint, const FakeChannel& channel,
                                                UaSession* session, OpcUa_UInt32 requestHandle,
                                                OpcUa_UInt32 timeoutHint = 0, OpcUa_Handle* context = nullptr)
{
    auto* request = newMessage<OpcUa_PublishRequest>(OpcUa_PublishRequest_EncodeableType);
    request->RequestHeader.RequestHandle = requestHandle;
    request->RequestHeader.TimeoutHint = timeoutHint;
    OpcUa_Handle handle = endpoint.openContext(channel, &OpcUa_PublishResponse_EncodeableType, requestHandle);
    if (context != nullptr)
        *context = handle;
    auto* publish =
        new PublishRequestContext(endpoint.handle(), handle, request, &OpcUa_PublishRequest_EncodeableType);
    publish->m_serviceContext.setSession(session, request->RequestHeader);
    session->startingServiceProcessing();
    return publish;
}

// A self-signed certificate (DER) whose subject has commonName.
inline UaByteString certificateOf(const char* commonName)
{
    static const UaPkiRsaKeyPair pair(1024);
    UaPkiIdentity identity;
    identity.commonName = UaString(commonName);
    identity.organization = UaString("Test");
    UaPkiCertificateInfo info;
    info.validTime = 3600;
    UaPkiCertificate certificate(info, identity, pair, identity, pair.privateKey());
    return certificate.toDER();
}

} // namespace runtimetest
