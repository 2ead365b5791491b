#include "farnodenames.h"

#include "attributeids.h"
#include "nodeattributereader.h"
#include "nodemanagerroot.h"
#include "servicecontext.h"
#include "uanode.h"

#include <uavariant.h>

namespace
{
// The node with a reference for the caller when a node manager of this process keeps it in memory.
ReferenceHolder<UaNode> nodeInProcess(const UaNodeId& nodeId)
{
    if (!NodeManagerRoot::hasInstance())
        return {};
    return ReferenceHolder<UaNode>::adopt(NodeManagerRoot::instance()->getNode(nodeId));
}
} // namespace

void FarNodeNames::read(const ServiceContext& context, const std::vector<UaNodeId>& nodeIds,
                        bool withBrowseNames, bool withDisplayNames)
{
    browseNames.assign(withBrowseNames ? nodeIds.size() : 0, UaQualifiedName());
    displayNames.assign(withDisplayNames ? nodeIds.size() : 0, UaLocalizedText());
    const OpcUa_UInt32 perNode = (withBrowseNames ? 1 : 0) + (withDisplayNames ? 1 : 0);
    if (nodeIds.empty() || perNode == 0)
        return;
    // Names of nodes held in memory come from the nodes; the others are read through the reader.
    std::vector<std::size_t> toRead;
    for (std::size_t node = 0; node < nodeIds.size(); ++node)
    {
        const ReferenceHolder<UaNode> found = nodeInProcess(nodeIds[node]);
        if (!found)
        {
            toRead.push_back(node);
            continue;
        }
        if (withBrowseNames)
            browseNames[node] = found->browseName();
        if (withDisplayNames)
            displayNames[node] = found->displayName(context.pSession());
    }
    NodeAttributeReader* reader = NodeAttributeReader::instance();
    if (!reader || toRead.empty())
        return;
    UaReadValueIdArray nodesToRead;
    if (nodesToRead.create(static_cast<OpcUa_UInt32>(toRead.size()) * perNode) != OpcUa_Good)
        return;
    OpcUa_UInt32 item = 0;
    for (std::size_t node : toRead)
    {
        if (withBrowseNames)
        {
            nodeIds[node].copyTo(&nodesToRead[item].NodeId);
            nodesToRead[item++].AttributeId = AttributeId::BrowseName;
        }
        if (withDisplayNames)
        {
            nodeIds[node].copyTo(&nodesToRead[item].NodeId);
            nodesToRead[item++].AttributeId = AttributeId::DisplayName;
        }
    }
    UaDataValueArray results;
    if (reader->readByNodeIds(context, 0.0, OpcUa_TimestampsToReturn_Neither, nodesToRead, results).isBad() ||
        results.length() != nodesToRead.length())
        return;
    item = 0;
    for (std::size_t node : toRead)
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
