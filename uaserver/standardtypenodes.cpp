#include "standardtypenodes.h"

#include "nodemanager.h"
#include "referencetypes.h"
#include "standardnodeids.h"

#include <uamutex.h>

namespace
{
UaMutex& registrationLock()
{
    static UaMutex lock;
    return lock;
}

NodeManagerConfig* g_namespaceZero = nullptr;
std::atomic<bool> g_baseVariableType{false};
std::atomic<bool> g_baseDataVariableType{false};
std::atomic<bool> g_propertyType{false};
std::atomic<bool> g_serverType{false};
std::atomic<bool> g_serverCapabilitiesType{false};
std::atomic<bool> g_serverDiagnosticsType{false};

// The hooks run under namespace 0's node lock, so they take no lock of their own.
void baseVariableTypeDestroyed()
{
    g_baseVariableType = false;
}
void baseDataVariableTypeDestroyed()
{
    g_baseDataVariableType = false;
}
void propertyTypeDestroyed()
{
    g_propertyType = false;
}
void serverTypeDestroyed()
{
    g_serverType = false;
}
void serverCapabilitiesTypeDestroyed()
{
    g_serverCapabilitiesType = false;
}
void serverDiagnosticsTypeDestroyed()
{
    g_serverDiagnosticsType = false;
}

struct TypeRow
{
    std::atomic<bool>& registered;
    OpcUa_UInt32 nodeId;
    const char* name;
    OpcUa_UInt32 parentId;
    OpcUa_UInt32 referenceTypeId;
    void (*onDestroy)();
};

UaVariableTypeTracked* newTypeNode(const TypeRow& row, UaVariableTypeTracked*)
{
    return new UaVariableTypeTracked(UaNodeId(row.nodeId, 0), UaQualifiedName(row.name, 0),
                                     UaLocalizedText("", row.name), UaLocalizedText(), UaDataValue(),
                                     UaNodeId(StandardNodeId::BaseDataType, 0), -2, false);
}

UaObjectTypeTracked* newTypeNode(const TypeRow& row, UaObjectTypeTracked*)
{
    return new UaObjectTypeTracked(UaNodeId(row.nodeId, 0), UaQualifiedName(row.name, 0),
                                   UaLocalizedText("en", row.name), UaLocalizedText(), false);
}

template <typename TypeNode> bool registerType(const TypeRow& row)
{
    if (row.registered.load())
        return true;
    UaMutexLocker locker(&registrationLock());
    if (row.registered.load())
        return true;
    if (!g_namespaceZero)
        return false;
    TypeNode* typeNode = newTypeNode(row, static_cast<TypeNode*>(nullptr));
    const UaStatus added = g_namespaceZero->addNodeAndReference(UaNodeId(row.parentId, 0), typeNode,
                                                                UaNodeId(row.referenceTypeId, 0));
    if (added.isGood())
    {
        // Namespace 0 holds the node from here; only the node it took clears the flag.
        typeNode->setOnDestroy(row.onDestroy);
        row.registered = true;
        return true;
    }
    typeNode->releaseReference();
    // A type node someone else put there serves as well; any other failure is tried again.
    if (added.statusCode() == OpcUa_BadNodeIdExists)
        row.registered = true;
    return row.registered.load();
}
} // namespace

namespace StandardTypeNodes
{
void setNamespaceZero(NodeManagerConfig* namespaceZero)
{
    UaMutexLocker locker(&registrationLock());
    g_namespaceZero = namespaceZero;
    g_baseVariableType = false;
    g_baseDataVariableType = false;
    g_propertyType = false;
    g_serverType = false;
    g_serverCapabilitiesType = false;
    g_serverDiagnosticsType = false;
}

NodeManagerConfig* namespaceZero()
{
    UaMutexLocker locker(&registrationLock());
    return g_namespaceZero;
}

bool createBaseVariableType()
{
    return registerType<UaVariableTypeTracked>({g_baseVariableType, StandardNodeId::BaseVariableType,
                                                "BaseVariableType", StandardNodeId::VariableTypesFolder,
                                                ReferenceTypeId::Organizes, baseVariableTypeDestroyed});
}

bool createBaseDataVariableType()
{
    return createBaseVariableType() &&
           registerType<UaVariableTypeTracked>({g_baseDataVariableType, StandardNodeId::BaseDataVariableType,
                                                "BaseDataVariableType", StandardNodeId::BaseVariableType,
                                                ReferenceTypeId::HasSubtype, baseDataVariableTypeDestroyed});
}

bool createPropertyType()
{
    return createBaseVariableType() &&
           registerType<UaVariableTypeTracked>({g_propertyType, StandardNodeId::PropertyType, "PropertyType",
                                                StandardNodeId::BaseVariableType, ReferenceTypeId::HasSubtype,
                                                propertyTypeDestroyed});
}

bool createServerType()
{
    return registerType<UaObjectTypeTracked>({g_serverType, StandardNodeId::ServerType, "ServerType",
                                              StandardNodeId::BaseObjectType, ReferenceTypeId::HasSubtype,
                                              serverTypeDestroyed});
}

bool createServerCapabilitiesType()
{
    return registerType<UaObjectTypeTracked>({g_serverCapabilitiesType, 2013, "ServerCapabilitiesType",
                                              StandardNodeId::BaseObjectType, ReferenceTypeId::HasSubtype,
                                              serverCapabilitiesTypeDestroyed});
}

bool createServerDiagnosticsType()
{
    return registerType<UaObjectTypeTracked>({g_serverDiagnosticsType, 2020, "ServerDiagnosticsType",
                                              StandardNodeId::BaseObjectType, ReferenceTypeId::HasSubtype,
                                              serverDiagnosticsTypeDestroyed});
}

bool isServerCapabilitiesTypeRegistered()
{
    return g_serverCapabilitiesType.load();
}

bool isServerDiagnosticsTypeRegistered()
{
    return g_serverDiagnosticsType.load();
}

bool isServerTypeRegistered()
{
    return g_serverType.load();
}

bool isBaseVariableTypeRegistered()
{
    return g_baseVariableType.load();
}
bool isBaseDataVariableTypeRegistered()
{
    return g_baseDataVariableType.load();
}
bool isPropertyTypeRegistered()
{
    return g_propertyType.load();
}
} // namespace StandardTypeNodes
