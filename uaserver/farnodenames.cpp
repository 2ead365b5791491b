#include "farnodenames.h"

#include "attributeids.h"
#include "nodeattributereader.h"

#include <uavariant.h>

void FarNodeNames::read(const ServiceContext& context, const std::vector<UaNodeId>& nodeIds,
                        bool withBrowseNames, bool withDisplayNames)
{
    browseNames.assign(withBrowseNames ? nodeIds.size() : 0, UaQualifiedName());
    displayNames.assign(withDisplayNames ? nodeIds.size() : 0, UaLocalizedText());
    const OpcUa_UInt32 perNode = (withBrowseNames ? 1 : 0) + (withDisplayNames ? 1 : 0);
    NodeAttributeReader* reader = NodeAttributeReader::instance();
    if (!reader || nodeIds.empty() || perNode == 0)
        return;
    UaReadValueIdArray nodesToRead;
    if (nodesToRead.create(static_cast<OpcUa_UInt32>(nodeIds.size()) * perNode) != OpcUa_Good)
        return;
    OpcUa_UInt32 item = 0;
    for (const UaNodeId& nodeId : nodeIds)
    {
        if (withBrowseNames)
        {
            nodeId.copyTo(&nodesToRead[item].NodeId);
            nodesToRead[item++].AttributeId = AttributeId::BrowseName;
        }
        if (withDisplayNames)
        {
            nodeId.copyTo(&nodesToRead[item].NodeId);
            nodesToRead[item++].AttributeId = AttributeId::DisplayName;
        }
    }
    UaDataValueArray results;
    if (reader->readByNodeIds(context, 0.0, OpcUa_TimestampsToReturn_Neither, nodesToRead, results).isBad() ||
        results.length() != nodesToRead.length())
        return;
    item = 0;
    for (std::size_t node = 0; node < nodeIds.size(); ++node)
    {
        if (withBrowseNames)
        {
            const OpcUa_DataValue& result = results[item++];
            if (OpcUa_IsGood(result.StatusCode))
                UaVariant(result.Value).toQualifiedName(browseNames[node]);
        }
        if (withDisplayNames)
        {
            const OpcUa_DataValue& result = results[item++];
            if (OpcUa_IsGood(result.StatusCode))
                UaVariant(result.Value).toLocalizedText(displayNames[node]);
        }
    }
}
