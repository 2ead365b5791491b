#include "standardeventtypes.h"

#include "basevariabletypenode.h"
#include "eventregistry.h"
#include "nodemanager.h"
#include "nodemanagerroot.h"
#include "referencetypes.h"
#include "standardnodeids.h"
#include "standardtypenodes.h"

#include <uadatetime.h>

#include <atomic>
#include <functional>
#include <vector>

namespace
{
// CurrentRead.
constexpr OpcUa_Byte kReadOnly = 1;

// One flag per type, set on entry of its routine and cleared when its type node goes (TransitionType's
// too: a second root in one process needs every type again).
template <OpcUa_UInt32 TypeId> std::atomic<bool>& createdFlag()
{
    static std::atomic<bool> created{false};
    return created;
}

template <OpcUa_UInt32 TypeId> void clearCreated()
{
    createdFlag<TypeId>() = false;
}

struct PropertyRow
{
    OpcUa_UInt32 id;
    const char* name;
    std::function<UaVariant()> initialValue;
    // 0: no modelling rule.
    OpcUa_UInt32 modellingRule;
};

enum class Registration
{
    None,      // not an event type
    BaseEvent, // the registry holds it from the start; its fields go first
    Event,
};

struct TypeRow
{
    std::atomic<bool>& created;
    UaObjectTypeTracked::OnDestroy releaseHook;
    OpcUa_UInt32 id;
    const char* name;
    OpcUa_UInt32 superTypeId;
    void (*createSuperType)();
    Registration registration;
    std::vector<PropertyRow> properties;
};

UaVariant nullValue(void (UaVariant::*setter)(const UaNodeId&))
{
    UaVariant value;
    (value.*setter)(UaNodeId());
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
                                 {2043, "EventType", [] { return nullValue(&UaVariant::setNodeId); },
                                  StandardNodeId::ModellingRuleMandatory},
                                 {2044, "SourceNode", [] { return nullValue(&UaVariant::setNodeId); },
                                  StandardNodeId::ModellingRuleMandatory},
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

NodeManagerConfig* namespaceZeroConfig()
{
    NodeManager* root = NodeManagerRoot::instance()->getNodeManagerByNamespace(0);
    return root ? root->getNodeManagerConfig() : nullptr;
}

void createType(const TypeRow& row)
{
    std::atomic<bool>& created = row.created;
    if (created.exchange(true))
        return;
    if (row.createSuperType)
        row.createSuperType();
    if (row.registration == Registration::BaseEvent)
        StandardEventTypes::registerBaseEventFields();
    else if (row.registration == Registration::Event)
        EventRegistry::registerEventType(UaNodeId(row.superTypeId, 0), UaNodeId(row.id, 0));

    NodeManagerConfig* config = namespaceZeroConfig();
    if (!config)
        return;
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
} // namespace

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
