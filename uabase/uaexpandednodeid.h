#ifndef UABASE_UAEXPANDEDNODEID_H
#define UABASE_UAEXPANDEDNODEID_H

#include "uanodeid.h"
#include "uastackvalue.h"
#include "uastring.h"

#include <opcua.h>

// Expanded NodeId (NodeId, namespace URI, server index) held inline; copies are deep.
class UaExpandedNodeId : public UaStackValue<OpcUa_ExpandedNodeId>
{
public:
    using UaStackValue::UaStackValue;
    UaExpandedNodeId(const UaNodeId& nodeId, const UaString& namespaceUri, OpcUa_UInt32 serverIndex);

    UaNodeId nodeId() const { return UaNodeId(m_value.NodeId); }
    UaString namespaceUri() const { return UaString(&m_value.NamespaceUri); }
    OpcUa_UInt32 serverIndex() const { return m_value.ServerIndex; }
    const OpcUa_ExpandedNodeId* toOpcUaExpandedNodeId() const { return &m_value; }

    // The identifier form of the NodeId part; namespace URI and server index are not shown.
    UaString toString() const;
};

#endif
