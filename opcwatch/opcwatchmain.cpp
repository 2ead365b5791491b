#include "opcwatchmain.h"

#include "opcuaserver.h"
#include "opcwatchpaths.h"
#include "opcwatchreport.h"

#include <uastackplatform.h>

#include <windows.h>

#include <string>

int opcwatchMain(OpcServerRuntime& runtime, OpcNodeManagerFactory& nodeManagers)
{
    // The main thread's queue first: from here on SIGTERM and SIGINT wait in it as WM_QUIT, so a
    // stop request during any part of the start (the Vos port, the server) ends the process in order.
    MSG message;
    PeekMessage(&message, nullptr, 0, 0, PM_NOREMOVE);
    OpcwatchReport report;
    report.install();
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
                server->setReport(&report);
                if (FAILED(server->OpenVosServer(OPCWATCH_VOS_PORT, OPCWATCH_VOS_PORT_NAME)))
                    report.tell("Vos port " + std::to_string(OPCWATCH_VOS_PORT) + " (" +
                                OPCWATCH_VOS_PORT_NAME +
                                ") not opened; the server runs without its Vos requests");
                server->Run();
                // The process ends with the object alive; no request reaches it any more.
                server->ShutdownVosServer();
                server->setReport(nullptr);
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
