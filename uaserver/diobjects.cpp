#include "diobjects.h"

#include "methodmanager.h"
#include "nodemanager.h"
#include "nodemanagerdi.h"
#include "referencetypes.h"
#include "standardnodeids.h"

#include <string>

FunctionalGroupObjectBase::FunctionalGroupObjectBase(const UaNodeId& nodeId, const UaString& name,
                                                     OpcUa_UInt16 namespaceIndex,
                                                     NodeManagerConfig* pNodeManager,
                                                     UaMutexRefCounted* sharedMutex)
    : UaFolderTypeObject(nodeId, name, namespaceIndex, pNodeManager, sharedMutex)
{
    NodeManagerDI::createFunctionalGroupType();
}

UaNodeId FunctionalGroupObjectBase::typeDefinitionId() const
{
    return UaNodeId(DiNodeId::FunctionalGroupType, NodeManagerDI::namespaceIndex());
}

ConfigurableObjectBase::ConfigurableObjectBase(const UaNodeId& nodeId, const UaString& name,
                                               OpcUa_UInt16 namespaceIndex, NodeManagerConfig* pNodeManager,
                                               UaMutexRefCounted* sharedMutex)
    : BaseObjectTypeNode(nodeId, name, namespaceIndex, pNodeManager, sharedMutex)
{
    createSupportedTypesFolder();
}

UaNodeId ConfigurableObjectBase::typeDefinitionId() const
{
    return UaNodeId(DiNodeId::ConfigurableObjectType, NodeManagerDI::namespaceIndex());
}

UaStatus ConfigurableObjectBase::beginCall(MethodCallCallback* pCallback,
                                           const ServiceContext& serviceContext, OpcUa_UInt32 callbackHandle,
                                           MethodHandle* pMethodHandle, const UaVariantArray& inputArguments)
{
    if (!pMethodHandle || !pMethodHandle->pMethod())
        return OpcUa_BadInvalidArgument;
    return BaseObjectTypeNode::beginCall(pCallback, serviceContext, callbackHandle, pMethodHandle,
                                         inputArguments);
}

void ConfigurableObjectBase::createSupportedTypesFolder()
{
    NodeManagerConfig* config = nodeManager();
    if (!config)
        return;
    NodeManagerDI::createConfigurableObjectType();
    const std::string identifier = std::string(nodeId().toString().toUtf8()) + ".SupportedTypes";
    const UaNodeId folderId(UaString(identifier.c_str()), config->getNameSpaceIndex());
    UaFolderTypeObject* folder;
    if (auto* declaration =
            dynamic_cast<UaObject*>(NodeManagerDI::instanceDeclaration(DiNodeId::ConfigurableObjectType, 0)))
        folder = new UaFolderTypeObject(folderId, declaration, config, sharedMutex());
    else
    {
        // Without the declaration (DI not running) the folder gets the attributes it would give.
        folder = new UaFolderTypeObject(folderId, "SupportedTypes", NodeManagerDI::namespaceIndex(), config,
                                        sharedMutex());
        folder->setModellingRule(UaNodeId(StandardNodeId::ModellingRuleMandatory, 0));
    }
    if (config->addNodeAndReference(this, folder, UaNodeId(ReferenceTypeId::HasComponent, 0)).isBad())
    {
        folder->releaseReference();
        return;
    }
    m_pSupportedTypes = folder;
}
