// The DI and PLCopen node managers started and ended the way the application's configuration does
// it: after ServerManager::startUp, DI and then PLCopen are started; at shut-down both are shut down
// (DI first), and they are deleted later, with the holder. Needs the uaserver library.
#pragma once

#include <nodemanagerdi.h>
#include <nodemanagerplcopen.h>

namespace uaserver::testing
{

class CompanionModels
{
public:
    // Takes both; a test may leave one out (null) or hand in a derived one.
    explicit CompanionModels(NodeManagerDI* pDI = new NodeManagerDI,
                             NodeManagerPLCopen* pPLCopen = new NodeManagerPLCopen)
        : m_pDI(pDI), m_pPLCopen(pPLCopen)
    {
    }
    CompanionModels(const CompanionModels&) = delete;
    CompanionModels& operator=(const CompanionModels&) = delete;
    ~CompanionModels()
    {
        delete m_pDI;
        delete m_pPLCopen;
    }

    // DI first, so that PLCopen finds the DI types; the statuses are not looked at.
    void startUp(ServerManager* pServerManager)
    {
        if (m_pDI)
            m_pDI->startUp(pServerManager);
        if (m_pPLCopen)
            m_pPLCopen->startUp(pServerManager);
    }
    // The status of the last shut-down.
    UaStatus shutDown()
    {
        UaStatus status;
        if (m_pDI)
            status = m_pDI->shutDown();
        if (m_pPLCopen)
            status = m_pPLCopen->shutDown();
        return status;
    }

    NodeManagerDI* di() const { return m_pDI; }
    NodeManagerPLCopen* plcOpen() const { return m_pPLCopen; }

private:
    NodeManagerDI* m_pDI;
    NodeManagerPLCopen* m_pPLCopen;
};

} // namespace uaserver::testing
