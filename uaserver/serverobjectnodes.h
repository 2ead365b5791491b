#ifndef UASERVER_SERVEROBJECTNODES_H
#define UASERVER_SERVEROBJECTNODES_H

#include "uadatavariabledevice.h"
#include "uaobjectbase.h"
#include "uavariablecache.h"

#include <uamutex.h>

#include <utility>
#include <vector>

class NodeManagerConfig;

// An object below the Server object (or in a type's declarations) with the type definition it was
// made with; no events of its own.
class UaTypedObject : public UaObjectBase
{
public:
    UaTypedObject(const UaString& name, const UaNodeId& nodeId, const UaString& defaultLocaleId,
                  const UaNodeId& typeDefinitionId)
        : UaObjectBase(name, nodeId, defaultLocaleId), m_typeDefinitionId(typeDefinitionId)
    {
    }
    UaNodeId typeDefinitionId() const override { return m_typeDefinitionId; }
    OpcUa_Byte eventNotifier() const override { return 0; }

private:
    UaNodeId m_typeDefinitionId;
};

// A cached data variable of a given variable type, for the structure-valued variables.
class UaTypedDataVariableCache : public UaDataVariableCache
{
public:
    UaTypedDataVariableCache(const UaString& name, const UaNodeId& nodeId, const UaVariant& initialValue,
                             const UaString& defaultLocaleId, const UaNodeId& typeDefinitionId);
    UaNodeId typeDefinitionId() const override { return m_typeDefinitionId; }

private:
    UaNodeId m_typeDefinitionId;
};

// ServerStatus: the structure of start-up, whose CurrentTime is the time of each read, so that a
// client reading the whole structure sees the server's clock as CurrentTime alone shows it.
class UaServerStatusVariable : public UaTypedDataVariableCache
{
public:
    using UaTypedDataVariableCache::UaTypedDataVariableCache;
    UaDataValue value(Session* session) override;
};

// ServerDiagnosticsSummary: the structure made at each read from its counter variables, which are
// the ones the server keeps current, so that both always agree.
class UaDiagnosticsSummaryVariable : public UaTypedDataVariableCache
{
public:
    using Field = OpcUa_UInt32 OpcUa_ServerDiagnosticsSummaryDataType::*;
    using UaTypedDataVariableCache::UaTypedDataVariableCache;

    // The structure's field takes counter's value; a reference to counter is held.
    void addCounter(Field field, UaVariable* counter);
    UaDataValue value(Session* session) override;

private:
    UaMutex m_countersMutex;
    std::vector<std::pair<Field, ReferenceHolder<UaVariable>>> m_counters;
};

// A variable that keeps no value: every read of its Value goes to its node manager's I/O manager,
// which produces the value at that moment.
class UaValuelessVariable : public UaDataVariableDevice
{
public:
    using UaDataVariableDevice::UaDataVariableDevice;
    OpcUa_UInt32 valueHandling() const override { return 0; }
};

// Adds nodes to one namespace below their parents. A node the namespace refuses is released; the
// builders go on without it.
class NodeBuilder
{
public:
    NodeBuilder(NodeManagerConfig* pNodeManager, const UaString& defaultLocaleId)
        : m_pNodeManager(pNodeManager), m_locale(defaultLocaleId)
    {
    }

    // The node, or null when it was refused (and released) or the parent is null.
    template <typename Node> Node* add(UaReferenceLists* pParent, Node* pNode, OpcUa_UInt32 referenceTypeId)
    {
        return link(pParent, pNode, referenceTypeId) ? pNode : nullptr;
    }
    template <typename Node> Node* add(const UaNodeId& parentId, Node* pNode, OpcUa_UInt32 referenceTypeId)
    {
        return link(parentId, pNode, referenceTypeId) ? pNode : nullptr;
    }
    UaDataVariableCache* variable(UaReferenceLists* pParent, OpcUa_UInt32 id, const char* name,
                                  const UaVariant& value);
    UaDataVariableCache* variable(const UaNodeId& parentId, OpcUa_UInt32 id, const char* name,
                                  const UaVariant& value);
    UaPropertyCache* property(UaReferenceLists* pParent, OpcUa_UInt32 id, const char* name,
                              const UaVariant& value);
    UaTypedObject* object(UaReferenceLists* pParent, OpcUa_UInt32 id, const char* name,
                          OpcUa_UInt32 typeDefinitionId);
    UaTypedDataVariableCache* typedVariable(UaReferenceLists* pParent, OpcUa_UInt32 id, const char* name,
                                            const UaVariant& value, OpcUa_UInt32 typeDefinitionId,
                                            OpcUa_UInt32 dataTypeId);
    UaFolder* folder(UaReferenceLists* pParent, OpcUa_UInt32 id, const char* name,
                     OpcUa_UInt32 referenceTypeId);
    const UaString& locale() const { return m_locale; }

private:
    bool link(UaReferenceLists* pParent, UaReferenceLists* pNode, OpcUa_UInt32 referenceTypeId);
    bool link(const UaNodeId& parentId, UaReferenceLists* pNode, OpcUa_UInt32 referenceTypeId);

    NodeManagerConfig* m_pNodeManager;
    UaString m_locale;
};

#endif
