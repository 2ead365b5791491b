#include "baseobjecttypenode.h"

#include "attributeids.h"
#include "attributewriterules.h"
#include "standardnodeids.h"

ObjectAttributesFull* ObjectAttributes::makeFull() const
{
    return new ObjectAttributesFull(*this);
}

ObjectAttributesFull::ObjectAttributesFull(const ObjectAttributes& record)
    : ObjectAttributes(record), m_browseName(record.browseName()), m_displayName(record.displayName()),
      m_description(record.description()), m_writeMask(record.writeMask()),
      m_eventNotifier(record.eventNotifier()), m_modellingRule(record.modellingRuleId())
{
}

namespace
{
UaMutexRefCounted* shareOrMake(UaMutexRefCounted* sharedMutex)
{
    if (!sharedMutex)
        return new UaMutexRefCounted;
    sharedMutex->addReference();
    return sharedMutex;
}

ObjectAttributes* recordFrom(const UaNodeId& nodeId, UaObject* declaration)
{
    if (!declaration)
        return new ObjectAttributes(nodeId, UaString(), nodeId.namespaceIndex());
    const UaQualifiedName browseName = declaration->browseName();
    auto* full =
        new ObjectAttributesFull(ObjectAttributes(nodeId, browseName.name(), browseName.namespaceIndex()));
    full->m_displayName = declaration->displayName(nullptr);
    if (declaration->isDescriptionSupported())
        full->m_description = declaration->description(nullptr);
    if (declaration->isWriteMaskSupported())
        full->m_writeMask = declaration->writeMask();
    full->m_eventNotifier = declaration->eventNotifier();
    full->m_modellingRule = declaration->modellingRuleId();
    return full;
}
} // namespace

BaseObjectTypeNode::BaseObjectTypeNode(const UaNodeId& nodeId, const UaString& name,
                                       OpcUa_UInt16 namespaceIndex, NodeManagerConfig* pNodeManager,
                                       UaMutexRefCounted* sharedMutex)
    : m_pNodeManager(pNodeManager), m_pSharedMutex(shareOrMake(sharedMutex)),
      m_attributes(new ObjectAttributes(nodeId, name, namespaceIndex))
{
}

BaseObjectTypeNode::BaseObjectTypeNode(const UaNodeId& nodeId, UaObject* pInstanceDeclaration,
                                       NodeManagerConfig* pNodeManager, UaMutexRefCounted* sharedMutex)
    : m_pNodeManager(pNodeManager), m_pSharedMutex(shareOrMake(sharedMutex)),
      m_attributes(recordFrom(nodeId, pInstanceDeclaration))
{
}

BaseObjectTypeNode::~BaseObjectTypeNode()
{
    m_pSharedMutex->releaseReference();
}

UaStatus BaseObjectTypeNode::beginCall(MethodCallCallback*, const ServiceContext&, OpcUa_UInt32,
                                       MethodHandle*, const UaVariantArray&)
{
    return OpcUa_BadMethodInvalid;
}

MethodManager* BaseObjectTypeNode::getMethodManager(UaMethod* pMethodNode) const
{
    UaSharedMutexLocker locker(m_pSharedMutex);
    if (MethodManager* methodManager = m_attributes.current().methodManager(pMethodNode))
        return methodManager;
    return const_cast<BaseObjectTypeNode*>(this);
}

UaNodeId BaseObjectTypeNode::typeDefinitionId() const
{
    return UaNodeId(StandardNodeId::BaseObjectType, 0);
}

OpcUa_UInt32 BaseObjectTypeNode::attributesKind() const
{
    return m_attributes.read(m_pSharedMutex, &ObjectAttributes::kind);
}

UaNodeId BaseObjectTypeNode::nodeId() const
{
    return m_attributes.read(m_pSharedMutex, &ObjectAttributes::nodeId);
}

UaQualifiedName BaseObjectTypeNode::browseName() const
{
    return m_attributes.read(m_pSharedMutex, &ObjectAttributes::browseName);
}

UaLocalizedText BaseObjectTypeNode::displayName(Session*) const
{
    return m_attributes.read(m_pSharedMutex, &ObjectAttributes::displayName);
}

UaLocalizedText BaseObjectTypeNode::description(Session*) const
{
    return m_attributes.read(m_pSharedMutex, &ObjectAttributes::description);
}

OpcUa_UInt32 BaseObjectTypeNode::writeMask() const
{
    return m_attributes.read(m_pSharedMutex, &ObjectAttributes::writeMask);
}

OpcUa_UInt32 BaseObjectTypeNode::userWriteMask(Session*) const
{
    return m_attributes.read(m_pSharedMutex, &ObjectAttributes::writeMask);
}

OpcUa_Byte BaseObjectTypeNode::eventNotifier() const
{
    return m_attributes.read(m_pSharedMutex, &ObjectAttributes::eventNotifier);
}

UaNodeId BaseObjectTypeNode::modellingRuleId() const
{
    return m_attributes.read(m_pSharedMutex, &ObjectAttributes::modellingRuleId);
}

void BaseObjectTypeNode::setBrowseName(const UaQualifiedName& browseName)
{
    m_attributes.write(m_pSharedMutex, &ObjectAttributesFull::m_browseName, browseName);
}

void BaseObjectTypeNode::setDisplayName(const UaLocalizedText& displayName)
{
    m_attributes.write(m_pSharedMutex, &ObjectAttributesFull::m_displayName, displayName);
}

void BaseObjectTypeNode::setDescription(const UaLocalizedText& description)
{
    m_attributes.write(m_pSharedMutex, &ObjectAttributesFull::m_description, description);
}

void BaseObjectTypeNode::setWriteMask(OpcUa_UInt32 writeMask)
{
    m_attributes.write(m_pSharedMutex, &ObjectAttributesFull::m_writeMask, writeMask);
}

void BaseObjectTypeNode::setEventNotifier(OpcUa_Byte eventNotifier)
{
    m_attributes.write(m_pSharedMutex, &ObjectAttributesFull::m_eventNotifier, eventNotifier);
}

void BaseObjectTypeNode::setModellingRule(const UaNodeId& modellingRuleId)
{
    m_attributes.write(m_pSharedMutex, &ObjectAttributesFull::m_modellingRule, modellingRuleId);
}

UaStatus BaseObjectTypeNode::setAttributeValue(Session*, OpcUa_Int32 attributeId,
                                               const UaDataValue& dataValue, bool checkWriteMask)
{
    if (attributeId < AttributeId::BrowseName || attributeId > AttributeId::WriteMask)
        return OpcUa_BadNotWritable;
    const UaVariant value = dataValue.value();
    return m_attributes.writeChecked(m_pSharedMutex, attributeId, value, checkWriteMask,
                                     [&](ObjectAttributesFull& full)
                                     {
                                         AttributeWriteRules::applyNameAttribute(
                                             attributeId, value, full.m_browseName, full.m_displayName,
                                             full.m_description, full.m_writeMask);
                                     });
}

TypedObjectNode::TypedObjectNode(const UaNodeId& nodeId, const UaString& name, OpcUa_UInt16 namespaceIndex,
                                 NodeManagerConfig* pNodeManager)
    : BaseObjectTypeNode(nodeId, name, namespaceIndex, pNodeManager, nullptr),
      m_typeDefinitionId(StandardNodeId::BaseObjectType, 0)
{
}

UaNodeId TypedObjectNode::typeDefinitionId() const
{
    UaSharedMutexLocker locker(sharedMutex());
    return m_typeDefinitionId;
}

void TypedObjectNode::setTypeDefinition(const UaNodeId& typeDefinitionId)
{
    UaSharedMutexLocker locker(sharedMutex());
    m_typeDefinitionId = typeDefinitionId;
}
