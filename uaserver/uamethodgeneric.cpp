#include "uamethodgeneric.h"

UaStatus UaMethodGeneric::browse(const ServiceContext& context, BrowseContext& browseContext,
                                 UaReferenceDescriptionArray& references)
{
    return browseWithTrace(*this, m_nodeId, "UaMethodGeneric", "Method", context, browseContext, references);
}
