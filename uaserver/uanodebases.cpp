#include "uanodebases.h"

#include "attributeids.h"
#include "attributewriterules.h"

#include <uatrace.h>

UaStatus browseWithTrace(UaReferenceLists& lists, const UaNodeId& nodeId, const char* className,
                         const char* nodeKind, const ServiceContext& context, BrowseContext& browseContext,
                         UaReferenceDescriptionArray& references)
{
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("--> %s::browse - %s %s", className, nodeKind, nodeId.toFullString().toUtf8());
    const UaStatus status = lists.browseReferences(context, browseContext, references);
    UaTrace::traceLevel6("<-- %s::browse [ret=0x%lx]", className, static_cast<unsigned long>(status.code()));
    return status;
}

UaStatus UaPlainAttributes::write(OpcUa_Int32 attributeId, const UaVariant& value, bool checkWriteMask)
{
    if (attributeId < AttributeId::BrowseName || attributeId > AttributeId::WriteMask)
        return OpcUa_BadNotWritable;
    const UaStatus allowed = AttributeWriteRules::check(attributeId, writeMask, value, checkWriteMask);
    if (allowed.isBad())
        return allowed;
    AttributeWriteRules::applyNameAttribute(attributeId, value, browseName, displayName, description,
                                            writeMask);
    return OpcUa_Good;
}
