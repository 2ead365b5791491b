#ifndef UASERVER_STANDARDEVENTTYPES_H
#define UASERVER_STANDARDEVENTTYPES_H

#include "baseobjecttypenode.h"

// The standard event types and the object types FolderType, StateType and TransitionType of
// namespace 0. Each creation routine runs once until its type node is destroyed: it creates its
// supertype first where needed, enters an event type and its own fields in the event registries,
// and adds the type node with its properties below the supertype in namespace 0. The type node
// clears the routine's flag when destroyed, so a new root node manager builds the type again while
// the field indexes stay as they were.
namespace StandardEventTypes
{
void createBaseEventType();
void createSystemEventType();
void createDeviceFailureEventType();
void createBaseModelChangeEventType();
void createFolderType();
void createStateType();
void createTransitionType();

// Enters BaseEventType's nine fields in the field registry, which holds them as indexes 1 to 9.
void registerBaseEventFields();

// Whether the routine of that type has run since its type node was last destroyed.
bool isCreated(OpcUa_UInt32 typeId);
} // namespace StandardEventTypes

// An object of type FolderType; the first one makes sure FolderType exists.
class UaFolderTypeObject : public BaseObjectTypeNode
{
public:
    UaFolderTypeObject(const UaNodeId& nodeId, const UaString& name, OpcUa_UInt16 namespaceIndex,
                       NodeManagerConfig* pNodeManager, UaMutexRefCounted* sharedMutex);
    UaFolderTypeObject(const UaNodeId& nodeId, UaObject* pInstanceDeclaration,
                       NodeManagerConfig* pNodeManager, UaMutexRefCounted* sharedMutex);
    UaNodeId typeDefinitionId() const override;
    // A call without a method is refused as an invalid argument; a folder has no methods of its own.
    UaStatus beginCall(MethodCallCallback* pCallback, const ServiceContext& serviceContext,
                       OpcUa_UInt32 callbackHandle, MethodHandle* pMethodHandle,
                       const UaVariantArray& inputArguments) override;
};

#endif
