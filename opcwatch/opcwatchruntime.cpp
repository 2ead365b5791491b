#include "opcwatchruntime.h"

#include "uagktnodemanager.h"

#include <coremodule.h>
#include <nodemanagerdi.h>
#include <nodemanagerplcopen.h>
#include <uamodule.h>

namespace
{
class LibraryCoreModule : public OpcCoreModule
{
public:
    int initialize() override { return m_core.initialize(); }
    int startUp(ServerConfig* serverConfig) override { return m_core.startUp(serverConfig); }
    ServerManager* getServerManager() override { return m_core.getServerManager(); }
    int shutDown() override { return m_core.shutDown(); }
    CoreModule& core() { return m_core; }

private:
    CoreModule m_core;
};

class LibraryUaModule : public OpcUaModule
{
public:
    // The core module is always one of this runtime's.
    int startUp(OpcCoreModule* coreModule) override
    {
        return m_module.startUp(&static_cast<LibraryCoreModule*>(coreModule)->core());
    }
    int shutDown() override { return m_module.shutDown(); }

private:
    UaModule m_module;
};
} // namespace

OpcCoreModule* OpcwatchRuntime::createCoreModule()
{
    return new LibraryCoreModule;
}

OpcUaModule* OpcwatchRuntime::createUaModule()
{
    return new LibraryUaModule;
}

NodeManager* OpcwatchRuntime::createDiNodeManager()
{
    return new NodeManagerDI;
}

NodeManager* OpcwatchRuntime::createPlcOpenNodeManager()
{
    return new NodeManagerPLCopen;
}

UaStatus OpcwatchRuntime::createDeviceNodeManager(NodeManager*& nodeManager)
{
    nodeManager = new CUaGktNodeManager("GKT");
    return OpcUa_Good;
}
