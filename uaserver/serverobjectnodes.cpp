#include "serverobjectnodes.h"

#include "nodemanager.h"
#include "referencetypes.h"

#include <uadatetime.h>
#include <uaextensionobject.h>

namespace
{
// CurrentRead.
constexpr OpcUa_Byte kReadOnly = 1;
} // namespace

UaTypedDataVariableCache::UaTypedDataVariableCache(const UaString& name, const UaNodeId& nodeId,
                                                   const UaVariant& initialValue,
                                                   const UaString& defaultLocaleId,
                                                   const UaNodeId& typeDefinitionId)
    : UaDataVariableCache(name, nodeId, initialValue, kReadOnly, defaultLocaleId),
      m_typeDefinitionId(typeDefinitionId)
{
}

namespace
{
// The decoded structure of type a value holds; null for anything else.
template <typename Structure>
const Structure* structureIn(const UaDataValue& dataValue, const OpcUa_EncodeableType& type)
{
    const OpcUa_Variant& held = static_cast<const OpcUa_DataValue*>(dataValue)->Value;
    if (held.Datatype != OpcUaType_ExtensionObject || held.ArrayType != OpcUa_VariantArrayType_Scalar ||
        !held.Value.ExtensionObject ||
        held.Value.ExtensionObject->Encoding != OpcUa_ExtensionObjectEncoding_EncodeableObject ||
        held.Value.ExtensionObject->Body.EncodeableObject.Type != &type)
        return nullptr;
    return static_cast<const Structure*>(held.Value.ExtensionObject->Body.EncodeableObject.Object);
}

// dataValue with structure in place of its value, stamped at now.
template <typename Structure>
void replaceStructure(UaDataValue& dataValue, OpcUa_EncodeableType& type, const Structure& structure,
                      const UaDateTime& now)
{
    UaExtensionObject object;
    if (void* body = object.createBody(&type))
        OpcUa_EncodeableObject_CopyTo(&type, const_cast<Structure*>(&structure), body);
    UaVariant value;
    value.setExtensionObject(object, true);
    const OpcUa_StatusCode status = dataValue.statusCode();
    dataValue.setValue(value, true, false);
    dataValue.setStatusCode(status);
    dataValue.setServerTimestamp(now);
}
} // namespace

UaDataValue UaServerStatusVariable::value(Session* session)
{
    UaDataValue current = UaTypedDataVariableCache::value(session);
    const auto* status =
        structureIn<OpcUa_ServerStatusDataType>(current, OpcUa_ServerStatusDataType_EncodeableType);
    if (!status)
        return current;
    // A shallow copy with its own time: the copy below takes the strings of the stored structure.
    OpcUa_ServerStatusDataType stamped = *status;
    const UaDateTime now = UaDateTime::now();
    stamped.CurrentTime = now;
    replaceStructure(current, OpcUa_ServerStatusDataType_EncodeableType, stamped, now);
    return current;
}

void UaDiagnosticsSummaryVariable::addCounter(Field field, UaVariable* counter)
{
    UaMutexLocker lock(&m_countersMutex);
    m_counters.emplace_back(field, ReferenceHolder<UaVariable>(counter));
}

UaDataValue UaDiagnosticsSummaryVariable::value(Session* session)
{
    UaDataValue current = UaTypedDataVariableCache::value(session);
    OpcUa_ServerDiagnosticsSummaryDataType summary;
    OpcUa_ServerDiagnosticsSummaryDataType_Initialize(&summary);
    {
        UaMutexLocker lock(&m_countersMutex);
        for (const auto& [field, counter] : m_counters)
        {
            OpcUa_UInt32 count = 0;
            if (counter)
                UaVariant(counter->value(session).value()).toUInt32(count);
            summary.*field = count;
        }
    }
    replaceStructure(current, OpcUa_ServerDiagnosticsSummaryDataType_EncodeableType, summary,
                     UaDateTime::now());
    return current;
}

bool NodeBuilder::link(UaReferenceLists* pParent, UaReferenceLists* pNode, OpcUa_UInt32 referenceTypeId)
{
    if (pParent && m_pNodeManager &&
        m_pNodeManager->addNodeAndReference(pParent, pNode, UaNodeId(referenceTypeId, 0)).isGood())
        return true;
    // A node the namespace did not take belongs to nobody else.
    pNode->getUaNode()->releaseReference();
    return false;
}

bool NodeBuilder::link(const UaNodeId& parentId, UaReferenceLists* pNode, OpcUa_UInt32 referenceTypeId)
{
    if (m_pNodeManager &&
        m_pNodeManager->addNodeAndReference(parentId, pNode, UaNodeId(referenceTypeId, 0)).isGood())
        return true;
    pNode->getUaNode()->releaseReference();
    return false;
}

UaDataVariableCache* NodeBuilder::variable(const UaNodeId& parentId, OpcUa_UInt32 id, const char* name,
                                           const UaVariant& value)
{
    return add(parentId, new UaDataVariableCache(name, UaNodeId(id, 0), value, kReadOnly, m_locale),
               ReferenceTypeId::HasComponent);
}

UaDataVariableCache* NodeBuilder::variable(UaReferenceLists* pParent, OpcUa_UInt32 id, const char* name,
                                           const UaVariant& value)
{
    return add(pParent, new UaDataVariableCache(name, UaNodeId(id, 0), value, kReadOnly, m_locale),
               ReferenceTypeId::HasComponent);
}

UaPropertyCache* NodeBuilder::property(UaReferenceLists* pParent, OpcUa_UInt32 id, const char* name,
                                       const UaVariant& value)
{
    return add(pParent, new UaPropertyCache(name, UaNodeId(id, 0), value, kReadOnly, m_locale),
               ReferenceTypeId::HasProperty);
}

UaTypedObject* NodeBuilder::object(UaReferenceLists* pParent, OpcUa_UInt32 id, const char* name,
                                   OpcUa_UInt32 typeDefinitionId)
{
    return add(pParent, new UaTypedObject(name, UaNodeId(id, 0), m_locale, UaNodeId(typeDefinitionId, 0)),
               ReferenceTypeId::HasComponent);
}

UaTypedDataVariableCache* NodeBuilder::typedVariable(UaReferenceLists* pParent, OpcUa_UInt32 id,
                                                     const char* name, const UaVariant& value,
                                                     OpcUa_UInt32 typeDefinitionId, OpcUa_UInt32 dataTypeId)
{
    auto* node =
        new UaTypedDataVariableCache(name, UaNodeId(id, 0), value, m_locale, UaNodeId(typeDefinitionId, 0));
    node->setDataType(UaNodeId(dataTypeId, 0));
    return add(pParent, node, ReferenceTypeId::HasComponent);
}

UaFolder* NodeBuilder::folder(UaReferenceLists* pParent, OpcUa_UInt32 id, const char* name,
                              OpcUa_UInt32 referenceTypeId)
{
    return add(pParent, new UaFolder(name, UaNodeId(id, 0), m_locale), referenceTypeId);
}
