// The server library's own parts behind Opcwatch's seams: the core module and the module that
// opens the endpoints for each start, and the node managers of a configuration (the companion
// models DI and PLCopen, then the device-profile node manager of namespace "GKT").
#pragma once

#include "opcserverruntime.h"

class OpcwatchRuntime : public OpcServerRuntime, public OpcNodeManagerFactory
{
public:
    OpcCoreModule* createCoreModule() override;
    OpcUaModule* createUaModule() override;
    NodeManager* createDiNodeManager() override;
    NodeManager* createPlcOpenNodeManager() override;
    // A new CUaGktNodeManager for "GKT"; its import runs when the configuration starts it.
    UaStatus createDeviceNodeManager(NodeManager*& nodeManager) override;
};
