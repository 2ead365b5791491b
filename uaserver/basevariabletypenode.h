#ifndef UASERVER_BASEVARIABLETYPENODE_H
#define UASERVER_BASEVARIABLETYPENODE_H

#include "attributerecord.h"
#include "uavariablecache.h"
#include "variableattributes.h"

class NodeManagerConfig;

// The variable node classes that stand for the standard variable types. The attributes live in a
// record the node owns, compact until a setter needs more; every attribute access takes the shared
// mutex, which all nodes of one node manager share. Data type and value rank come from the initial
// value. Each class makes sure its type node exists in namespace 0.
class BaseVariableTypeNode : public UaNodeWithLists<UaVariableCache>
{
public:
    // sharedMutex null: the node makes a mutex of its own.
    BaseVariableTypeNode(const UaNodeId& nodeId, const UaString& name, OpcUa_UInt16 namespaceIndex,
                         const UaVariant& initialValue, OpcUa_Byte accessLevel,
                         NodeManagerConfig* pNodeManager, UaMutexRefCounted* sharedMutex);

    // BaseVariableType is the root of the variable types: no type definition.
    UaNodeId typeDefinitionId() const override { return UaNodeId(); }
    UaNodeId nodeId() const override;
    UaQualifiedName browseName() const override;
    UaLocalizedText displayName(Session* session) const override;
    bool isDescriptionSupported() const override { return true; }
    UaLocalizedText description(Session* session) const override;
    bool isWriteMaskSupported() const override { return true; }
    OpcUa_UInt32 writeMask() const override;
    bool isUserWriteMaskSupported() const override { return true; }
    OpcUa_UInt32 userWriteMask(Session* session) const override;
    UaNodeId modellingRuleId() const override;
    UaNodeId dataType() const override;
    OpcUa_Int32 valueRank() const override;
    bool isArrayDimensionsSupported() const override { return true; }
    void arrayDimensions(UaUInt32Array& dimensions) const override;
    OpcUa_Byte accessLevel() const override;
    OpcUa_Byte userAccessLevel(Session* session) const override;
    bool isMinimumSamplingIntervalSupported() const override { return true; }
    OpcUa_Double minimumSamplingInterval() const override;
    bool historizing() const override;

    // Attributes 3 to 6 and 14 to 20 by their write-mask bits, Value by the access level's
    // current-write bit; UserWriteMask and every other attribute are refused.
    UaStatus setAttributeValue(Session* session, OpcUa_Int32 attributeId, const UaDataValue& dataValue,
                               bool checkWriteMask) override;

    // Each setter makes the record a full one first.
    void setBrowseName(const UaQualifiedName& browseName);
    void setDisplayName(const UaLocalizedText& displayName);
    void setDescription(const UaLocalizedText& description);
    void setWriteMask(OpcUa_UInt32 writeMask);
    void setUserWriteMask(OpcUa_UInt32 userWriteMask);
    void setDataType(const UaNodeId& dataType);
    void setValueRank(OpcUa_Int32 valueRank);
    void setArrayDimensions(const UaUInt32Array& arrayDimensions);
    void setAccessLevel(OpcUa_Byte accessLevel);
    void setUserAccessLevel(OpcUa_Byte userAccessLevel);
    void setMinimumSamplingInterval(OpcUa_Double minimumSamplingInterval);
    void setHistorizing(bool historizing);
    void setModellingRule(const UaNodeId& modellingRuleId);

    // 0 compact, 3 full.
    OpcUa_UInt32 attributesKind() const;
    NodeManagerConfig* nodeManager() const { return m_pNodeManager; }

private:
    // Writes an attribute of the write table with a value already checked.
    void applyAttribute(VariableAttributesFull& full, OpcUa_Int32 attributeId, const UaVariant& value);

    AttributeRecord<VariableAttributes, VariableAttributesFull> m_attributes;
    NodeManagerConfig* m_pNodeManager;
};

// A data variable of type BaseDataVariableType.
class BaseDataVariableTypeBase : public BaseVariableTypeNode
{
public:
    BaseDataVariableTypeBase(const UaNodeId& nodeId, const UaString& name, OpcUa_UInt16 namespaceIndex,
                             const UaVariant& initialValue, OpcUa_Byte accessLevel,
                             NodeManagerConfig* pNodeManager, UaMutexRefCounted* sharedMutex);
    UaNodeId typeDefinitionId() const override;
};

// The data variable an application hangs its own object on.
class BaseDataVariableTypeNode : public BaseDataVariableTypeBase
{
public:
    using BaseDataVariableTypeBase::BaseDataVariableTypeBase;
    void setUserData(UserDataBase* userData) override { m_pUserData.store(userData); }
    UserDataBase* getUserData() const override { return m_pUserData.load(); }

private:
    std::atomic<UserDataBase*> m_pUserData{nullptr};
};

// A variable whose type definition is given after construction; BaseDataVariableType until then.
class TypedVariableNode : public BaseVariableTypeNode
{
public:
    TypedVariableNode(const UaNodeId& nodeId, const UaString& name, OpcUa_UInt16 namespaceIndex,
                      const UaVariant& initialValue, OpcUa_Byte accessLevel, NodeManagerConfig* pNodeManager,
                      UaMutexRefCounted* sharedMutex);
    UaNodeId typeDefinitionId() const override;
    void setTypeDefinition(const UaNodeId& typeDefinitionId);

private:
    UaNodeId m_typeDefinitionId;
};

// A property: a variable of type PropertyType.
class PropertyTypeBase : public BaseVariableTypeNode
{
public:
    PropertyTypeBase(const UaNodeId& nodeId, const UaString& name, OpcUa_UInt16 namespaceIndex,
                     const UaVariant& initialValue, OpcUa_Byte accessLevel, NodeManagerConfig* pNodeManager,
                     UaMutexRefCounted* sharedMutex);
    UaNodeId typeDefinitionId() const override;
};

class PropertyTypeNode : public PropertyTypeBase
{
public:
    using PropertyTypeBase::PropertyTypeBase;
};

#endif
