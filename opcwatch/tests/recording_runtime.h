// The server library's parts as the server object and its configuration see them, as one test
// double: a core module that loads the configuration as the real one does (and fails its
// start when the load fails), a module, and node managers. Every call and every deletion is
// written to a journal ("core.startUp", "DI.deleted", ...); a test names the step that fails.
#pragma once

#include "opcserverruntime.h"

#include <nodemanager.h>
#include <serverconfig.h>
#include <servermanager.h>
#include <uaendpoint.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

class RuntimeJournal
{
public:
    void add(const std::string& entry)
    {
        std::lock_guard guard(m_lock);
        m_entries.push_back(entry);
    }
    // The entries since the last take.
    std::vector<std::string> take()
    {
        std::lock_guard guard(m_lock);
        return std::exchange(m_entries, {});
    }

private:
    std::mutex m_lock;
    std::vector<std::string> m_entries;
};

class RecordingNodeManager : public NodeManager
{
public:
    RecordingNodeManager(std::string name, RuntimeJournal& journal, UaStatus shutDownStatus = OpcUa_Good)
        : m_name(std::move(name)), m_journal(journal), m_shutDownStatus(shutDownStatus)
    {
    }
    ~RecordingNodeManager() override { m_journal.add(m_name + ".deleted"); }

    UaStatus startUp(ServerManager*) override
    {
        m_journal.add(m_name + ".startUp");
        return OpcUa_Good;
    }
    UaStatus shutDown() override
    {
        m_journal.add(m_name + ".shutDown");
        return m_shutDownStatus;
    }
    UaStatus browse(const ServiceContext&, BrowseContext&, UaReferenceDescriptionArray&) override
    {
        return OpcUa_BadNotImplemented;
    }
    UaStatus translateBrowsePathToNodeId(const ServiceContext&, const UaNodeId&, UaRelativePathElements&,
                                         UaBrowsePathTargetArray&) override
    {
        return OpcUa_BadNotImplemented;
    }
    VariableHandle* getVariableHandle(Session*, OpcUa_UInt32, const OpcUa_NodeId*, OpcUa_Int32) override
    {
        return nullptr;
    }

private:
    std::string m_name;
    RuntimeJournal& m_journal;
    UaStatus m_shutDownStatus;
};

class RecordingRuntime : public OpcServerRuntime, public OpcNodeManagerFactory
{
public:
    // The step whose call fails: "core.initialize", "core.startUp" or "module.startUp".
    std::string m_failing;
    // What createDeviceNodeManager answers; with a good status it makes the node manager "GKT".
    UaStatus m_deviceStatus = OpcUa_Good;
    // The status the node managers' shutDown answers.
    UaStatus m_shutDownStatus = OpcUa_Good;
    RuntimeJournal m_journal;
    // Endpoints the last core start got from the configuration.
    std::atomic<int> m_endpoints{-1};

    OpcCoreModule* createCoreModule() override { return new Core(*this); }
    OpcUaModule* createUaModule() override { return new Module(*this); }
    NodeManager* createDiNodeManager() override
    {
        return new RecordingNodeManager("DI", m_journal, m_shutDownStatus);
    }
    NodeManager* createPlcOpenNodeManager() override
    {
        return new RecordingNodeManager("PLCopen", m_journal, m_shutDownStatus);
    }
    UaStatus createDeviceNodeManager(NodeManager*& nodeManager) override
    {
        m_journal.add("GKT.create");
        if (m_deviceStatus.isGood())
            nodeManager = new RecordingNodeManager("GKT", m_journal, m_shutDownStatus);
        return m_deviceStatus;
    }

private:
    int answer(const std::string& step)
    {
        m_journal.add(step);
        return step == m_failing ? -1 : 0;
    }

    class Core : public OpcCoreModule
    {
    public:
        explicit Core(RecordingRuntime& runtime) : m_runtime(runtime) {}
        ~Core() override { m_runtime.m_journal.add("core.deleted"); }
        int initialize() override { return m_runtime.answer("core.initialize"); }
        int startUp(ServerConfig* serverConfig) override
        {
            if (m_runtime.answer("core.startUp") != 0)
                return -1;
            // As the server manager does: the configuration is loaded, then its endpoints taken.
            if (serverConfig->loadConfiguration().isNotGood())
                return -1;
            m_config = serverConfig;
            m_serverManager.setServerConfig(serverConfig);
            UaString rejected;
            UaPointerArray<UaEndpoint> endpoints;
            serverConfig->getEndpointConfiguration(rejected, endpoints);
            for (OpcUa_UInt32 i = 0; i < endpoints.length(); ++i)
                delete endpoints[i];
            m_runtime.m_endpoints = static_cast<int>(endpoints.length());
            return 0;
        }
        ServerManager* getServerManager() override { return &m_serverManager; }
        int shutDown() override
        {
            m_runtime.m_journal.add("core.shutDown");
            if (m_config)
                m_config->shutDown();
            m_config = nullptr;
            return 0;
        }

    private:
        RecordingRuntime& m_runtime;
        ServerConfig* m_config = nullptr;
        ServerManager m_serverManager;
    };

    class Module : public OpcUaModule
    {
    public:
        explicit Module(RecordingRuntime& runtime) : m_runtime(runtime) {}
        ~Module() override { m_runtime.m_journal.add("module.deleted"); }
        int startUp(OpcCoreModule*) override { return m_runtime.answer("module.startUp"); }
        int shutDown() override { return m_runtime.answer("module.shutDown"); }

    private:
        RecordingRuntime& m_runtime;
    };
};
