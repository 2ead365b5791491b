#include "uaobjectbase.h"

UaNodeId UaFolder::typeDefinitionId() const
{
    return UaNodeId(StandardNodeId::FolderType, 0);
}

UaStatus UaObjectTypeSimple::browse(const ServiceContext& context, BrowseContext& browseContext,
                                    UaReferenceDescriptionArray& references)
{
    return browseWithTrace(*this, m_nodeId, "UaObjectTypeSimple", "ObjectType", context, browseContext,
                           references);
}

UaNodeId UaVariableTypeSimple::dataType() const
{
    return UaNodeId(StandardNodeId::BaseDataType, 0);
}
