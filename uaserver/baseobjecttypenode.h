#ifndef UASERVER_BASEOBJECTTYPENODE_H
#define UASERVER_BASEOBJECTTYPENODE_H

#include "attributerecord.h"
#include "methodmanager.h"
#include "uanodebases.h"
#include "uavariablecache.h"

class NodeManagerConfig;
class ObjectAttributesFull;

// The attributes of an object node, kind 0 (compact): NodeId and browse name (text and namespace);
// the display name is the text without locale. Kind 3 (ObjectAttributesFull) holds everything that
// can be changed. A record also names the method manager of a method, none here.
class ObjectAttributes
{
public:
    ObjectAttributes(const UaNodeId& nodeId, const UaString& name, OpcUa_UInt16 namespaceIndex)
        : m_nodeId(nodeId), m_name(name), m_namespaceIndex(namespaceIndex)
    {
    }
    virtual ~ObjectAttributes() = default;

    virtual OpcUa_UInt32 kind() const { return 0; }
    virtual ObjectAttributesFull* makeFull() const;
    virtual UaNodeId nodeId() const { return m_nodeId; }
    virtual UaQualifiedName browseName() const { return UaQualifiedName(m_name, m_namespaceIndex); }
    virtual UaLocalizedText displayName() const { return UaLocalizedText("", m_name); }
    virtual UaLocalizedText description() const { return UaLocalizedText(); }
    virtual OpcUa_UInt32 writeMask() const { return 0; }
    virtual OpcUa_Byte eventNotifier() const { return 0; }
    virtual UaNodeId modellingRuleId() const { return m_modellingRuleId; }
    // Null: the object itself executes its methods.
    virtual MethodManager* methodManager(UaMethod*) const { return nullptr; }

private:
    UaNodeId m_nodeId;
    UaString m_name;
    OpcUa_UInt16 m_namespaceIndex;
    UaNodeId m_modellingRuleId;
};

class ObjectAttributesFull : public ObjectAttributes
{
public:
    explicit ObjectAttributesFull(const ObjectAttributes& record);

    OpcUa_UInt32 kind() const override { return 3; }
    ObjectAttributesFull* makeFull() const override { return new ObjectAttributesFull(*this); }
    UaQualifiedName browseName() const override { return m_browseName; }
    UaLocalizedText displayName() const override { return m_displayName; }
    UaLocalizedText description() const override { return m_description; }
    OpcUa_UInt32 writeMask() const override { return m_writeMask; }
    OpcUa_Byte eventNotifier() const override { return m_eventNotifier; }
    UaNodeId modellingRuleId() const override { return m_modellingRule; }

    UaQualifiedName m_browseName;
    UaLocalizedText m_displayName;
    UaLocalizedText m_description;
    OpcUa_UInt32 m_writeMask;
    OpcUa_Byte m_eventNotifier;
    UaNodeId m_modellingRule;
};

// An object of type BaseObjectType that is its own method manager: it executes no method itself
// (BadMethodInvalid), a class for an object type with methods overrides beginCall. Attribute access
// takes the shared mutex of its node manager's nodes.
class BaseObjectTypeNode : public MethodManager, public UaNodeWithLists<UaObject>
{
public:
    // sharedMutex null: the node makes a mutex of its own.
    BaseObjectTypeNode(const UaNodeId& nodeId, const UaString& name, OpcUa_UInt16 namespaceIndex,
                       NodeManagerConfig* pNodeManager, UaMutexRefCounted* sharedMutex);
    // Every attribute but the NodeId from the instance declaration (may be null).
    BaseObjectTypeNode(const UaNodeId& nodeId, UaObject* pInstanceDeclaration,
                       NodeManagerConfig* pNodeManager, UaMutexRefCounted* sharedMutex);
    ~BaseObjectTypeNode() override;

    UaStatus beginCall(MethodCallCallback* pCallback, const ServiceContext& serviceContext,
                       OpcUa_UInt32 callbackHandle, MethodHandle* pMethodHandle,
                       const UaVariantArray& inputArguments) override;
    // The record's method manager for the method, else the object itself.
    MethodManager* getMethodManager(UaMethod* pMethodNode) const override;

    UaNodeId typeDefinitionId() const override;
    UaNodeId nodeId() const override;
    UaQualifiedName browseName() const override;
    UaLocalizedText displayName(Session* session) const override;
    bool isDescriptionSupported() const override { return true; }
    UaLocalizedText description(Session* session) const override;
    bool isWriteMaskSupported() const override { return true; }
    OpcUa_UInt32 writeMask() const override;
    bool isUserWriteMaskSupported() const override { return true; }
    OpcUa_UInt32 userWriteMask(Session* session) const override;
    OpcUa_Byte eventNotifier() const override;
    UaNodeId modellingRuleId() const override;

    // Attributes 3 to 6 by their write-mask bits; UserWriteMask and every other attribute refused.
    UaStatus setAttributeValue(Session* session, OpcUa_Int32 attributeId, const UaDataValue& dataValue,
                               bool checkWriteMask) override;
    // Each setter makes the record a full one first.
    void setBrowseName(const UaQualifiedName& browseName);
    void setDisplayName(const UaLocalizedText& displayName);
    void setDescription(const UaLocalizedText& description);
    void setWriteMask(OpcUa_UInt32 writeMask);
    void setEventNotifier(OpcUa_Byte eventNotifier);
    void setModellingRule(const UaNodeId& modellingRuleId);

    // 0 compact, 3 full.
    OpcUa_UInt32 attributesKind() const;
    NodeManagerConfig* nodeManager() const { return m_pNodeManager; }
    UaMutexRefCounted* sharedMutex() const { return m_pSharedMutex; }

private:
    NodeManagerConfig* m_pNodeManager;
    UaMutexRefCounted* m_pSharedMutex;
    AttributeRecord<ObjectAttributes, ObjectAttributesFull> m_attributes;
};

// An object whose type definition is given after construction; BaseObjectType until then. It has a
// mutex of its own.
class TypedObjectNode : public BaseObjectTypeNode
{
public:
    TypedObjectNode(const UaNodeId& nodeId, const UaString& name, OpcUa_UInt16 namespaceIndex,
                    NodeManagerConfig* pNodeManager);
    UaNodeId typeDefinitionId() const override;
    void setTypeDefinition(const UaNodeId& typeDefinitionId);

private:
    UaNodeId m_typeDefinitionId;
};

#endif
