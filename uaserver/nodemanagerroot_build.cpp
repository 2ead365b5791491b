// The root node manager's start-up: the folder skeleton, the object and variable types of
// namespace 0, the Server object and namespace 1.
#include "nodemanagerroot.h"

#include "auditeventtypes.h"
#include "basevariabletypenode.h"
#include "referencetypes.h"
#include "serverconfig.h"
#include "servermanager.h"
#include "standardeventtypes.h"
#include "standardtypenodes.h"
#include "uaobjectserver.h"
#include "uavariablecache.h"

#include <uadatetime.h>
#include <uatrace.h>

namespace
{
// CurrentRead.
constexpr OpcUa_Byte kReadOnly = 1;

struct TypeRow
{
    OpcUa_UInt32 id;
    const char* name;
};

// Subtypes of BaseDataVariableType, in creation order around ServerStatusType's components.
const TypeRow kVariableTypesBefore[] = {
    {2137, "ServerVendorCapabilityType"},
    {72, "DataTypeDictionaryType"},
    {69, "DataTypeDescriptionType"},
    {2138, "ServerStatusType"},
};
const TypeRow kVariableTypesAfter[] = {
    {3051, "BuildInfoType"},
    {2150, "ServerDiagnosticsSummaryType"},
    {2164, "SamplingIntervalDiagnosticsArrayType"},
    {2165, "SamplingIntervalDiagnosticsType"},
    {2171, "SubscriptionDiagnosticsArrayType"},
    {2172, "SubscriptionDiagnosticsType"},
    {2196, "SessionDiagnosticsArrayType"},
    {2197, "SessionDiagnosticsVariableType"},
    {2243, "SessionSecurityDiagnosticsArrayType"},
    {2244, "SessionSecurityDiagnosticsType"},
};
constexpr OpcUa_UInt32 kServerStatusType = 2138;

// Subtypes of BaseEventType and SystemEventType made here rather than by an event type routine.
struct EventSubtypeRow
{
    OpcUa_UInt32 id;
    const char* name;
    OpcUa_UInt32 superTypeId;
};
const EventSubtypeRow kRefreshEventTypes[] = {
    {2789, "RefreshRequiredEventType", StandardNodeId::SystemEventType},
    {2787, "RefreshStartEventType", StandardNodeId::SystemEventType},
    {2788, "RefreshEndEventType", StandardNodeId::SystemEventType},
};
const EventSubtypeRow kSemanticChangeEventType = {2738, "SemanticChangeEventType",
                                                  StandardNodeId::BaseEventType};

// Subtypes of BaseObjectType; an owner row is followed by its Int32 property.
struct ObjectTypeRow
{
    OpcUa_UInt32 id;
    const char* name;
    OpcUa_UInt32 propertyId;
    const char* propertyName;
    bool keepPropertyStatus;
};
const ObjectTypeRow kObjectTypesBeforeFolderType[] = {
    {2026, "SessionsDiagnosticsSummaryType", 0, nullptr, true},
    {2033, "VendorServerInfoType", 0, nullptr, true},
    {2034, "ServerRedundancyType", 2035, "RedundancySupport", true},
    {77, "ModellingRuleType", 111, "NamingRule", false},
};
const ObjectTypeRow kObjectTypesAfterFolderType[] = {
    {76, "DataTypeEncodingType", 0, nullptr, true},
    {75, "DataTypeSystemType", 0, nullptr, true},
    {2329, "HistoricalEventConfigurationType", 0, nullptr, true},
};

UaVariant int32Value(OpcUa_Int32 number)
{
    UaVariant value;
    value.setInt32(number);
    return value;
}
} // namespace

UaStatus NodeManagerRoot::link(UaReferenceLists* pParent, UaReferenceLists* pNode,
                               OpcUa_UInt32 referenceTypeId)
{
    const UaStatus status = addNodeAndReference(pParent, pNode, UaNodeId(referenceTypeId, 0));
    // A node namespace 0 did not take belongs to nobody else.
    if (status.isBad() && pNode)
        pNode->getUaNode()->releaseReference();
    return status;
}

UaStatus NodeManagerRoot::link(OpcUa_UInt32 parentId, UaReferenceLists* pNode, OpcUa_UInt32 referenceTypeId)
{
    const UaStatus status = addNodeAndReference(UaNodeId(parentId, 0), pNode, UaNodeId(referenceTypeId, 0));
    if (status.isBad() && pNode)
        pNode->getUaNode()->releaseReference();
    return status;
}

UaFolder* NodeManagerRoot::addFolder(UaReferenceLists* pParent, const char* name, OpcUa_UInt32 id,
                                     UaStatus& status)
{
    auto* folder = new UaFolder(name, UaNodeId(id, 0), m_defaultLocaleId);
    status = link(pParent, folder, ReferenceTypeId::Organizes);
    return status.isGood() ? folder : nullptr;
}

UaStatus NodeManagerRoot::afterStartUp()
{
    UaTrace::traceLevel6("--> NodeManagerRoot::afterStartUp");
    startUpSampling(m_pServerManager);

    auto* rootFolder = new UaFolder("Root", UaNodeId(StandardNodeId::RootFolder, 0), m_defaultLocaleId);
    if (addUaNode(rootFolder).isBad())
    {
        rootFolder->releaseReference();
        rootFolder = nullptr;
    }
    m_pRootFolder = rootFolder;
    UaStatus ignored;
    UaFolder* objects = nullptr;
    UaFolder* types = nullptr;
    if (rootFolder)
    {
        addFolder(rootFolder, "Views", StandardNodeId::ViewsFolder, ignored);
        objects = addFolder(rootFolder, "Objects", StandardNodeId::ObjectsFolder, ignored);
        types = addFolder(rootFolder, "Types", StandardNodeId::TypesFolder, ignored);
    }
    if (types)
    {
        const UaStatus typeNodes = addTypeNodes(types);
        if (typeNodes.isBad())
            UaTrace::traceLevel1("Error: NodeManagerRoot::afterStartUp [ret=0x%lx] adding type nodes failed",
                                 static_cast<unsigned long>(typeNodes.statusCode()));
    }

    ServerConfig* config = m_pServerManager->getServerConfig();
    if (objects)
    {
        auto* serverObject = new UaObjectServer(this, m_defaultLocaleId);
        if (link(objects, serverObject, ReferenceTypeId::Organizes).isGood())
        {
            m_pServerObject = serverObject;
            serverObject->startUp(config);
        }
    }

    UaStatus status = OpcUa_BadInternalError;
    if (NodeManager* namespaceOne = m_pServerManager->getNamespaceOneNodeManager())
    {
        UaString serverUri;
        UaLocalizedTextArray serverNames;
        if (config)
            config->getServerInstanceInfo(serverUri, serverNames);
        UaMutexLocker locker(&m_registerMutex);
        enter(1, namespaceOne, serverUri);
        status = OpcUa_Good;
    }
    UaTrace::traceLevel6("<-- NodeManagerRoot::afterStartUp [ret=0x%lx]",
                         static_cast<unsigned long>(status.statusCode()));
    return status;
}

UaStatus NodeManagerRoot::addTypeNodes(UaReferenceLists* pTypesFolder)
{
    UaStatus status;
    UaStatus ignored;
    addFolder(pTypesFolder, "EventTypes", StandardNodeId::EventTypesFolder, ignored);
    if (UaFolder* folder =
            addFolder(pTypesFolder, "VariableTypes", StandardNodeId::VariableTypesFolder, ignored))
        status = addVariableTypes(folder);
    if (UaFolder* folder = addFolder(pTypesFolder, "ObjectTypes", StandardNodeId::ObjectTypesFolder, ignored))
        status = addObjectTypes(folder);
    UaFolder* referenceTypes =
        addFolder(pTypesFolder, "ReferenceTypes", StandardNodeId::ReferenceTypesFolder, status);
    if (referenceTypes)
        status = addReferenceTypes(referenceTypes);
    if (UaFolder* folder = addFolder(pTypesFolder, "DataTypes", StandardNodeId::DataTypesFolder, ignored))
        status = addDataTypes(folder);
    return status;
}

UaStatus NodeManagerRoot::addVariableTypes(UaReferenceLists*)
{
    // The node classes link 62 below the VariableTypes folder and 63 and 68 below 62.
    StandardTypeNodes::createBaseVariableType();
    StandardTypeNodes::createPropertyType();
    StandardTypeNodes::createBaseDataVariableType();
    ReferenceHolder<UaNode> baseDataVariableType;
    {
        UaMutexLocker locker(&m_mutex);
        baseDataVariableType = findNode(UaNodeId(StandardNodeId::BaseDataVariableType, 0));
    }
    // Without BaseDataVariableType the variable types have no supertype to hang below.
    if (!baseDataVariableType || !baseDataVariableType->getUaReferenceLists())
        return OpcUa_BadInternalError;
    UaReferenceLists* superType = baseDataVariableType->getUaReferenceLists();

    UaStatus status;
    for (const TypeRow& row : kVariableTypesBefore)
        status =
            link(superType, new UaVariableTypeSimple(row.name, UaNodeId(row.id, 0), m_defaultLocaleId, false),
                 ReferenceTypeId::HasSubtype);

    ReferenceHolder<UaNode> serverStatusType;
    {
        UaMutexLocker locker(&m_mutex);
        serverStatusType = findNode(UaNodeId(kServerStatusType, 0));
    }
    if (serverStatusType && serverStatusType->getUaReferenceLists())
    {
        UaReferenceLists* owner = serverStatusType->getUaReferenceLists();
        UaVariant startTime;
        startTime.setDateTime(UaDateTime::now());
        UaVariant secondsTillShutdown;
        secondsTillShutdown.setUInt32(0);
        UaVariant shutdownReason;
        shutdownReason.setLocalizedText(UaLocalizedText());
        auto component = [this, owner](UaReferenceLists* node)
        { return link(owner, node, ReferenceTypeId::HasComponent); };

        status = component(
            new UaDataVariableCache("StartTime", UaNodeId(2139, 0), startTime, kReadOnly, m_defaultLocaleId));
        status = component(new UaDataVariableCache("CurrentTime", UaNodeId(2140, 0), startTime, kReadOnly,
                                                   m_defaultLocaleId));
        auto* state = new BaseDataVariableTypeNode(UaNodeId(2141, 0), "State", 0, int32Value(7), kReadOnly,
                                                   this, nullptr);
        state->setDataType(UaNodeId(852, 0));
        status = component(state);
        status = component(new UaDataVariableCache("SecondsTillShutdown", UaNodeId(2752, 0),
                                                   secondsTillShutdown, kReadOnly, m_defaultLocaleId));
        status = component(new UaDataVariableCache("ShutdownReason", UaNodeId(2753, 0), shutdownReason,
                                                   kReadOnly, m_defaultLocaleId));
        auto* buildInfo =
            new TypedVariableNode(UaNodeId(2142, 0), "BuildInfo", 0, UaVariant(), kReadOnly, this, nullptr);
        buildInfo->setDataType(UaNodeId(338, 0));
        buildInfo->setTypeDefinition(UaNodeId(3051, 0));
        status = component(buildInfo);
    }

    for (const TypeRow& row : kVariableTypesAfter)
        status =
            link(superType, new UaVariableTypeSimple(row.name, UaNodeId(row.id, 0), m_defaultLocaleId, false),
                 ReferenceTypeId::HasSubtype);
    return status;
}

UaStatus NodeManagerRoot::addObjectTypes(UaReferenceLists* pObjectTypesFolder)
{
    auto* baseObjectType = new UaObjectTypeSimple(
        "BaseObjectType", UaNodeId(StandardNodeId::BaseObjectType, 0), m_defaultLocaleId, false);
    UaStatus status = link(pObjectTypesFolder, baseObjectType, ReferenceTypeId::Organizes);
    m_pBaseObjectType = status.isGood() ? baseObjectType : nullptr;

    StandardEventTypes::createBaseEventType();
    StandardEventTypes::createDeviceFailureEventType();
    auto eventSubtype = [this](const EventSubtypeRow& row)
    {
        return link(row.superTypeId,
                    new UaObjectTypeSimple(row.name, UaNodeId(row.id, 0), m_defaultLocaleId, false),
                    ReferenceTypeId::HasSubtype);
    };
    for (const EventSubtypeRow& row : kRefreshEventTypes)
        status = eventSubtype(row);
    StandardEventTypes::createBaseModelChangeEventType();
    status = eventSubtype(kSemanticChangeEventType);

    auto objectTypes = [this, &status](const auto& rows)
    {
        for (const ObjectTypeRow& row : rows)
        {
            auto* type = new UaObjectTypeSimple(row.name, UaNodeId(row.id, 0), m_defaultLocaleId, false);
            status = m_pBaseObjectType
                         ? link(m_pBaseObjectType, type, ReferenceTypeId::HasSubtype)
                         : link(StandardNodeId::BaseObjectType, type, ReferenceTypeId::HasSubtype);
            if (status.isBad() || !row.propertyId)
                continue;
            const UaStatus property = link(type,
                                           new UaPropertyCache(row.propertyName, UaNodeId(row.propertyId, 0),
                                                               int32Value(0), kReadOnly, m_defaultLocaleId),
                                           ReferenceTypeId::HasProperty);
            if (row.keepPropertyStatus)
                status = property;
        }
    };
    objectTypes(kObjectTypesBeforeFolderType);
    StandardEventTypes::createFolderType();
    objectTypes(kObjectTypesAfterFolderType);
    StandardEventTypes::createStateType();
    StandardEventTypes::createTransitionType();
    ServerConfig* config = m_pServerManager ? m_pServerManager->getServerConfig() : nullptr;
    if (config && config->auditingEnabled())
        AuditEventTypes::createAll();
    return status;
}
