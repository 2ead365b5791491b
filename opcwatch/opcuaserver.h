// COpcUaServer: the program's one server object. It starts the OPC UA server (core module,
// configuration, module), keeps the main thread in its message loop while the server runs,
// and stops the server in a fixed order when the loop ends (WM_QUIT: SIGTERM or SIGINT). It
// is also the program's Vos request interface, whose restart request stops and starts the
// server on another thread meanwhile.
#pragma once

#include "opcserverconfig.h"
#include "opcserverruntime.h"
#include "opcvosserver.h"
#include "opcwatchreport.h"

#include <atomic>
#include <mutex>
#include <string>

class COpcUaServer : public COpcVosServer, private OpcServerOperations
{
public:
    // runtime and nodeManagers make the server library's parts for each start; both outlive
    // the object. programDirectory: where the configuration, the trace and the PKI folders lie.
    COpcUaServer(OpcServerRuntime& runtime, OpcNodeManagerFactory& nodeManagers,
                 const std::u16string& programDirectory);
    // Does not stop a running server.
    ~COpcUaServer() override;

    // Starts the server, runs the calling thread's message loop until WM_QUIT, stops the server.
    // 0, or E_FAIL when the server was already running.
    HRESULT Run();
    // Good when the server runs afterwards; 0x80000000 or the configuration's failure status.
    OpcUa_StatusCode StartUaServer() override;
    // Stops in the fixed order: mutex pool, module, core module, trace, configuration. Good.
    OpcUa_StatusCode StopUaServer() override;

    // The process's one server object; null before it is made and after it is gone.
    static COpcUaServer* instance();

    // Where each start tells its error lines, and that it failed (null: nowhere but the trace).
    // The report outlives every start that may still come.
    void setReport(OpcwatchReport* report);

private:
    void lockServer() override;
    void unlockServer() override;
    bool isServerRunning() override;
    OpcUa_UInt32 defaultSubscriptionMode() override;
    void setDefaultSubscriptionMode(OpcUa_UInt32 mode) override;

    // Deletes what a start made and nulls the pointers.
    void deleteServerParts();
    // Traces the failed step and the exit with status, deletes what the start made, tells the
    // start's error lines; status.
    OpcUa_StatusCode failStart(const char* message, OpcUa_StatusCode status);
    void endStartReport(bool started);

    OpcServerRuntime& m_runtime;
    OpcNodeManagerFactory& m_nodeManagers;
    const std::u16string m_programDirectory;
    std::recursive_mutex m_lock;
    OpcUa_UInt32 m_started = 0;
    OpcCoreModule* m_pCoreModule = nullptr;
    COpcServerConfig* m_pServerConfig = nullptr;
    OpcUaModule* m_pModule = nullptr;
    std::atomic<OpcwatchReport*> m_report{nullptr};
};
