// Small address spaces for the tests: a node manager over the hash table, a reader of far-node
// attributes over the registered node managers, and the browse and translate calls a service makes.
#pragma once

#include "browsecontext.h"
#include "hashtable.h"
#include "nodeattributereader.h"
#include "nodemanager.h"
#include "uabrowsefilter.h"
#include "uaobjectbase.h"
#include "uaplainnodes.h"
#include "uarelativepathelements.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace testspace
{
inline UaNodeId numericId(OpcUa_UInt32 id, OpcUa_UInt16 ns)
{
    return UaNodeId(id, ns);
}

inline UaObjectPlain* newObject(const UaNodeId& nodeId, const std::string& name,
                                const UaNodeId& typeDefinition = UaNodeId(StandardNodeId::BaseObjectType, 0))
{
    return new UaObjectPlain(nodeId, UaQualifiedName(name.c_str(), nodeId.namespaceIndex()),
                             UaLocalizedText("en", name.c_str()), UaLocalizedText(), typeDefinition, 0);
}

// A node without reference lists.
class ListlessNode : public UaObject
{
public:
    UaStatus browse(const ServiceContext&, BrowseContext&, UaReferenceDescriptionArray&) override
    {
        return OpcUa_Good;
    }
    UaNodeId nodeId() const override { return UaNodeId(999, 2); }
    UaQualifiedName browseName() const override { return UaQualifiedName("Listless", 2); }
    UaLocalizedText displayName(Session*) const override { return UaLocalizedText(); }
    bool isDescriptionSupported() const override { return false; }
    UaLocalizedText description(Session*) const override { return UaLocalizedText(); }
    bool isWriteMaskSupported() const override { return false; }
    OpcUa_UInt32 writeMask() const override { return 0; }
    bool isUserWriteMaskSupported() const override { return false; }
    OpcUa_UInt32 userWriteMask(Session*) const override { return 0; }
    OpcUa_Byte eventNotifier() const override { return 0; }
};

// A variable whose attributes are plain fields; it stores whatever value it is given.
class TestVariable : public UaNodeWithLists<UaVariable>
{
public:
    TestVariable(const UaNodeId& nodeId, const std::string& name, const UaVariant& value)
        : m_nodeId(nodeId), m_name(name.c_str())
    {
        m_value.setValue(value, false, false);
    }

    UaNodeId m_nodeId;
    UaString m_name;
    UaDataValue m_value;
    UaNodeId m_dataType{OpcUaType_Double, 0};
    OpcUa_Int32 m_valueRank = -1;
    OpcUa_Byte m_accessLevel = 3;
    OpcUa_Byte m_userAccessLevel = 3;
    UaNodeId m_typeDefinition{63, 0};
    UaNodeId m_modellingRule;

    UaNodeId nodeId() const override { return m_nodeId; }
    UaQualifiedName browseName() const override { return UaQualifiedName(m_name, m_nodeId.namespaceIndex()); }
    UaLocalizedText displayName(Session*) const override { return UaLocalizedText("en", m_name); }
    bool isDescriptionSupported() const override { return true; }
    UaLocalizedText description(Session*) const override { return UaLocalizedText("en", "a test variable"); }
    bool isWriteMaskSupported() const override { return true; }
    OpcUa_UInt32 writeMask() const override { return 0; }
    bool isUserWriteMaskSupported() const override { return true; }
    OpcUa_UInt32 userWriteMask(Session*) const override { return 0; }
    UaNodeId typeDefinitionId() const override { return m_typeDefinition; }
    UaNodeId modellingRuleId() const override { return m_modellingRule; }
    UaDataValue value(Session*) override { return m_value; }
    UaStatus setValue(Session*, const UaDataValue& dataValue, bool) override
    {
        m_value = dataValue;
        return OpcUa_Good;
    }
    UaNodeId dataType() const override { return m_dataType; }
    OpcUa_Int32 valueRank() const override { return m_valueRank; }
    bool isArrayDimensionsSupported() const override { return true; }
    void arrayDimensions(UaUInt32Array& dimensions) const override
    {
        unknownArrayDimensions(m_valueRank, dimensions);
    }
    OpcUa_Byte accessLevel() const override { return m_accessLevel; }
    OpcUa_Byte userAccessLevel(Session*) const override { return m_userAccessLevel; }
    bool isMinimumSamplingIntervalSupported() const override { return true; }
    OpcUa_Double minimumSamplingInterval() const override { return 250.0; }
    bool historizing() const override { return false; }
};

// The node manager of one namespace, the way the runtime's will work: the node lock guards the table
// and every list; browse and translate run the node's walk with the lock entered in the context.
class TestNodeManager : public NodeManager, public NodeManagerConfig, public NodeManagerCrossReferences
{
public:
    explicit TestNodeManager(OpcUa_UInt16 namespaceIndex) : m_namespaceIndex(namespaceIndex), m_table(10007)
    {
    }
    ~TestNodeManager() override
    {
        UaMutexLocker locker(&m_mutex);
        m_table.clear(true);
    }

    UaMutex& nodeLock() { return m_mutex; }
    void setBrowseFilter(UaBrowseFilter* filter) { m_pBrowseFilter = filter; }

    UaStatus startUp(ServerManager*) override { return OpcUa_Good; }
    UaStatus shutDown() override { return OpcUa_Good; }

    UaStatus browse(const ServiceContext& context, BrowseContext& browseContext,
                    UaReferenceDescriptionArray& references) override
    {
        ReferenceHolder<UaNode> node =
            ReferenceHolder<UaNode>::adopt(getNode(browseContext.startingNodeId()));
        if (!node)
            return OpcUa_BadNodeIdUnknown;
        if (m_pBrowseFilter && !m_pBrowseFilter->isBrowsable(context.pSession(), browseContext, node.get()))
            return OpcUa_Good;
        browseContext.setBrowseFilter(m_pBrowseFilter);
        return node->browse(withNodeLock(context, node->nodeId()), browseContext, references);
    }

    UaStatus translateBrowsePathToNodeId(const ServiceContext& context, const UaNodeId& startingNode,
                                         UaRelativePathElements& relativePath,
                                         UaBrowsePathTargetArray& targets) override
    {
        ReferenceHolder<UaNode> node = ReferenceHolder<UaNode>::adopt(getNode(startingNode));
        if (!node || !node->getUaReferenceLists())
            return OpcUa_BadNodeIdUnknown;
        return node->getUaReferenceLists()->translateBrowsePathElement(withNodeLock(context, startingNode),
                                                                       relativePath, targets);
    }

    VariableHandle* getVariableHandle(Session*, OpcUa_UInt32, const OpcUa_NodeId*, OpcUa_Int32) override
    {
        return nullptr;
    }
    NodeManagerCrossReferences* getNodeManagerCrossReferences() override { return this; }
    NodeManagerConfig* getNodeManagerConfig() override { return this; }

    UaNode* getNode(const UaNodeId& nodeId) override
    {
        UaMutexLocker locker(&m_mutex);
        UaNode* node = static_cast<UaNode*>(m_table.lookup(nodeId));
        if (node)
            node->addReference();
        return node;
    }

    UaStatus addUaNode(UaNode* pNewNode) override
    {
        if (!pNewNode)
            return OpcUa_BadInvalidArgument;
        UaMutexLocker locker(&m_mutex);
        if (m_table.lookup(pNewNode->nodeId()))
            return OpcUa_BadNodeIdExists;
        m_table.add(pNewNode->nodeId(), pNewNode);
        return OpcUa_Good;
    }

    UaStatus deleteUaNode(UaNode* pNode, bool bRemoveForwardAtTargets, bool bRemoveInverseAtSources,
                          bool bDeleteChildren) override
    {
        if (!pNode || !pNode->getUaReferenceLists())
            return OpcUa_BadInvalidArgument;
        UaMutexLocker locker(&m_mutex);
        UaReferenceLists* lists = pNode->getUaReferenceLists();
        if (bDeleteChildren)
            lists->deleteChildren(this);
        lists->deleteAllForwardReferences(bRemoveForwardAtTargets);
        lists->deleteAllInverseReferences(bRemoveInverseAtSources);
        ChainEntry* removed = m_table.remove(pNode->nodeId());
        if (!removed)
            return OpcUa_BadNodeIdUnknown;
        removed->prepareRemove();
        removed->releaseReference();
        return OpcUa_Good;
    }

    UaStatus addNodeAndReference(const UaNodeId& parentNodeId, UaReferenceLists* pNewNode,
                                 const UaNodeId& referenceTypeId) override
    {
        UaMutexLocker locker(&m_mutex);
        auto* parent = static_cast<UaNode*>(m_table.lookup(parentNodeId));
        if (!parent || !parent->getUaReferenceLists())
            return OpcUa_BadNodeIdUnknown;
        return addNodeAndReference(parent->getUaReferenceLists(), pNewNode, referenceTypeId);
    }

    UaStatus addNodeAndReference(UaReferenceLists* pParent, UaReferenceLists* pNewNode,
                                 const UaNodeId& referenceTypeId) override
    {
        UaMutexLocker locker(&m_mutex);
        UaStatus status = addUaReference(pParent, pNewNode, referenceTypeId);
        if (status.isGood())
            status = addUaNode(pNewNode->getUaNode());
        return status;
    }

    UaStatus addUaReference(const UaNodeId& sourceNodeId, const UaNodeId& targetNodeId,
                            const UaNodeId& referenceTypeId) override
    {
        UaMutexLocker locker(&m_mutex);
        auto* source = static_cast<UaNode*>(m_table.lookup(sourceNodeId));
        auto* target = static_cast<UaNode*>(m_table.lookup(targetNodeId));
        if (!source || !target)
            return OpcUa_BadNodeIdUnknown;
        return addUaReference(source->getUaReferenceLists(), target->getUaReferenceLists(), referenceTypeId);
    }

    UaStatus addUaReference(UaReferenceLists* pSource, UaReferenceLists* pTarget,
                            const UaNodeId& referenceTypeId) override
    {
        if (!pSource || !pTarget)
            return OpcUa_BadInvalidArgument;
        UaMutexLocker locker(&m_mutex);
        UaReference* reference = nullptr;
        if (referenceTypeId.namespaceIndex() == 0 &&
            referenceTypeId.identifierType() == OpcUa_IdentifierType_Numeric)
            reference = createStandardReference(referenceTypeId.identifierNumeric(), pSource->getUaNode(),
                                                pTarget->getUaNode());
        else if (auto* typeNode = static_cast<UaNode*>(m_table.lookup(referenceTypeId));
                 typeNode && typeNode->nodeClass() == OpcUa_NodeClass_ReferenceType)
            reference = new UaReferenceByNode(pSource->getUaNode(), pTarget->getUaNode(),
                                              static_cast<UaReferenceType*>(typeNode));
        if (!reference)
            return OpcUa_BadReferenceTypeIdInvalid;
        pSource->addForwardReference(reference);
        pTarget->addInverseReference(reference);
        return OpcUa_Good;
    }

    UaStatus deleteUaReference(const UaNodeId& sourceNodeId, const UaNodeId& targetNodeId,
                               const UaNodeId& referenceTypeId) override
    {
        UaMutexLocker locker(&m_mutex);
        auto* source = static_cast<UaNode*>(m_table.lookup(sourceNodeId));
        if (!source || !source->getUaReferenceLists())
            return OpcUa_BadNodeIdUnknown;
        return source->getUaReferenceLists()->deleteReference(targetNodeId, referenceTypeId, true);
    }

    UaStatus deleteUaReference(UaReferenceLists* pSource, UaReferenceLists* pTarget,
                               const UaNodeId& referenceTypeId) override
    {
        if (!pSource || !pTarget)
            return OpcUa_BadInvalidArgument;
        UaMutexLocker locker(&m_mutex);
        return pSource->deleteReference(pTarget->getUaNode(), referenceTypeId, true);
    }

    OpcUa_UInt16 getNameSpaceIndex() const override { return m_namespaceIndex; }

    UaStatus connectStartingNode(const UaNodeId& startingNode, NodeManager* pNodeManager, bool bForward,
                                 bool bInverse) override
    {
        UaMutexLocker locker(&m_mutex);
        auto* node = static_cast<UaNode*>(m_table.lookup(startingNode));
        if (!node || !node->getUaReferenceLists())
            return OpcUa_BadNodeIdUnknown;
        if (bForward)
            node->getUaReferenceLists()->addForwardReference(new UaReferenceToNodeManager(pNodeManager));
        if (bInverse)
            node->getUaReferenceLists()->addInverseReference(new UaReferenceToNodeManager(pNodeManager));
        return OpcUa_Good;
    }

    UaStatus disconnectStartingNode(const UaNodeId& startingNode, NodeManager* pNodeManager) override
    {
        UaMutexLocker locker(&m_mutex);
        auto* node = static_cast<UaNode*>(m_table.lookup(startingNode));
        if (!node || !node->getUaReferenceLists())
            return OpcUa_BadNodeIdUnknown;
        return node->getUaReferenceLists()->deleteCrossReferences(pNodeManager);
    }

    // A reference to a node of another node manager, held by NodeId.
    UaStatus addReferenceByNodeId(const UaNodeId& sourceNodeId, const UaNodeId& targetNodeId,
                                  OpcUa_UInt32 referenceType, OpcUa_NodeClass targetNodeClass,
                                  NodeManager* owner)
    {
        UaMutexLocker locker(&m_mutex);
        auto* source = static_cast<UaNode*>(m_table.lookup(sourceNodeId));
        if (!source)
            return OpcUa_BadNodeIdUnknown;
        source->getUaReferenceLists()->addForwardReference(new UaReferenceByNodeId(
            source, targetNodeId, UaNodeId(referenceType, 0), targetNodeClass, owner));
        return OpcUa_Good;
    }

    // A local stand-in for a node of the owner's namespace from which this node manager adds its
    // own references; the owner's node gets a marker to this node manager.
    UaStatus addAlias(const UaNodeId& foreignNodeId, const std::string& name, TestNodeManager& owner)
    {
        UaStatus status = addUaNode(newObject(foreignNodeId, name));
        if (status.isGood())
            status = owner.connectStartingNode(foreignNodeId, this, true, false);
        return status;
    }

private:
    // The walk guards a node with the lock entered for the node's namespace: an alias node of another
    // namespace lives in this table, so this lock goes in for that namespace.
    ServiceContext withNodeLock(const ServiceContext& context, const UaNodeId& nodeId)
    {
        ServiceContext copy(context);
        copy.setNodeLock(&m_mutex, nodeId.namespaceIndex());
        return copy;
    }

    OpcUa_UInt16 m_namespaceIndex;
    UaMutex m_mutex;
    HashTable m_table;
    UaBrowseFilter* m_pBrowseFilter = nullptr;
};

// A node manager whose browse and translate always fail.
class FailingNodeManager : public TestNodeManager
{
public:
    FailingNodeManager() : TestNodeManager(9) {}
    UaStatus browse(const ServiceContext&, BrowseContext&, UaReferenceDescriptionArray&) override
    {
        ++browseCalls;
        return OpcUa_BadInternalError;
    }
    UaStatus translateBrowsePathToNodeId(const ServiceContext&, const UaNodeId&, UaRelativePathElements&,
                                         UaBrowsePathTargetArray&) override
    {
        ++translateCalls;
        return OpcUa_BadInternalError;
    }
    int browseCalls = 0;
    int translateCalls = 0;
};

// Reads attributes of the nodes of the node managers entered here, each through its own getNode,
// as the server's read by NodeIds does; installed as the process's reader for its lifetime.
class TestReader : public NodeAttributeReader
{
public:
    TestReader() { NodeAttributeReader::setInstance(this); }
    ~TestReader() override { NodeAttributeReader::setInstance(nullptr); }

    void addNodeManager(NodeManager& nodeManager, OpcUa_UInt16 namespaceIndex)
    {
        m_nodeManagers[namespaceIndex] = &nodeManager;
    }
    int calls() const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_calls;
    }

    UaStatus readByNodeIds(const ServiceContext&, OpcUa_Double, OpcUa_TimestampsToReturn,
                           const UaReadValueIdArray& nodesToRead, UaDataValueArray& results) override
    {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            ++m_calls;
        }
        results.create(nodesToRead.length());
        for (OpcUa_UInt32 i = 0; i < nodesToRead.length(); ++i)
        {
            const UaNodeId nodeId(nodesToRead[i].NodeId);
            auto owner = m_nodeManagers.find(nodeId.namespaceIndex());
            ReferenceHolder<UaNode> node;
            if (owner != m_nodeManagers.end())
                node = ReferenceHolder<UaNode>::adopt(owner->second->getNode(nodeId));
            UaDataValue value;
            if (node)
                node->getAttributeValue(nullptr, static_cast<OpcUa_Int32>(nodesToRead[i].AttributeId), value);
            else
                value.setStatusCode(OpcUa_BadNodeIdUnknown);
            value.copyTo(&results[i]);
        }
        return OpcUa_Good;
    }

private:
    std::map<OpcUa_UInt16, NodeManager*> m_nodeManagers;
    mutable std::mutex m_lock;
    int m_calls = 0;
};

// Namespace 0 with the type nodes the implicit references name, and two namespaces 2 and 3 whose
// nodes the reader reaches.
class TwoNamespaces : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_reader.addNodeManager(m_ns0, 0);
        m_reader.addNodeManager(m_a, 2);
        m_reader.addNodeManager(m_b, 3);
        ASSERT_TRUE(
            m_ns0.addUaNode(new UaObjectTypeSimple("BaseObjectType", UaNodeId(58, 0), "en", false)).isGood());
        ASSERT_TRUE(
            m_ns0.addUaNode(new UaVariableTypeSimple("BaseDataVariableType", UaNodeId(63, 0), "en", false))
                .isGood());
        ASSERT_TRUE(m_ns0.addUaNode(newObject(UaNodeId(78, 0), "Mandatory")).isGood());
        ASSERT_TRUE(m_ns0.addUaNode(newObject(UaNodeId(80, 0), "Optional")).isGood());
    }

    TestNodeManager m_ns0{0};
    TestNodeManager m_a{2};
    TestNodeManager m_b{3};
    TestReader m_reader;
};

// One reference description as the tests compare it.
struct Ref
{
    OpcUa_UInt32 type;
    bool isForward;
    std::string target;
    std::string browseName;
    std::string displayName;
    OpcUa_Int32 nodeClass;
    std::string typeDefinition;

    bool operator==(const Ref& other) const = default;
};

inline std::string text(const UaNodeId& nodeId)
{
    return nodeId.isNull() && nodeId.identifierType() == OpcUa_IdentifierType_Numeric
               ? ""
               : nodeId.toFullString().toUtf8();
}

inline std::ostream& operator<<(std::ostream& out, const Ref& ref)
{
    return out << "{" << ref.type << (ref.isForward ? " fwd " : " inv ") << ref.target << " '"
               << ref.browseName << "' '" << ref.displayName << "' class " << ref.nodeClass << " td "
               << ref.typeDefinition << "}";
}

inline Ref toRef(const OpcUa_ReferenceDescription& description)
{
    const UaNodeId type(description.ReferenceTypeId);
    return Ref{type.identifierType() == OpcUa_IdentifierType_Numeric && type.namespaceIndex() == 0
                   ? type.identifierNumeric()
                   : 0xFFFFFFFFu,
               description.IsForward != OpcUa_False,
               text(UaNodeId(description.NodeId.NodeId)),
               UaString(&description.BrowseName.Name).toUtf8(),
               UaString(&description.DisplayName.Text).toUtf8(),
               description.NodeClass,
               text(UaNodeId(description.TypeDefinition.NodeId))};
}

// A Browse request for one node; a page is one call, the continuation point stays in the context.
struct Browse
{
    explicit Browse(const UaNodeId& startingNode = UaNodeId(), OpcUa_UInt32 maximum = 0)
        : node(startingNode), maxReferences(maximum)
    {
    }
    UaNodeId node;
    OpcUa_BrowseDirection direction = OpcUa_BrowseDirection_Both;
    UaNodeId referenceType;
    bool includeSubtypes = true;
    OpcUa_UInt32 nodeClassMask = 0;
    OpcUa_UInt32 resultMask = OpcUa_BrowseResultMask_All;
    OpcUa_UInt32 maxReferences = 0;
};

class BrowseRun
{
public:
    BrowseRun(NodeManager& nodeManager, const Browse& request, ServiceContext context = ServiceContext())
        : m_nodeManager(nodeManager), m_context(std::move(context))
    {
        OpcUa_BrowseDescription_Initialize(&m_description);
        request.node.copyTo(&m_description.NodeId);
        m_description.BrowseDirection = request.direction;
        request.referenceType.copyTo(&m_description.ReferenceTypeId);
        m_description.IncludeSubtypes = request.includeSubtypes;
        m_description.NodeClassMask = request.nodeClassMask;
        m_description.ResultMask = request.resultMask;
        m_browseContext = new BrowseContext(nullptr, m_description, request.maxReferences);
    }
    ~BrowseRun()
    {
        delete m_browseContext;
        OpcUa_BrowseDescription_Clear(&m_description);
    }

    // One call; the request's own structures are gone once a continuation point is kept, as when a
    // session parks the context.
    UaStatus page(std::vector<Ref>& refs)
    {
        UaReferenceDescriptionArray references;
        const UaStatus status = m_nodeManager.browse(m_context, *m_browseContext, references);
        refs.clear();
        for (OpcUa_UInt32 i = 0; i < references.length(); ++i)
            refs.push_back(toRef(references[i]));
        if (m_browseContext->hasContinuationPoint())
            OpcUa_BrowseDescription_Clear(&m_description);
        return status;
    }
    bool hasMore() const { return m_browseContext->hasContinuationPoint(); }
    BrowseContext& context() { return *m_browseContext; }

    // Every page until no continuation point is left.
    std::vector<Ref> all(std::vector<std::size_t>* pageSizes = nullptr)
    {
        std::vector<Ref> result;
        std::vector<Ref> refs;
        do
        {
            EXPECT_TRUE(page(refs).isGood());
            if (pageSizes)
                pageSizes->push_back(refs.size());
            result.insert(result.end(), refs.begin(), refs.end());
        } while (hasMore());
        return result;
    }

private:
    NodeManager& m_nodeManager;
    ServiceContext m_context;
    OpcUa_BrowseDescription m_description;
    BrowseContext* m_browseContext;
};

// One element of a browse path.
struct PathElement
{
    UaNodeId referenceType;
    bool isInverse;
    bool includeSubtypes;
    UaQualifiedName targetName;
};

// TranslateBrowsePathsToNodeIds for one path: the status, and the targets as (NodeId text, remaining).
inline UaStatus translate(NodeManager& nodeManager, const UaNodeId& start,
                          const std::vector<PathElement>& path,
                          std::vector<std::pair<std::string, OpcUa_UInt32>>& targets)
{
    std::vector<OpcUa_RelativePathElement> elements(path.size());
    for (std::size_t i = 0; i < path.size(); ++i)
    {
        OpcUa_RelativePathElement_Initialize(&elements[i]);
        path[i].referenceType.copyTo(&elements[i].ReferenceTypeId);
        elements[i].IsInverse = path[i].isInverse;
        elements[i].IncludeSubtypes = path[i].includeSubtypes;
        path[i].targetName.copyTo(&elements[i].TargetName);
    }
    UaRelativePathElements relativePath(elements.data(), static_cast<OpcUa_Int32>(elements.size()));
    UaBrowsePathTargetArray found;
    const UaStatus status =
        nodeManager.translateBrowsePathToNodeId(ServiceContext(), start, relativePath, found);
    targets.clear();
    for (OpcUa_UInt32 i = 0; i < found.length(); ++i)
        targets.emplace_back(text(UaNodeId(found[i].TargetId.NodeId)), found[i].RemainingPathIndex);
    for (OpcUa_RelativePathElement& element : elements)
        OpcUa_RelativePathElement_Clear(&element);
    return status;
}
} // namespace testspace
