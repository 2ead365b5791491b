#ifndef UASERVER_UAPLAINNODES_H
#define UASERVER_UAPLAINNODES_H

#include "uanodebases.h"

// Nodes of every node class whose attributes are plain members set by the constructor; alias nodes
// and type nodes are built from them. The variable class derives from the cached variable and
// lives with it.

class UaObjectPlain : public UaPlainNode<UaObject>
{
public:
    UaObjectPlain(const UaNodeId& nodeId, const UaQualifiedName& browseName,
                  const UaLocalizedText& displayName, const UaLocalizedText& description,
                  const UaNodeId& typeDefinitionId, OpcUa_Byte eventNotifier)
        : UaPlainNode(nodeId, browseName, displayName, description), m_typeDefinitionId(typeDefinitionId),
          m_eventNotifier(eventNotifier)
    {
    }
    UaNodeId typeDefinitionId() const override { return m_typeDefinitionId; }
    OpcUa_Byte eventNotifier() const override { return m_eventNotifier; }

private:
    UaNodeId m_typeDefinitionId;
    OpcUa_Byte m_eventNotifier;
};

class UaMethodPlain : public UaPlainNode<UaMethod>
{
public:
    UaMethodPlain(const UaNodeId& nodeId, const UaQualifiedName& browseName,
                  const UaLocalizedText& displayName, const UaLocalizedText& description, bool executable,
                  bool userExecutable)
        : UaPlainNode(nodeId, browseName, displayName, description), m_executable(executable),
          m_userExecutable(userExecutable)
    {
    }
    bool isExecutable() const override { return m_executable; }
    bool isUserExecutable() const override { return m_userExecutable; }

private:
    bool m_executable;
    bool m_userExecutable;
};

class UaObjectTypePlain : public UaPlainNode<UaObjectType>
{
public:
    UaObjectTypePlain(const UaNodeId& nodeId, const UaQualifiedName& browseName,
                      const UaLocalizedText& displayName, const UaLocalizedText& description, bool isAbstract)
        : UaPlainNode(nodeId, browseName, displayName, description), m_isAbstract(isAbstract)
    {
    }
    bool isAbstract() const override { return m_isAbstract; }

private:
    bool m_isAbstract;
};

class UaVariableTypePlain : public UaPlainNode<UaVariableType>
{
public:
    UaVariableTypePlain(const UaNodeId& nodeId, const UaQualifiedName& browseName,
                        const UaLocalizedText& displayName, const UaLocalizedText& description,
                        const UaDataValue& value, const UaNodeId& dataType, OpcUa_Int32 valueRank,
                        bool isAbstract)
        : UaPlainNode(nodeId, browseName, displayName, description), m_value(value.value()),
          m_dataType(dataType), m_valueRank(valueRank), m_isAbstract(isAbstract)
    {
    }
    bool isValueSupported() const override { return true; }
    UaDataValue value(Session*) const override;
    UaNodeId dataType() const override { return m_dataType; }
    OpcUa_Int32 valueRank() const override { return m_valueRank; }
    bool isArrayDimensionsSupported() const override { return true; }
    // As many zeros (lengths unknown) as a value rank of 1 or more says; none below.
    void arrayDimensions(UaUInt32Array& dimensions) const override;
    bool isAbstract() const override { return m_isAbstract; }

private:
    UaVariant m_value;
    UaNodeId m_dataType;
    OpcUa_Int32 m_valueRank;
    bool m_isAbstract;
};

class UaReferenceTypePlain : public UaPlainNode<UaReferenceType>
{
public:
    // superType may be null; the node holds a reference to it.
    UaReferenceTypePlain(const UaNodeId& nodeId, const UaQualifiedName& browseName,
                         const UaLocalizedText& displayName, const UaLocalizedText& description,
                         bool isAbstract, bool symmetric, const UaLocalizedText& inverseName,
                         UaReferenceType* superType)
        : UaPlainNode(nodeId, browseName, displayName, description), m_isAbstract(isAbstract),
          m_symmetric(symmetric), m_inverseName(inverseName), m_superType(superType)
    {
    }
    bool isAbstract() const override { return m_isAbstract; }
    bool isSymmetric() const override { return m_symmetric; }
    bool isInverseNameSupported() const override { return true; }
    UaLocalizedText inverseName(Session*) const override { return m_inverseName; }
    // Walks up the chain of super types.
    bool isSubtypeOf(const UaNodeId& referenceTypeId) const override;

private:
    bool m_isAbstract;
    bool m_symmetric;
    UaLocalizedText m_inverseName;
    ReferenceHolder<UaReferenceType> m_superType;
};

class UaDataTypePlain : public UaPlainNode<UaDataType>
{
public:
    UaDataTypePlain(const UaNodeId& nodeId, const UaQualifiedName& browseName,
                    const UaLocalizedText& displayName, const UaLocalizedText& description, bool isAbstract)
        : UaPlainNode(nodeId, browseName, displayName, description), m_isAbstract(isAbstract)
    {
    }
    bool isAbstract() const override { return m_isAbstract; }

private:
    bool m_isAbstract;
};

class UaViewPlain : public UaPlainNode<UaView>
{
public:
    UaViewPlain(const UaNodeId& nodeId, const UaQualifiedName& browseName, const UaLocalizedText& displayName,
                const UaLocalizedText& description, bool containsNoLoops, OpcUa_Byte eventNotifier)
        : UaPlainNode(nodeId, browseName, displayName, description), m_containsNoLoops(containsNoLoops),
          m_eventNotifier(eventNotifier)
    {
    }
    bool containsNoLoops() const override { return m_containsNoLoops; }
    OpcUa_Byte eventNotifier() const override { return m_eventNotifier; }

private:
    bool m_containsNoLoops;
    OpcUa_Byte m_eventNotifier;
};

// Array dimensions of a value rank: zeros (lengths unknown) for 1 or more, none below.
void unknownArrayDimensions(OpcUa_Int32 valueRank, UaUInt32Array& dimensions);

#endif
