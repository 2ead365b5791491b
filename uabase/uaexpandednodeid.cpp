#include "uaexpandednodeid.h"
#include "uatextforms.h"

UaExpandedNodeId::UaExpandedNodeId(const UaNodeId& nodeId, const UaString& namespaceUri,
                                   OpcUa_UInt32 serverIndex)
{
    nodeId.copyTo(&m_value.NodeId);
    namespaceUri.copyTo(&m_value.NamespaceUri);
    m_value.ServerIndex = serverIndex;
}

UaString UaExpandedNodeId::toString() const
{
    return TextForms::nodeIdIdentifier(m_value.NodeId);
}
