#ifndef UASERVER_DIOBJECTS_H
#define UASERVER_DIOBJECTS_H

#include "standardeventtypes.h"

// The object classes of the DI model's functional groups and configurable objects. The base class
// carries the behaviour, the derived class is the one that is instantiated. Neither executes a
// method: a call without a method is an invalid argument, any other BadMethodInvalid.

// A folder of type FunctionalGroupType; the first one builds the type when DI runs.
class FunctionalGroupObjectBase : public UaFolderTypeObject
{
public:
    FunctionalGroupObjectBase(const UaNodeId& nodeId, const UaString& name, OpcUa_UInt16 namespaceIndex,
                              NodeManagerConfig* pNodeManager, UaMutexRefCounted* sharedMutex);
    UaNodeId typeDefinitionId() const override;
};

class FunctionalGroupObject : public FunctionalGroupObjectBase
{
public:
    using FunctionalGroupObjectBase::FunctionalGroupObjectBase;
};

// An object of type ConfigurableObjectType with its "SupportedTypes" folder, made on construction.
class ConfigurableObjectBase : public BaseObjectTypeNode
{
public:
    ConfigurableObjectBase(const UaNodeId& nodeId, const UaString& name, OpcUa_UInt16 namespaceIndex,
                           NodeManagerConfig* pNodeManager, UaMutexRefCounted* sharedMutex);
    UaNodeId typeDefinitionId() const override;
    UaStatus beginCall(MethodCallCallback* pCallback, const ServiceContext& serviceContext,
                       OpcUa_UInt32 callbackHandle, MethodHandle* pMethodHandle,
                       const UaVariantArray& inputArguments) override;

    // Makes the folder "<NodeId>.SupportedTypes" in the object's namespace below the object, from
    // the type's instance declaration.
    void createSupportedTypesFolder();
    // The folder of the address space; null when it could not be added.
    UaFolderTypeObject* supportedTypesFolder() const { return m_pSupportedTypes; }

private:
    UaFolderTypeObject* m_pSupportedTypes = nullptr;
};

class ConfigurableObject : public ConfigurableObjectBase
{
public:
    using ConfigurableObjectBase::ConfigurableObjectBase;
};

#endif
