// What the server object and its configuration need of the server library: the core module
// and the module that opens the endpoints (the runtime), and the node managers the
// configuration creates (the companion models and the device-profile node manager). The
// program hands in the library's own classes behind these; the tests hand in doubles.
#pragma once

#include <uastatus.h>

class NodeManager;
class ServerConfig;
class ServerManager;

// The server core. Results: 0 on success.
class OpcCoreModule
{
public:
    virtual ~OpcCoreModule() = default;

    virtual int initialize() = 0;
    // Loads the configuration (it calls its loadConfiguration) and starts the core.
    virtual int startUp(ServerConfig* serverConfig) = 0;
    virtual ServerManager* getServerManager() = 0;
    // Stops the core; it calls the configuration's shutDown.
    virtual int shutDown() = 0;
};

// The module that opens the configured endpoints and starts the communication stack.
class OpcUaModule
{
public:
    virtual ~OpcUaModule() = default;

    virtual int startUp(OpcCoreModule* coreModule) = 0;
    virtual int shutDown() = 0;
};

// Makes a new core module and module for each start of the server; the caller owns them.
class OpcServerRuntime
{
public:
    virtual ~OpcServerRuntime() = default;

    virtual OpcCoreModule* createCoreModule() = 0;
    virtual OpcUaModule* createUaModule() = 0;
};

// The node managers a configuration creates; the caller owns them.
class OpcNodeManagerFactory
{
public:
    virtual ~OpcNodeManagerFactory() = default;

    // The DI and the PLCopen companion models, created and started with the configuration.
    virtual NodeManager* createDiNodeManager() = 0;
    virtual NodeManager* createPlcOpenNodeManager() = 0;
    // The device-profile node manager of a loaded configuration (namespace "GKT"). A failure
    // status (top bit set) comes with none; a good one with none adds nothing.
    virtual UaStatus createDeviceNodeManager(NodeManager*& nodeManager) = 0;
};
