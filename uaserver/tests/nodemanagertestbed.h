// A small server for the node manager tests: a root node manager for namespace 0 that registers the
// other node managers and dispatches to them by namespace index, a server manager over it, a node
// manager derived from NodeManagerUaNode and IOManagerUaNode whose build and device the test
// chooses, and a callback that records every answer of an I/O manager.
#pragma once

#include "browsecontext.h"
#include "coretransactions.h"
#include "iomanageruanode.h"
#include "iosamplingengine.h"
#include "nodemanagerlist.h"
#include "nodemanageruanode.h"
#include "servermanager.h"
#include "servicecontext.h"
#include "standardnodeids.h"
#include "standardtypenodes.h"
#include "uaobjectbase.h"
#include "uaplainnodes.h"
#include "uavariableplain.h"
#include "uareferencelists.h"
#include "variablehandle.h"

#include <gtest/gtest.h>

#include <uathread.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testbed
{
inline const char* g_ns0Uri = "http://opcfoundation.org/UA/";

// Namespace 0 with the folders the tests and the type registrations hang nodes on; the register of
// node managers (indexes from 2, a URI gets its index back after removal); dispatch by namespace.
class TestRoot : public NodeManagerUaNode, public IOManagerUaNode, public NodeManagerList
{
public:
    TestRoot() : NodeManagerUaNode(g_ns0Uri, 1009)
    {
        addFolder(84, "Root");
        addFolder(85, "Objects");
        addFolder(86, "Types");
        addFolder(89, "VariableTypes");
        StandardTypeNodes::setNamespaceZero(this);
    }
    ~TestRoot() override { StandardTypeNodes::setNamespaceZero(nullptr); }

    void addFolder(OpcUa_UInt32 id, const char* name)
    {
        EXPECT_TRUE(addUaNode(new UaFolder(name, UaNodeId(id, 0), "en")).isGood());
    }

    UaStatus afterStartUp() override { return OpcUa_Good; }
    UaStatus beforeShutDown() override { return OpcUa_Good; }
    IOManager* getIOManager(UaNode*, OpcUa_Int32) const override { return const_cast<TestRoot*>(this); }

    NodeManager* getNodeManagerByNamespace(OpcUa_UInt16 namespaceIndex) const override
    {
        std::lock_guard<std::mutex> guard(m_registerLock);
        return namespaceIndex < m_managers.size() ? m_managers[namespaceIndex] : nullptr;
    }
    UaStatus addNodeManager(NodeManager* pNodeManager, const UaString& namespaceUri,
                            OpcUa_UInt16& namespaceIndex) override
    {
        if (pNodeManager == this)
        {
            namespaceIndex = 0;
            return OpcUa_Good;
        }
        std::lock_guard<std::mutex> guard(m_registerLock);
        const std::string uri = namespaceUri.toUtf8();
        for (std::size_t i = 2; i < m_uris.size(); ++i)
            if (m_uris[i] == uri)
            {
                if (m_managers[i])
                    return OpcUa_BadInvalidState;
                m_managers[i] = pNodeManager;
                namespaceIndex = static_cast<OpcUa_UInt16>(i);
                return OpcUa_Good;
            }
        if (m_uris.size() < 2)
        {
            m_uris.resize(2);
            m_managers.resize(2, nullptr);
        }
        m_uris.push_back(uri);
        m_managers.push_back(pNodeManager);
        namespaceIndex = static_cast<OpcUa_UInt16>(m_managers.size() - 1);
        return OpcUa_Good;
    }
    UaStatus removeNodeManager(OpcUa_UInt16 namespaceIndex) override
    {
        std::lock_guard<std::mutex> guard(m_registerLock);
        if (namespaceIndex == 0 || namespaceIndex >= m_managers.size() || !m_managers[namespaceIndex])
            return OpcUa_BadInternalError;
        m_managers[namespaceIndex] = nullptr;
        return OpcUa_Good;
    }

    UaNode* getNode(const UaNodeId& nodeId) override
    {
        if (nodeId.namespaceIndex() == 0)
            return NodeManagerUaNode::getNode(nodeId);
        NodeManager* owner = getNodeManagerByNamespace(nodeId.namespaceIndex());
        return owner ? owner->getNode(nodeId) : nullptr;
    }
    VariableHandle* getVariableHandle(Session* session, OpcUa_UInt32 serviceType, const OpcUa_NodeId* pNodeId,
                                      OpcUa_Int32 attributeId) override
    {
        if (!pNodeId)
            return nullptr;
        if (pNodeId->NamespaceIndex == 0)
            return NodeManagerUaNode::getVariableHandle(session, serviceType, pNodeId, attributeId);
        NodeManager* owner = getNodeManagerByNamespace(pNodeId->NamespaceIndex);
        return owner ? owner->getVariableHandle(session, serviceType, pNodeId, attributeId) : nullptr;
    }
    UaStatus browse(const ServiceContext& context, BrowseContext& browseContext,
                    UaReferenceDescriptionArray& references) override
    {
        const OpcUa_UInt16 ns = browseContext.startingNodeId().namespaceIndex();
        if (ns == 0)
            return NodeManagerUaNode::browse(context, browseContext, references);
        NodeManager* owner = getNodeManagerByNamespace(ns);
        return owner ? owner->browse(context, browseContext, references) : UaStatus(OpcUa_BadNodeIdUnknown);
    }
    UaStatus translateBrowsePathToNodeId(const ServiceContext& context, const UaNodeId& startingNode,
                                         UaRelativePathElements& relativePath,
                                         UaBrowsePathTargetArray& targets) override
    {
        if (startingNode.namespaceIndex() == 0)
            return NodeManagerUaNode::translateBrowsePathToNodeId(context, startingNode, relativePath,
                                                                  targets);
        NodeManager* owner = getNodeManagerByNamespace(startingNode.namespaceIndex());
        return owner ? owner->translateBrowsePathToNodeId(context, startingNode, relativePath, targets)
                     : UaStatus(OpcUa_BadNodeIdUnknown);
    }

private:
    mutable std::mutex m_registerLock;
    std::vector<std::string> m_uris;
    std::vector<NodeManager*> m_managers;
};

// The root and a server manager over it, started.
struct TestServer
{
    TestServer()
    {
        serverManager.setNodeManagerRoot(&root, &root);
        EXPECT_TRUE(root.startUp(&serverManager).isGood());
    }
    ~TestServer() { root.shutDown(); }

    TestRoot root;
    ServerManager serverManager;
};

// A node manager whose nodes the test builds in afterStartUp, whose device the test plays through the
// read and write hooks, and which is its own I/O manager.
class TestNodeManager : public NodeManagerUaNode, public IOManagerUaNode
{
public:
    using Build = std::function<UaStatus(TestNodeManager&)>;
    using ReadHook = std::function<UaStatus(const UaVariableArray&, UaDataValueArray&)>;
    using WriteHook =
        std::function<UaStatus(const UaVariableArray&, const UaDataValueArray&, UaStatusCodeArray&)>;

    explicit TestNodeManager(const char* namespaceUri, Build build = {})
        : NodeManagerUaNode(namespaceUri, 10007), m_build(std::move(build)),
          m_sharedMutex(new UaMutexRefCounted)
    {
    }
    // Sampling reaches readValues, whose hook goes with this part.
    ~TestNodeManager() override
    {
        stopSampling();
        m_sharedMutex->releaseReference();
    }

    UaStatus afterStartUp() override
    {
        ++afterStartUpCalls;
        return m_build ? m_build(*this) : UaStatus(OpcUa_Good);
    }
    UaStatus beforeShutDown() override
    {
        ++beforeShutDownCalls;
        return OpcUa_Good;
    }
    IOManager* getIOManager(UaNode*, OpcUa_Int32) const override
    {
        return const_cast<TestNodeManager*>(this);
    }
    // The sampling items of a deleted cached variable wait here for its successor.
    IOManagerUaNode* getIOManagerUaNode() override { return this; }

    UaStatus readValues(const UaVariableArray& variables, UaDataValueArray& values) override
    {
        return readHook ? readHook(variables, values) : IOManagerUaNode::readValues(variables, values);
    }
    UaStatus writeValues(const UaVariableArray& variables, const UaDataValueArray& values,
                         UaStatusCodeArray& statuses) override
    {
        return writeHook ? writeHook(variables, values, statuses)
                         : IOManagerUaNode::writeValues(variables, values, statuses);
    }

    UaStatus beforeMonitorAttributeValue(Session* session, UaNode* pNode, OpcUa_Int32 attributeId,
                                         bool& abortMonitoring) override
    {
        return monitorHook ? monitorHook(pNode, attributeId, abortMonitoring)
                           : IOManagerUaNode::beforeMonitorAttributeValue(session, pNode, attributeId,
                                                                          abortMonitoring);
    }
    void variableCacheMonitoringChanged(UaNode* pNode, OpcUa_UInt32 transactionType) override
    {
        std::lock_guard<std::mutex> guard(m_changesLock);
        m_monitoringChanges.emplace_back(pNode->nodeId(), transactionType);
    }
    // The cached variables whose monitoring changed, with the transaction type that changed it.
    std::vector<std::pair<UaNodeId, OpcUa_UInt32>> monitoringChanges() const
    {
        std::lock_guard<std::mutex> guard(m_changesLock);
        return m_monitoringChanges;
    }

    UaMutexRefCounted* sharedMutex() const { return m_sharedMutex; }
    void setBrowseFilter(UaBrowseFilter* filter) { m_pBrowseFilter = filter; }
    void setTimestampsWritable(bool writable) { samplingEngine()->setTimestampsWritable(writable); }
    std::size_t aliasCount() const
    {
        UaMutexLocker locker(&m_aliasMutex);
        std::size_t count = 0;
        for (const auto& alias : m_aliasNodeIds)
            count += alias ? 1 : 0;
        return count;
    }
    OpcUa_UInt16 ns() const { return getNameSpaceIndex(); }

    int afterStartUpCalls = 0;
    int beforeShutDownCalls = 0;
    ReadHook readHook;
    WriteHook writeHook;
    std::function<UaStatus(UaNode*, OpcUa_Int32, bool&)> monitorHook;

private:
    Build m_build;
    UaMutexRefCounted* m_sharedMutex;
    mutable std::mutex m_changesLock;
    std::vector<std::pair<UaNodeId, OpcUa_UInt32>> m_monitoringChanges;
};

// A pool that takes no job: the I/O manager runs its jobs on the calling thread.
class RefusingPool : public IOJobPool
{
public:
    OpcUa_StatusCode addJob(UaThreadJob*) override
    {
        ++refused;
        return OpcUa_BadOutOfMemory;
    }
    std::atomic<int> refused{0};
};

// The node managers reached by the same count of markers: how many node-manager markers the node's
// forward list holds.
inline int markerCount(NodeManager& owner, const UaNodeId& nodeId)
{
    auto node = ReferenceHolder<UaNode>::adopt(owner.getNode(nodeId));
    if (!node || !node->getUaReferenceLists())
        return -1;
    int count = 0;
    for (UaReference* reference = node->getUaReferenceLists()->firstForwardReference(); reference;
         reference = reference->pNextForward())
        count += reference->referenceKind() == UaReference::NodeManagerMarker ? 1 : 0;
    return count;
}

// One answer of an I/O manager as the recording callback saw it.
struct Answer
{
    std::string kind; // "read", "write", "start", "modify" or "stop"
    OpcUa_UInt32 hTransaction = 0;
    OpcUa_UInt32 callbackHandle = 0;
    UaDataValue value;
    OpcUa_StatusCode status = 0;
    bool mayMove = false;
    bool sendNow = false;
    std::thread::id thread;
    // The monitoring answers: the sampling item's handle, the revised interval and whether the
    // start brought an initial value.
    OpcUa_UInt32 itemHandle = 0;
    OpcUa_Double revisedInterval = 0.0;
    bool initialValueAvailable = false;
};

// Records every answer; tests wait for a number of answers with a generous time-out.
class RecordingCallback : public IOManagerCallback
{
public:
    UaStatus finishRead(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle, UaDataValue& dataValue,
                        bool mayMove, bool sendNow, UaDiagnosticInfo*) override
    {
        record({"read", hTransaction, callbackHandle, dataValue, dataValue.statusCode(), mayMove, sendNow,
                std::this_thread::get_id()});
        return OpcUa_Good;
    }
    UaStatus finishWrite(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle, UaStatus& status,
                         bool sendNow) override
    {
        record({"write", hTransaction, callbackHandle, UaDataValue(), status.statusCode(), false, sendNow,
                std::this_thread::get_id()});
        return OpcUa_Good;
    }
    UaStatus finishStartMonitoring(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                   OpcUa_UInt32 itemHandle, OpcUa_Double revisedInterval,
                                   bool initialValueAvailable, UaDataValue& initialValue,
                                   const UaStatus& status) override
    {
        Answer answer{"start",
                      hTransaction,
                      callbackHandle,
                      initialValue,
                      status.statusCode(),
                      false,
                      false,
                      std::this_thread::get_id()};
        answer.itemHandle = itemHandle;
        answer.revisedInterval = revisedInterval;
        answer.initialValueAvailable = initialValueAvailable;
        record(std::move(answer));
        return OpcUa_Good;
    }
    UaStatus finishModifyMonitoring(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                    OpcUa_Double revisedInterval, const UaStatus& status) override
    {
        Answer answer{"modify",
                      hTransaction,
                      callbackHandle,
                      UaDataValue(),
                      status.statusCode(),
                      false,
                      false,
                      std::this_thread::get_id()};
        answer.revisedInterval = revisedInterval;
        record(std::move(answer));
        return OpcUa_Good;
    }
    UaStatus finishStopMonitoring(OpcUa_UInt32 hTransaction, OpcUa_UInt32 callbackHandle,
                                  UaStatus& status) override
    {
        record({"stop", hTransaction, callbackHandle, UaDataValue(), status.statusCode(), false, false,
                std::this_thread::get_id()});
        return OpcUa_Good;
    }

    // The answers once there are at least count of them; fails the test after a minute.
    std::vector<Answer> waitFor(std::size_t count)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        EXPECT_TRUE(
            m_arrived.wait_for(lock, std::chrono::minutes(1), [&] { return m_answers.size() >= count; }))
            << "only " << m_answers.size() << " of " << count << " answers";
        return m_answers;
    }
    std::vector<Answer> answers() const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_answers;
    }
    // The answer to one callback handle; fails when there is not exactly one.
    Answer answerTo(OpcUa_UInt32 callbackHandle) const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        Answer found;
        int seen = 0;
        for (const Answer& answer : m_answers)
            if (answer.callbackHandle == callbackHandle)
            {
                found = answer;
                ++seen;
            }
        EXPECT_EQ(seen, 1) << "answers to handle " << callbackHandle;
        return found;
    }

private:
    // Notifies under the lock: a waiter that has all its answers may end the callback at once.
    void record(Answer answer)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_answers.push_back(std::move(answer));
        m_arrived.notify_all();
    }

    mutable std::mutex m_lock;
    std::condition_variable m_arrived;
    std::vector<Answer> m_answers;
};

// The sampling callback of one monitored item: records every sample, and answers the last one as the
// value delivered last.
class RecordingVariableCallback : public IOVariableCallback
{
public:
    void dataChange(UaDataValue& dataValue) override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_values.push_back(dataValue);
        m_arrived.notify_all();
    }
    UaDataValue lastValue() const override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_values.empty() ? UaDataValue() : m_values.back();
    }
    std::vector<UaDataValue> values() const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_values;
    }
    std::size_t count() const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_values.size();
    }
    // The samples once there are at least count of them; fails the test after a minute.
    std::vector<UaDataValue> waitFor(std::size_t count)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        EXPECT_TRUE(
            m_arrived.wait_for(lock, std::chrono::minutes(1), [&] { return m_values.size() >= count; }))
            << "only " << m_values.size() << " of " << count << " samples";
        return m_values;
    }

private:
    mutable std::mutex m_lock;
    std::condition_variable m_arrived;
    std::vector<UaDataValue> m_values;
};

// A cached variable whose access levels, type definition and minimum sampling interval the test
// chooses; its data type and value rank follow the initial value.
inline UaVariablePlain*
newCachedVariable(const UaNodeId& nodeId, const UaVariant& value,
                  const UaNodeId& typeDefinition = UaNodeId(StandardNodeId::BaseDataVariableType, 0),
                  OpcUa_Byte accessLevel = 3, OpcUa_Byte userAccessLevel = 3,
                  OpcUa_Double minimumSamplingInterval = 0.0)
{
    UaDataValue initial;
    initial.setValue(value, false, false);
    const std::string name = "V" + std::to_string(nodeId.identifierNumeric());
    return new UaVariablePlain(nodeId, UaQualifiedName(name.c_str(), nodeId.namespaceIndex()),
                               UaLocalizedText("en", name.c_str()), UaLocalizedText(), typeDefinition,
                               initial, value.dataType(), value.valueRank(), accessLevel, userAccessLevel,
                               minimumSamplingInterval, false);
}

inline std::string nodeIdText(const UaNodeId& nodeId)
{
    return nodeId.toFullString().toUtf8();
}
} // namespace testbed
