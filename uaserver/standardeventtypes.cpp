#include "standardeventtypes.h"

#include "eventtypecreation.h"

#include "basevariabletypenode.h"
#include "eventregistry.h"
#include "nodemanager.h"
#include "nodemanagerroot.h"
#include "referencetypes.h"
#include "standardnodeids.h"
#include "standardtypenodes.h"

#include <uadatetime.h>

#include <mutex>
#include <vector>

namespace
{
// CurrentRead.
constexpr OpcUa_Byte kReadOnly = 1;

using namespace EventTypeCreation;

const TypeRow& baseEventTypeRow()
{
    static const TypeRow row{createdFlag<StandardNodeId::BaseEventType>(),
                             clearCreated<StandardNodeId::BaseEventType>,
                             StandardNodeId::BaseEventType,
                             "BaseEventType",
                             StandardNodeId::BaseObjectType,
                             nullptr,
                             Registration::BaseEvent,
                             {
                                 {2042, "EventId", emptyByteString, StandardNodeId::ModellingRuleMandatory},
                                 {2043, "EventType", nullNodeId, StandardNodeId::ModellingRuleMandatory},
                                 {2044, "SourceNode", nullNodeId, StandardNodeId::ModellingRuleMandatory},
                                 {2045, "SourceName", emptyString, StandardNodeId::ModellingRuleMandatory},
                                 {2046, "Time", nullDateTime, StandardNodeId::ModellingRuleMandatory},
                                 {2047, "ReceiveTime", nullDateTime, StandardNodeId::ModellingRuleMandatory},
                                 {3190, "LocalTime", nullDateTime, StandardNodeId::ModellingRuleOptional},
                                 {2050, "Message",
                                  []
                                  {
                                      UaVariant v;
                                      v.setLocalizedText(UaLocalizedText());
                                      return v;
                                  },
                                  StandardNodeId::ModellingRuleMandatory},
                                 {2051, "Severity",
                                  []
                                  {
                                      UaVariant v;
                                      v.setUInt16(500);
                                      return v;
                                  },
                                  StandardNodeId::ModellingRuleMandatory},
                             }};
    return row;
}

} // namespace

namespace
{
// Namespace 0 of the process's root node manager; none while no root exists (a type raised
// between two servers is registered and its node made by the next creation).
NodeManagerConfig* namespaceZeroConfig()
{
    if (!NodeManagerRoot::hasInstance())
        return nullptr;
    NodeManager* root = NodeManagerRoot::instance()->getNodeManagerByNamespace(0);
    return root ? root->getNodeManagerConfig() : nullptr;
}

std::recursive_mutex& creationLock()
{
    static auto* lock = new std::recursive_mutex;
    return *lock;
}
} // namespace

namespace EventTypeCreation
{
UaVariant nullNodeId()
{
    UaVariant value;
    value.setNodeId(UaNodeId());
    return value;
}

UaVariant nullDateTime()
{
    UaVariant value;
    value.setDateTime(UaDateTime());
    return value;
}

UaVariant emptyString()
{
    UaVariant value;
    value.setString(UaString());
    return value;
}

UaVariant emptyByteString()
{
    UaVariant value;
    UaByteString empty;
    value.setByteString(empty, false);
    return value;
}

void FieldMap::fill(const std::map<OpcUa_UInt32, OpcUa_UInt32>& indexes)
{
    UaMutexLocker locker(&m_lock);
    m_indexes = indexes;
}

void FieldMap::clear()
{
    UaMutexLocker locker(&m_lock);
    m_indexes.clear();
}

bool FieldMap::find(OpcUa_UInt32 fieldIndex, OpcUa_UInt32& localNumber) const
{
    UaMutexLocker locker(&m_lock);
    const auto found = m_indexes.find(fieldIndex);
    if (found == m_indexes.end())
        return false;
    localNumber = found->second;
    return true;
}

void createType(const TypeRow& row)
{
    std::lock_guard<std::recursive_mutex> creating(creationLock());
    std::atomic<bool>& created = row.created;
    if (created.exchange(true))
        return;
    if (row.createSuperType)
        row.createSuperType();
    if (row.registration == Registration::BaseEvent)
        StandardEventTypes::registerBaseEventFields();
    else if (row.registration == Registration::Event)
        EventRegistry::registerEventType(UaNodeId(row.superTypeId, 0), UaNodeId(row.id, 0));
    if (row.fieldMap)
    {
        // The indexes come from the registry's own lock; the map takes them in one step.
        std::map<OpcUa_UInt32, OpcUa_UInt32> indexes;
        for (size_t i = 0; i < row.properties.size(); ++i)
            indexes[EventRegistry::registerEventField(EventRegistry::fieldKey(
                UaQualifiedName(row.properties[i].name, 0)))] = static_cast<OpcUa_UInt32>(i + 1);
        row.fieldMap->fill(indexes);
    }

    NodeManagerConfig* config = namespaceZeroConfig();
    if (!config)
    {
        created = false;
        return;
    }
    auto* typeNode =
        new UaObjectTypeTracked(UaNodeId(row.id, 0), UaQualifiedName(row.name, 0),
                                UaLocalizedText("", row.name), UaLocalizedText("", row.name), false);
    if (config
            ->addNodeAndReference(UaNodeId(row.superTypeId, 0), typeNode,
                                  UaNodeId(ReferenceTypeId::HasSubtype, 0))
            .isBad())
    {
        // Nothing took the node: it goes, and the next routine call tries again.
        typeNode->releaseReference();
        created = false;
        return;
    }
    typeNode->setOnDestroy(row.releaseHook);
    if (row.registration == Registration::BaseEvent)
        config->addUaReference(UaNodeId(StandardNodeId::EventTypesFolder, 0), UaNodeId(row.id, 0),
                               UaNodeId(ReferenceTypeId::Organizes, 0));
    for (const PropertyRow& property : row.properties)
    {
        auto* node = new PropertyTypeNode(UaNodeId(property.id, 0), property.name, 0, property.initialValue(),
                                          kReadOnly, config, nullptr);
        if (property.modellingRule)
            node->setModellingRule(UaNodeId(property.modellingRule, 0));
        if (config->addNodeAndReference(typeNode, node, UaNodeId(ReferenceTypeId::HasProperty, 0)).isBad())
            node->releaseReference();
    }
}
} // namespace EventTypeCreation

namespace StandardEventTypes
{
void registerBaseEventFields()
{
    for (const char* name : {"EventId", "EventType", "SourceNode", "SourceName", "Time", "ReceiveTime",
                             "LocalTime", "Message", "Severity"})
        EventRegistry::registerEventField(EventRegistry::fieldKey(UaQualifiedName(name, 0)));
}

void createBaseEventType()
{
    createType(baseEventTypeRow());
}

void createSystemEventType()
{
    createType({createdFlag<StandardNodeId::SystemEventType>(),
                clearCreated<StandardNodeId::SystemEventType>,
                StandardNodeId::SystemEventType,
                "SystemEventType",
                StandardNodeId::BaseEventType,
                nullptr,
                Registration::Event,
                {}});
}

void createDeviceFailureEventType()
{
    createType({createdFlag<2131>(),
                clearCreated<2131>,
                2131,
                "DeviceFailureEventType",
                StandardNodeId::SystemEventType,
                createSystemEventType,
                Registration::Event,
                {}});
}

void createBaseModelChangeEventType()
{
    createType({createdFlag<2132>(),
                clearCreated<2132>,
                2132,
                "BaseModelChangeEventType",
                StandardNodeId::BaseEventType,
                nullptr,
                Registration::Event,
                {}});
}

void createFolderType()
{
    createType({createdFlag<StandardNodeId::FolderType>(),
                clearCreated<StandardNodeId::FolderType>,
                StandardNodeId::FolderType,
                "FolderType",
                StandardNodeId::BaseObjectType,
                nullptr,
                Registration::None,
                {}});
}

void createStateType()
{
    createType({createdFlag<2307>(),
                clearCreated<2307>,
                2307,
                "StateType",
                StandardNodeId::BaseObjectType,
                nullptr,
                Registration::None,
                {{2308, "StateNumber",
                  []
                  {
                      UaVariant v;
                      v.setUInt32(0);
                      return v;
                  },
                  0}}});
}

void createTransitionType()
{
    createType({createdFlag<2310>(),
                clearCreated<2310>,
                2310,
                "TransitionType",
                StandardNodeId::BaseObjectType,
                nullptr,
                Registration::None,
                {}});
}

bool isCreated(OpcUa_UInt32 typeId)
{
    switch (typeId)
    {
    case StandardNodeId::BaseEventType:
        return createdFlag<StandardNodeId::BaseEventType>().load();
    case StandardNodeId::SystemEventType:
        return createdFlag<StandardNodeId::SystemEventType>().load();
    case 2131:
        return createdFlag<2131>().load();
    case 2132:
        return createdFlag<2132>().load();
    case StandardNodeId::FolderType:
        return createdFlag<StandardNodeId::FolderType>().load();
    case 2307:
        return createdFlag<2307>().load();
    case 2310:
        return createdFlag<2310>().load();
    default:
        return false;
    }
}
} // namespace StandardEventTypes

UaFolderTypeObject::UaFolderTypeObject(const UaNodeId& nodeId, const UaString& name,
                                       OpcUa_UInt16 namespaceIndex, NodeManagerConfig* pNodeManager,
                                       UaMutexRefCounted* sharedMutex)
    : BaseObjectTypeNode(nodeId, name, namespaceIndex, pNodeManager, sharedMutex)
{
    StandardEventTypes::createFolderType();
}

UaFolderTypeObject::UaFolderTypeObject(const UaNodeId& nodeId, UaObject* pInstanceDeclaration,
                                       NodeManagerConfig* pNodeManager, UaMutexRefCounted* sharedMutex)
    : BaseObjectTypeNode(nodeId, pInstanceDeclaration, pNodeManager, sharedMutex)
{
    StandardEventTypes::createFolderType();
}

UaNodeId UaFolderTypeObject::typeDefinitionId() const
{
    return UaNodeId(StandardNodeId::FolderType, 0);
}

UaStatus UaFolderTypeObject::beginCall(MethodCallCallback* pCallback, const ServiceContext& serviceContext,
                                       OpcUa_UInt32 callbackHandle, MethodHandle* pMethodHandle,
                                       const UaVariantArray& inputArguments)
{
    if (!pMethodHandle || !pMethodHandle->pMethod())
        return OpcUa_BadInvalidArgument;
    return BaseObjectTypeNode::beginCall(pCallback, serviceContext, callbackHandle, pMethodHandle,
                                         inputArguments);
}
