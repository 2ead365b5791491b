#include "registeredvariablehandle.h"

#include "uasession.h"

#include <attributeids.h>
#include <nodemanager.h>

namespace
{
// Registered-node aliases are numeric NodeIds of this namespace.
} // namespace

bool RegisteredVariableHandle::isAlias(const OpcUa_NodeId& nodeId)
{
    return nodeId.IdentifierType == OpcUa_IdentifierType_Numeric && nodeId.NamespaceIndex == aliasNamespace;
}

VariableHandle* RegisteredVariableHandle::resolve(NodeManager* root, UaSession* session,
                                                  OpcUa_UInt32 serviceType, const OpcUa_NodeId& nodeId,
                                                  OpcUa_Int32 attributeId)
{
    if (root == nullptr)
        return nullptr;
    if (!isAlias(nodeId))
        return root->getVariableHandle(session, serviceType, &nodeId, attributeId);
    UaNodeId registeredNodeId;
    ReferenceHolder<ReferenceCounter> registeredHandle;
    if (session == nullptr ||
        !session->registeredNode(nodeId.Identifier.Numeric, registeredNodeId, registeredHandle))
        return nullptr;
    if (attributeId == AttributeId::Value)
        return variableHandleOf(registeredHandle.get());
    return root->getVariableHandle(session, serviceType, registeredNodeId.toOpcUaNodeId(), attributeId);
}
