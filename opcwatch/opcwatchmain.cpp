#include "opcwatchmain.h"

#include "opcuaserver.h"
#include "opcwatchpaths.h"

#include <uastackplatform.h>

#include <windows.h>

int opcwatchMain(OpcServerRuntime& runtime, OpcNodeManagerFactory& nodeManagers)
{
    CoInitialize(nullptr);
    try
    {
        UaStackPlatform::initialize();
        try
        {
            COpcUaServer* server = new COpcUaServer(runtime, nodeManagers, opcwatchProgramDirectory());
            try
            {
                // The process holds its own reference: the port giving back its own never deletes
                // the server. Without a router the server runs on, reachable over OPC UA only.
                server->AddRef();
                server->OpenVosServer(OPCWATCH_VOS_PORT, OPCWATCH_VOS_PORT_NAME);
                server->Run();
                // The process ends with the object alive; no request reaches it any more.
                server->ShutdownVosServer();
                return 0;
            }
            catch (...)
            {
                delete server;
                UaStackPlatform::clear();
                CoUninitialize();
                return -3;
            }
        }
        catch (...)
        {
            UaStackPlatform::clear();
            CoUninitialize();
            return -2;
        }
    }
    catch (...)
    {
        CoUninitialize();
        return -1;
    }
}
