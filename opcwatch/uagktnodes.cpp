#include "uagktnodes.h"

#include "gkttypes.h"

#include <nodemanager.h>
#include <referencetypes.h>
#include <standardnodeids.h>
#include <uaplainnodes.h>

namespace
{
const char* const kObjectTypeName = "GktObjectType";
} // namespace

UaLocalizedText GktDescription::text() const
{
    return UaLocalizedText("en", m_text ? m_text->c_str() : "Description not available");
}

CUaDescriptiveFolder::CUaDescriptiveFolder(const UaString& name, const UaNodeId& nodeId,
                                           const UaString& defaultLocaleId, const char* description)
    : UaFolder(name, nodeId, defaultLocaleId)
{
    m_description.set(description);
}

CUaGktItem::CUaGktItem(const UaString& name, const UaNodeId& nodeId, OpcUa_UInt16 index, OpcUa_Byte subindex,
                       OpcUa_UInt32 gktType, OpcUa_Byte accessLevel)
    : UaNamedNode(name, nodeId, "en"), m_index(index), m_subindex(subindex), m_gktType(gktType),
      m_accessLevel(accessLevel)
{
}

UaStatus CUaGktItem::browse(const ServiceContext& context, BrowseContext& browseContext,
                            UaReferenceDescriptionArray& references)
{
    return browseWithTrace(*this, m_nodeId, "CUaGktItem", "DataVariable", context, browseContext, references);
}

UaNodeId CUaGktItem::typeDefinitionId() const
{
    return UaNodeId(StandardNodeId::BaseDataVariableType, 0);
}

UaNodeId CUaGktItem::dataType() const
{
    return UaNodeId(static_cast<OpcUa_UInt32>(gktDeclaredType(m_gktType)), 0);
}

UaStatus CUaGktItem::checkValue(const UaDataValue& dataValue, bool checkAccessLevel,
                                UaVariant& converted) const
{
    // A read-only entry says so whatever it is offered.
    if (checkAccessLevel && (m_accessLevel & 0x02) == 0)
        return OpcUa_BadNotWritable;
    const OpcUa_BuiltInType type = gktDeclaredType(m_gktType);
    converted = dataValue.value();
    if (converted.isArray() || converted.isMatrix() || type == OpcUaType_Null)
        return OpcUa_BadTypeMismatch;
    const OpcUa_StatusCode status = converted.changeType(type, false);
    if (OpcUa_IsBad(status))
        return status;
    if (converted.type() != type)
        return OpcUa_BadTypeMismatch;
    return OpcUa_Good;
}

UaStatus CUaGktItem::setValue(Session* session, const UaDataValue& dataValue, bool checkAccessLevel)
{
    if (OpcUa_IsNotGood(dataValue.statusCode()) && dataValue.value().isEmpty())
        return UaVariableCache::setValue(session, dataValue, false);
    UaVariant converted;
    const UaStatus checked = checkValue(dataValue, checkAccessLevel, converted);
    if (checked.isNotGood())
        return checked;
    UaDataValue stored = dataValue;
    stored.setValue(converted, true, false);
    return UaVariableCache::setValue(session, stored, false);
}

CUaGktObject::CUaGktObject(const UaNodeId& nodeId, const UaString& defaultLocaleId,
                           CUaGktIoManager* pIoManager)
    : UaObjectBase("GKT", nodeId, defaultLocaleId), m_pIoManager(pIoManager)
{
}

UaNodeId CUaGktObject::typeDefinitionId() const
{
    return UaNodeId(kObjectTypeName, m_nodeId.namespaceIndex());
}

UaStatus CUaGktObject::createObjectType(NodeManagerConfig& config, OpcUa_UInt16 namespaceIndex,
                                        const UaString& defaultLocaleId)
{
    auto* type = new UaObjectTypePlain(UaNodeId(kObjectTypeName, namespaceIndex),
                                       UaQualifiedName(kObjectTypeName, namespaceIndex),
                                       UaLocalizedText(defaultLocaleId, kObjectTypeName),
                                       UaLocalizedText(defaultLocaleId, "GKT Object object type"), false);
    const UaStatus status = config.addNodeAndReference(UaNodeId(StandardNodeId::BaseObjectType, 0), type,
                                                       UaNodeId(ReferenceTypeId::HasSubtype, 0));
    if (status.isBad())
        type->releaseReference();
    return status;
}
