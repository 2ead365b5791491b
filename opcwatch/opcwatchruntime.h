// The server library's own parts behind Opcwatch's seams: the core module and the module that
// opens the endpoints for each start, and the node managers of a configuration (the
// device-profile node manager of namespace "GKT"; the companion models are not part of this
// build, so none is made for them).
#pragma once

#include "opcserverruntime.h"

class OpcwatchRuntime : public OpcServerRuntime, public OpcNodeManagerFactory
{
public:
    OpcCoreModule* createCoreModule() override;
    OpcUaModule* createUaModule() override;
    NodeManager* createDiNodeManager() override { return nullptr; }
    NodeManager* createPlcOpenNodeManager() override { return nullptr; }
    // A new CUaGktNodeManager for "GKT"; its import runs when the configuration starts it.
    UaStatus createDeviceNodeManager(NodeManager*& nodeManager) override;
};
